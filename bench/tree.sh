#!/usr/bin/env bash
# Many-files benchmark: brinmoor-count on the Linux source tree (Debian's
# linux-source-6.1) against the read limit (bench-read-limit: open, read and
# close every file of the list, nothing else) and rg, with the page cache
# warm and cold, side by side in one run.
# Usage: bench/tree.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI: it installs a 140 MB package, unpacks 1.5 GB and, for the
# cold rows, drops the page cache (as root).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: tree.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
count="$build/bin/brinmoor-count"
limit="$build/bin/bench-read-limit"
runs="${BRINMOOR_BENCH_RUNS:-5}"
cold_runs="${BRINMOOR_BENCH_COLD_RUNS:-3}"
ensure_tree
require_program "$count" tree.sh
require_program "$limit" tree.sh
tree="$bench_tree"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
list="$work/list"
find "$tree" -type f -print0 >"$list"
files=$(tr -cd '\0' <"$list" | wc -c)

# Commands as hyperfine runs them (-N: no shell between, so the
# figures hold no shell start-up); names for the table.
names=(limit2 limit16 rg list threads dir sep)
declare -A cmd=(
  [limit2]="$limit 2 $list"
  [limit16]="$limit 16 $list"
  [rg]="rg -uuu -c '' $tree"
  [list]="$count -0 --files-from $list"
  [threads]="env BRINMOOR_READER=threads $count -0 --files-from $list"
  [dir]="$count $tree"
  [sep]="$count -s $tree"
)
declare -A shown=(
  [limit2]="\`bench-read-limit 2 LIST\` (read limit: 2 threads open, read 256 KiB at a time, close)"
  [limit16]="\`bench-read-limit 16 LIST\` (the same with 16 threads)"
  [rg]="\`rg -uuu -c '' DIR\` (every file, as the list)"
  [list]="\`brinmoor-count -0 --files-from LIST\`"
  [threads]="\`BRINMOOR_READER=threads brinmoor-count -0 --files-from LIST\` (file by file, without io_uring)"
  [dir]="\`brinmoor-count DIR\` (walk included)"
  [sep]="\`brinmoor-count -s DIR\`"
)

root_prefix=""
[ "$(id -u)" -eq 0 ] || root_prefix="sudo "
warm_prep="bash -c 'find $tree -type f -print0 | xargs -0 -P2 cat >/dev/null'"
cold_prep="${root_prefix}bash -c 'sync; echo 3 >/proc/sys/vm/drop_caches'"

declare -A warm cold
measure() {  # PREPARE RUNS ARRAY_NAME NAME... -> ARRAY[NAME]=median seconds
  local prep="$1" n="$2"
  local -n into="$3"
  shift 3
  local json; json="$(mktemp)"
  local args=()
  for name in "$@"; do args+=("${cmd[$name]}"); done
  # rg's exit status is not 0 on this tree (unreadable files), hence --ignore-failure.
  hyperfine -N --style none --ignore-failure --runs "$n" --prepare "$prep" --export-json "$json" -- "${args[@]}" >/dev/null
  local i=0
  for name in "$@"; do
    into[$name]=$(python3 -c 'import json,sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]["median"])' "$json" "$i")
    i=$((i + 1))
  done
  rm -f "$json"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
measure "$warm_prep" "$runs" warm "${names[@]}"
measure "$cold_prep" "$cold_runs" cold limit2 limit16 rg list threads dir
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# System calls per file (strace -c -f counts every thread), the cache warm.
declare -A calls
for name in limit2 rg list threads dir; do
  eval "$warm_prep"
  eval "strace -c -f -o '$work/strace' ${cmd[$name]}" >/dev/null 2>&1 || true
  total=$(awk '$NF == "total" {print $4}' "$work/strace")
  calls[$name]=$(python3 -c "print(f'{$total / $files:.2f}')")
done

peak() {  # command... -> max RSS in MiB
  /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1/1024}'
}
eval "$warm_prep"
rss_list=$(peak $count -0 --files-from "$list")
rss_dir=$(peak $count "$tree")
rss_sep=$(peak $count -s "$tree")
eval "$cold_prep"
rss_cold=$(peak $count "$tree")
total=$("$count" "$tree" 2>/dev/null || true)

best_cold=$(printf '%s\n%s\n' "${cold[limit2]}" "${cold[limit16]}" | sort -g | head -1)
row() {  # NAME
  local c="${cold[$1]:-}" cr="" wr
  wr=$(ratio "${warm[$1]}" "${warm[limit2]}")
  [ -z "$c" ] || cr=$(ratio "$c" "$best_cold")
  echo "| ${shown[$1]} | ${warm[$1]} | $wr | ${c:--} | ${cr:--} | ${calls[$1]:--} |"
}

report_section "$results" tree <<MD
## Many files: the Linux source tree

Tree: \`$tree\` ($files files, from Debian's linux-source-6.1); LIST is \`find DIR -type f -print0\`.
Medians of hyperfine -N: warm, $runs runs with the page cache filled before each (\`xargs -0 -P2 cat\`);
cold, $cold_runs runs after \`sync; echo 3 >/proc/sys/vm/drop_caches\` before each. Warm ratios are to the
read limit with 2 threads, cold ratios to the better of its two cold figures ($best_cold s). System calls
per file: \`strace -c -f\`, all calls of the run over the $files files, warm (with io_uring one
\`io_uring_enter\` does the opens, look-ups, reads or closes of up to 64 files). Machine: $(nproc) cores,
shared; load average $load_before before, $load_after after. brinmoor-count printed: \`$total\`
(DIR leaves out dot-files and names beginning with "~", as the folder scan does).

| command | warm (s) | warm ratio | cold (s) | cold ratio | system calls per file |
| --- | ---: | ---: | ---: | ---: | ---: |
$(for name in limit2 limit16 rg list threads dir sep; do row "$name"; done)

Targets: LIST warm ≤ 1.2, DIR warm ≤ 1.3, cold ≤ 1.1 and ahead of rg. brinmoor-count against rg:
warm $(ratio "${warm[dir]}" "${warm[rg]}")×, cold $(ratio "${cold[dir]}" "${cold[rg]}")× (DIR).
Peak memory (max RSS, \`/usr/bin/time -f %M\`): LIST $rss_list MiB, DIR $rss_dir MiB, \`-s DIR\` $rss_sep MiB
warm; DIR cold $rss_cold MiB.
MD
