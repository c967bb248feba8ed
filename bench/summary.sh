#!/usr/bin/env bash
# The summary on the Linux source tree: adding up every file after the run,
# the by-extension and by-folder tables and their models (goal: under
# 100 ms together), beside the run itself; and the longest GUI-thread stall
# of a per-file run through the window with the summary open (goal: none
# over 50 ms), beside the same run without it.
# Usage: bench/summary.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI. Needs a display; starts Xvfb when there is none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: summary.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
summary="$build/bin/brinmoor-summary-bench"
window="$build/bin/brinmoor-window-bench"
count="$build/bin/brinmoor-count"
runs="${BRINMOOR_BENCH_RUNS:-5}"
ensure_tree
require_program "$summary" summary.sh
require_program "$window" summary.sh
require_program "$count" summary.sh
gui_command "$window"

warm_tree
sum=$("$summary" --repeat "$runs" "$bench_tree")
total=$(python3 -c 'import sys; f=dict(kv.split("=") for kv in sys.argv[1].split()); print("%.1f" % sum(float(f[k]) for k in ("add_ms","extension_table_ms","folder_table_ms","models_ms")))' "$sum")
run_s=$(for _ in $(seq "$runs"); do warm_tree; seconds_of "$count" -s --summary folder "$bench_tree"; done | median)
plain_s=$(for _ in $(seq "$runs"); do warm_tree; seconds_of "$count" -s "$bench_tree"; done | median)
gaps() {  # args -> "gap_ms" per run
  for _ in $(seq "$runs"); do
    warm_tree
    "${gui[@]}" --separate "$@" "$bench_tree" 2>/dev/null | field longest_gap_ms
  done
}
with=$(gaps --summary)
without=$(gaps)

report_section "$results" summary <<MD
## The summary

Tree: \`$bench_tree\`, page cache warmed first; best of $runs (\`brinmoor-summary-bench --repeat $runs TREE\`):
\`$sum\`. Everything after the run together: $total ms (target < 100 ms). The console's \`-s --summary folder\`
takes $run_s s against $plain_s s for \`-s\` alone (ratio $(ratio "$run_s" "$plain_s")), median of $runs.

Per-file run through the window (\`brinmoor-window-bench --separate [--summary] TREE\`), longest GUI-thread stall
median / worst over $runs runs: with the summary open (By Folder) $(median <<<"$with") / $(largest <<<"$with") ms,
without $(median <<<"$without") / $(largest <<<"$without") ms (target: none over 50 ms). Load average before:
$(cut -d' ' -f1-3 /proc/loadavg). Machine: $(nproc) cores.
MD
