#!/usr/bin/env bash
# "Add All File(s) In Folder" on the Linux source tree through the shown
# window, against `find DIR -type f` on the same tree: the time from the
# button press until the busy pointer goes, and the longest GUI-thread stall
# (gap between two ticks of a 5 ms timer) during the scan.
# Usage: bench/scan.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI. Needs a display; starts Xvfb when there is none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: scan.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
bench="$build/bin/brinmoor-scan-bench"
runs="${BRINMOOR_BENCH_RUNS:-7}"
ensure_tree
require_program "$bench" scan.sh
gui_command "$bench"

files=$(find "$bench_tree" -type f | wc -l)
json="$(mktemp)"
trap 'rm -f "$json"' EXIT
# The scan reads folder listings and file metadata only: both are warmed.
hyperfine --style none --warmup 1 --runs "$runs" \
  --prepare "$(declare -f warm_listing); bench_tree='$bench_tree'; warm_listing" \
  --export-json "$json" -- "find '$bench_tree' -type f >/dev/null" >/dev/null
find_s=$(hyperfine_stat "$json" median)

lines=""
for _ in $(seq "$runs"); do
  warm_listing
  lines+="$("${gui[@]}" "$bench_tree" 2>/dev/null)"$'\n'
done
scan_s=$(grep -o 'seconds=[^ ]*' <<<"$lines" | cut -d= -f2 | median)
gaps=$(grep -o 'worst_gap_ms=[^ ]*' <<<"$lines" | cut -d= -f2)
rows=$(head -1 <<<"$lines" | field rows)
appends=$(head -1 <<<"$lines" | field appends)

report_section "$results" folder-scan <<MD
## Folder scan: "Add All File(s) In Folder" on the Linux source tree

Tree: \`$bench_tree\` ($files files; the scan adds $rows: names beginning with "~" and dot-files are left
out). Folder listings and metadata warmed (\`find DIR\`) before every run; medians of $runs runs. The scan runs
in \`brinmoor-scan-bench\`: the shown window, extension "*", timed from the button press until the busy
pointer goes, rows appended to ListView1 in $appends batches. Machine: $(nproc) cores.

| measurement | command | median s | ratio |
| --- | --- | ---: | ---: |
| peer: list the files | \`find DIR -type f >/dev/null\` (hyperfine) | $find_s | 1.00 |
| add the folder through the window | \`brinmoor-scan-bench DIR\` | $scan_s | $(ratio "$scan_s" "$find_s") |

Longest GUI-thread gap between two 5 ms timer ticks during the scan: median $(median <<<"$gaps") ms, worst
$(largest <<<"$gaps") ms over $runs runs (target: no stall over 50 ms).
MD
