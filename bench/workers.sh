#!/usr/bin/env bash
# Many workers: peak memory of brinmoor-count on a tree with the default
# number of workers, 64 and 1024, side by side in one run. The read blocks
# and batch arenas are shared budgets, so 1024 workers should cost little
# more than a few (target: under 64 MiB).
# Usage: bench/workers.sh BUILD_DIR [RESULTS_FILE]
# BRINMOOR_BENCH_TREE names another tree than the Linux source tree.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: workers.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
count="$build/bin/brinmoor-count"
runs="${BRINMOOR_BENCH_RUNS:-5}"
[ -n "${BRINMOOR_BENCH_TREE:-}" ] || ensure_tree
require_program "$count" workers.sh
tree="$bench_tree"
files=$(find "$tree" -type f | wc -l)

# Median peak RSS (KiB) and wall time of `runs` runs, after one warm-up.
# 0 workers stands for the default (no -j). Unreadable files make the
# program exit with status 1, which is no failure of the measurement.
measure() {  # JOBS -> "KIB SECONDS"
  local jobs=()
  [ "$1" = 0 ] || jobs=(-j "$1")
  "$count" "${jobs[@]}" "$tree" >/dev/null 2>&1 || true
  for _ in $(seq "$runs"); do
    { /usr/bin/time -f '%M %e' "$count" "${jobs[@]}" "$tree" 2>&1 >/dev/null || true; } | tail -1
  done | sort -n | sed -n "$(((runs + 1) / 2))p"
}

declare -A kib secs
for jobs in 0 64 1024; do
  read -r kib[$jobs] secs[$jobs] < <(measure "$jobs")
done
mib() { python3 -c "print(f'{$1 / 1024:.1f}')"; }

{
  echo "## Memory: many workers"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average before: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Tree: \`$tree\` ($files files), page cache warm. Median of $runs runs after one warm-up of"
  echo "\`/usr/bin/time -f %M brinmoor-count -j N TREE\` (peak RSS)."
  echo
  echo "| workers | peak RSS MiB | wall s | RSS ratio to default |"
  echo "| --- | ---: | ---: | ---: |"
  for jobs in 0 64 1024; do
    name=$jobs; [ "$jobs" = 0 ] && name="default ($(nproc))"
    echo "| $name | $(mib "${kib[$jobs]}") | ${secs[$jobs]} | $(ratio "${kib[$jobs]}" "${kib[0]}") |"
  done
  echo
  echo "1024 workers: $(mib "${kib[1024]}") MiB (target < 64 MiB)."
} | report_section "$results" workers
