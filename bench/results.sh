#!/usr/bin/env bash
# The results commands through the window on a million rows (every other one
# checked): the time from the press until the work came back, the time the
# press held the GUI thread, and the longest GUI-thread stall (gap between two
# ticks of a 10 ms timer), beside standard tools doing the same job on the
# same rows: awk writing the aligned file, xclip taking the clipboard text.
# Usage: bench/results.sh BUILD_DIR [RESULTS_FILE] [ROWS]
# Never run in CI. Needs a display; starts Xvfb when there is none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: results.sh BUILD_DIR [RESULTS_FILE] [ROWS]}" && pwd)"
results="${2:-}"
rows="${3:-1000000}"
bench="$build/bin/brinmoor-results-bench"
require_program "$bench" results.sh
command -v xclip >/dev/null || { echo "results.sh: xclip is missing" >&2; exit 1; }
runs=3
export QT_QPA_PLATFORM=xcb

if [ -z "${DISPLAY:-}" ]; then   # one X server for the whole run, so xclip shares it
  exec xvfb-run -a -s '-screen 0 1600x1000x24' "$0" "$@"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# seconds OUT CMD...: runs CMD with its output into OUT, prints its wall time.
seconds() { local o=$1 s e; shift; s=$(date +%s.%N); "$@" >"$o" 2>/dev/null </dev/null; e=$(date +%s.%N); python3 -c "print(f'{$e - $s:.3f}')"; }

out="$work/bench.txt"
for _ in $(seq $runs); do
  "$bench" --rows "$rows" "$work/out" 2>/dev/null >> "$out"
done
med() { grep "command=$1 " "$out" | field "$2" | median; }
worst() { grep "command=$1 " "$out" | field "$2" | largest; }

# The same rows as the bench makes them, for the peers.
awk -v n="$rows" 'BEGIN { for (i = 0; i < n; i++) printf "%d lines - /usr/src/linux-source-6.1/drivers/%d/file.c\n", i % 4000, i }' > "$work/rows.txt"
width=$(awk '{ if (length($0) > w) w = length($0) } END { print (w > 8 ? w : 8) }' "$work/rows.txt")
peer_text=$(for _ in $(seq $runs); do
  seconds "$work/awk.txt" awk -v w="$width" 'BEGIN { printf "%-*s\t\r\n", w, " Results" } NR % 2 == 1 { printf "%-*s\t\r\n", w, $0 }' \
    "$work/rows.txt"
done | median)
awk 'NR % 2 == 1 { printf "%s\r\n", $0 }' "$work/rows.txt" > "$work/clip.txt"
peer_clip=$(for _ in $(seq $runs); do seconds /dev/null xclip -i -selection clipboard -loops 1 "$work/clip.txt"; done | median)
xclip -o -selection clipboard >/dev/null 2>&1 || true   # the last xclip ends after one paste

# Sorting the same rows: GNU sort by the count (numeric, stable) and by the path
# without regard to case, beside the header clicks.
peer_sort_count=$(for _ in $(seq $runs); do seconds "$work/s.txt" sort -s -n -k1,1 "$work/rows.txt"; done | median)
peer_sort_path=$(for _ in $(seq $runs); do seconds "$work/s.txt" sort -s -f -t - -k2 "$work/rows.txt"; done | median)

t_text=$(med text_file total_s); t_clip=$(med clipboard total_s); t_book=$(med workbook total_s)
t_cu=$(med sort_count_up total_s); t_cd=$(med sort_count_down total_s)
t_pu=$(med sort_path_up total_s); t_pd=$(med sort_path_down total_s)
report_section "$results" results-commands <<MD
## The results commands through the window

$rows results rows, every other one checked; median of $runs runs. Total: from the press until the work came
back (the file written, the text on the clipboard, the workbook written and handed to the desktop). Press: how
long the press itself held the GUI thread (the rows copied out of the list, the worker started). Longest stall:
the largest gap between two ticks of a 10 ms timer on the GUI thread over all runs. Peers on the same rows:
awk writing the aligned file, \`xclip -i\` taking the clipboard text. Machine: $(nproc) cores.

| command | total (s) | press (ms) | longest stall (ms) | peer (s) | ratio |
| --- | --- | --- | --- | --- | --- |
| Save Results As Text File | $t_text | $(med text_file press_ms) | $(worst text_file longest_gap_ms) | $peer_text (awk) | $(ratio "$t_text" "$peer_text") |
| Copy Results To Clipboard | $t_clip | $(med clipboard press_ms) | $(worst clipboard longest_gap_ms) | $peer_clip (xclip -i) | $(ratio "$t_clip" "$peer_clip") |
| Save Results As Excel File | $t_book | $(med workbook press_ms) | $(worst workbook longest_gap_ms) | | |
| header click: by count, ascending | $t_cu | $(med sort_count_up press_ms) | $(worst sort_count_up longest_gap_ms) | $peer_sort_count (sort -n) | $(ratio "$t_cu" "$peer_sort_count") |
| header click: by count, descending | $t_cd | $(med sort_count_down press_ms) | $(worst sort_count_down longest_gap_ms) | $peer_sort_count (sort -n) | $(ratio "$t_cd" "$peer_sort_count") |
| header click: by path, ascending | $t_pu | $(med sort_path_up press_ms) | $(worst sort_path_up longest_gap_ms) | $peer_sort_path (sort -f) | $(ratio "$t_pu" "$peer_sort_path") |
| header click: by path, descending | $t_pd | $(med sort_path_down press_ms) | $(worst sort_path_down longest_gap_ms) | $peer_sort_path (sort -f) | $(ratio "$t_pd" "$peer_sort_path") |

Sorting: total is from the click until the rows are in their new order (target: under 1 s, no stall over 50 ms).
MD
