#!/usr/bin/env bash
# The counting run through the window on the Linux source tree: the longest
# GUI-thread stall (gap between two ticks of a 10 ms timer) and the run's
# time, against brinmoor-count on exactly the same files.
# Usage: bench/window.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI. Needs a display; starts Xvfb when there is none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: window.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
bench="$build/bin/brinmoor-window-bench"
count="$build/bin/brinmoor-count"
runs="${BRINMOOR_BENCH_RUNS:-5}"
ensure_tree
require_program "$bench" window.sh
require_program "$count" window.sh
gui_command "$bench"

list="$(mktemp)"
trap 'rm -f "$list"' EXIT

run_window() {  # args -> "run_s gap_ms files" per run, one line each
  local out
  for _ in $(seq "$runs"); do
    warm_tree
    out="$("${gui[@]}" "$@" --write-list "$list" "$bench_tree" 2>/dev/null)"
    echo "$(field run_s <<<"$out") $(field longest_gap_ms <<<"$out") $(field files <<<"$out")"
  done
}
count_time() {  # args -> median seconds of brinmoor-count on the window's list
  for _ in $(seq "$runs"); do
    warm_tree
    seconds_of "$count" "$@" -0 --files-from "$list"
  done | median
}

one=$(run_window)
sep=$(run_window --separate)
files=$(head -1 <<<"$one" | awk '{print $3}')
count_one=$(count_time)
count_sep=$(count_time -s)
w_one=$(awk '{print $1}' <<<"$one" | median)
w_sep=$(awk '{print $1}' <<<"$sep" | median)
g_one=$(awk '{print $2}' <<<"$one" | largest)
g_sep=$(awk '{print $2}' <<<"$sep" | largest)
gm_one=$(awk '{print $2}' <<<"$one" | median)
gm_sep=$(awk '{print $2}' <<<"$sep" | median)
fill=$("${gui[@]}" --fill-results 1000000 2>/dev/null)
stops=$(for _ in $(seq "$runs"); do
  warm_tree
  "${gui[@]}" --separate --stop-midway "$bench_tree" 2>/dev/null | field stop_to_idle_ms
done)

report_section "$results" window-run <<MD
## The counting run through the window

Tree: \`$bench_tree\` ($files files), page cache warmed before every run, median of $runs runs; the
window's time is from the press of "Start Counting" to "Done." (file list already filled), brinmoor-count
reads the same list with \`--files-from\`. Stall: the largest gap between two ticks of a 10 ms timer on the
GUI thread during a run (median and worst over the runs; target: none over 50 ms). Load average before:
$(cut -d' ' -f1-3 /proc/loadavg). Machine: $(nproc) cores.

| mode | window run (s) | \`brinmoor-count\` (s) | ratio (target ≤ 1.2) | stall median / worst (ms) |
| --- | ---: | ---: | ---: | ---: |
| one count for all files | $w_one | $count_one | $(ratio "$w_one" "$count_one") | $gm_one / $g_one |
| separate counts | $w_sep | $count_sep | $(ratio "$w_sep" "$count_sep") | $gm_sep / $g_sep |

Stop pressed once the progress bar passes 50 % (separate counts, \`--stop-midway\`): from the press until the
window is idle (busy pointer gone, run over), median $(median <<<"$stops") ms, worst $(largest <<<"$stops") ms.

Filling the results list with a million rows in batches of 5,000 (\`brinmoor-window-bench --fill-results 1000000\`): \`$fill\`.
MD
