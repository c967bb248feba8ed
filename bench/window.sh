#!/usr/bin/env bash
# The counting run through the window on the Linux source tree: the longest
# GUI-thread stall (gap between two ticks of a 10 ms timer) and the run's
# time, against brinmoor-count on exactly the same files.
# Usage: bench/window.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI. Needs a display; starts Xvfb when there is none.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: window.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
bench="$build/bin/brinmoor-window-bench"
count="$build/bin/brinmoor-count"
tree="${BRINMOOR_BENCH_TREE:-$here/data/linux-source-6.1}"
runs=3

if [ ! -d "$tree" ]; then   # the same tree as tree.sh, unpacked on demand
  if [ ! -f /usr/src/linux-source-6.1.tar.xz ]; then
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends linux-source-6.1
  fi
  mkdir -p "$here/data"
  tar -C "$here/data" -xf /usr/src/linux-source-6.1.tar.xz
fi
for p in "$bench" "$count"; do
  [ -x "$p" ] || { echo "window.sh: $p is missing; build with -DBRINMOOR_BENCH=ON first" >&2; exit 1; }
done

gui=("$bench")
if [ -z "${DISPLAY:-}" ]; then
  gui=(xvfb-run -a -s '-screen 0 1600x1000x24' "$bench")
fi
export QT_QPA_PLATFORM=xcb

warm() { find "$tree" -type f -print0 | xargs -0 -P2 cat >/dev/null; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p; s/^$1=\([^ ]*\).*/\1/p" | head -1; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

list="$(mktemp)"
trap 'rm -f "$list"' EXIT

run_window() {  # mode args -> "run_s gap_ms" per run, one line each
  local out
  for _ in $(seq $runs); do
    warm
    out="$("${gui[@]}" "$@" --write-list "$list" "$tree" 2>/dev/null)"
    echo "$(echo "$out" | field run_s) $(echo "$out" | field longest_gap_ms) $(echo "$out" | field files)"
  done
}

one=$(run_window)
sep=$(run_window --separate)
files=$(echo "$one" | head -1 | awk '{print $3}')

count_time() {  # args -> median seconds of brinmoor-count on the window's list
  for _ in $(seq $runs); do
    warm
    local start end
    start=$(date +%s.%N)
    "$count" "$@" -0 --files-from "$list" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    python3 -c "print(f'{$end - $start:.3f}')"
  done | median
}
count_one=$(count_time)
count_sep=$(count_time -s)

w_one=$(echo "$one" | awk '{print $1}' | median)
w_sep=$(echo "$sep" | awk '{print $1}' | median)
g_one=$(echo "$one" | awk '{print $2}' | sort -g | tail -1)
g_sep=$(echo "$sep" | awk '{print $2}' | sort -g | tail -1)
fill=$("${gui[@]}" --fill-results 1000000 2>/dev/null)

report=$(cat <<MD
## The counting run through the window

Tree: \`$tree\` ($files files), page cache warmed before every run, median of $runs runs; the window's time
is from the press of "Start Counting" to "Done." (file list already filled), brinmoor-count reads the same
list with \`--files-from\`. Longest stall: the largest gap between two ticks of a 10 ms timer on the GUI
thread over all runs. Machine: $(nproc) cores.

| mode | window run (s) | brinmoor-count (s) | ratio | longest stall (ms) |
| --- | --- | --- | --- | --- |
| one count for all files | $w_one | $count_one | $(python3 -c "print(f'{$w_one/$count_one:.2f}')") | $g_one |
| separate counts | $w_sep | $count_sep | $(python3 -c "print(f'{$w_sep/$count_sep:.2f}')") | $g_sep |

Filling the results list with a million rows in batches of 5,000: \`$fill\`.
MD
)
echo "$report"
if [ -n "$results" ]; then
  printf '\n%s\n' "$report" >> "$results"
fi
