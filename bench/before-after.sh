#!/usr/bin/env bash
# What a change costs, two builds side by side in one run: the Linux source
# tree (a list and a folder, per file), one large file of C source (plain,
# -b, and with words) and the window's per-file run of the tree. Ratios are
# after / before; the machine is shared, so the two builds alternate within
# every measurement and medians are compared.
# Usage: bench/before-after.sh BEFORE_BUILD AFTER_BUILD [RESULTS_FILE]
#   (Release builds with -DBRINMOOR_BENCH=ON; a build of the earlier commit
#   made with `git worktree add` is the simplest BEFORE_BUILD)
# Never run in CI. The window rows need a display; Xvfb is started when there is none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
before="$(cd "${1:?usage: before-after.sh BEFORE_BUILD AFTER_BUILD [RESULTS_FILE]}" && pwd)"
after="$(cd "${2:?usage: before-after.sh BEFORE_BUILD AFTER_BUILD [RESULTS_FILE]}" && pwd)"
results="${3:-}"
runs="${BRINMOOR_BENCH_RUNS:-10}"
ensure_tree
for build in "$before" "$after"; do
  require_program "$build/bin/brinmoor-count" before-after.sh
  require_program "$build/bin/brinmoor-window-bench" before-after.sh
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
list="$work/list"
find "$bench_tree" -type f -print0 >"$list"
# 256 MiB of real code, the same bytes on every run of this script.
large="$bench_data/tree-c-256m.txt"
if [ ! -f "$large" ]; then
  # cat is cut off by head once it has enough.
  { find "$bench_tree" -name '*.c' -print0 | sort -z | xargs -0 cat 2>/dev/null || true; } |
    head -c 268435456 >"$large.tmp"
  mv "$large.tmp" "$large"
fi

# Both builds, alternating run by run (the page cache here is trimmed in the
# background, so a block of runs of one build after a block of the other
# compares two different machines) -> "wall_before wall_after cpu_before cpu_after",
# medians in seconds.
pair() {  # WARM_COMMAND ARGS...
  local warm="$1"
  shift
  python3 - "$runs" "$warm" "$before/bin/brinmoor-count" "$after/bin/brinmoor-count" "$@" <<'PY'
import os, resource, statistics, subprocess, sys, time
runs, warm, programs, args = int(sys.argv[1]), sys.argv[2], sys.argv[3:5], sys.argv[5:]
wall, cpu = {p: [] for p in programs}, {p: [] for p in programs}
def once(program):
    subprocess.run(warm, shell=True, check=False)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([program, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    wall[program].append(time.perf_counter() - start)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu[program].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
for program in programs:   # one warm-up each
    once(program)
    wall[program].clear()
    cpu[program].clear()
for _ in range(runs):
    for program in programs:
        once(program)
m = statistics.median
print("%.3f %.3f %.3f %.3f" % (m(wall[programs[0]]), m(wall[programs[1]]), m(cpu[programs[0]]), m(cpu[programs[1]])))
PY
}
row() {  # LABEL "mb ma cb ca"
  read -r mb ma cb ca <<<"$2"
  echo "| $1 | $mb | $ma | $(ratio "$ma" "$mb") | $(ratio "$ca" "$cb") |"
}

warm_tree
warm="find $bench_tree -type f -print0 | xargs -0 -P2 cat >/dev/null"
t_list=$(pair "$warm" -0 --files-from "$list")
t_sep=$(pair "$warm" -s "$bench_tree")
f_plain=$(pair "cat $large >/dev/null" "$large")
f_blank=$(pair "cat $large >/dev/null" -b "$large")
f_words=$(pair "cat $large >/dev/null" -x static -x return -x struct -x unsigned -x TODO "$large")

# The window: the builds alternate run by run.
window_run() {  # BUILD OUT_FILE -> appends "run_s gap_ms"
  local out
  gui_command "$1/bin/brinmoor-window-bench"
  warm_tree
  out="$("${gui[@]}" --separate "$bench_tree" 2>/dev/null)"
  echo "$(field run_s <<<"$out") $(field longest_gap_ms <<<"$out")" >>"$2"
}
: >"$work/w.before"
: >"$work/w.after"
for _ in $(seq "$(( (runs + 1) / 2 ))"); do
  window_run "$before" "$work/w.before"
  window_run "$after" "$work/w.after"
done
wb=$(awk '{print $1}' "$work/w.before" | median)
wa=$(awk '{print $1}' "$work/w.after" | median)
gb=$(awk '{print $2}' "$work/w.before" | median)
ga=$(awk '{print $2}' "$work/w.after" | median)
files=$(tr -cd '\0' <"$list" | wc -c)

report_section "$results" before-after <<MD
## Before and after a change

\`bench/before-after.sh BEFORE AFTER\`: before = \`$(git -C "$before/.." describe --always 2>/dev/null || echo "$before")\`,
after = \`$(git -C "$after/.." describe --always 2>/dev/null || echo "$after")\`. Tree: \`$bench_tree\` ($files files),
page cache warmed before every run; large file: the tree's C files, first 256 MiB. $runs runs of each build,
alternating run by run, median wall seconds; ratio = after / before, for wall time and for processor time
(user + system, which a shared machine disturbs less). Load average before: $(cut -d' ' -f1-3 /proc/loadavg).

| brinmoor-count | before (s) | after (s) | wall ratio | CPU ratio |
|---|---|---|---|---|
$(row "tree, \`-0 --files-from LIST\`" "$t_list")
$(row "tree, \`-s DIR\`" "$t_sep")
$(row "large file" "$f_plain")
$(row "large file, \`-b\`" "$f_blank")
$(row "large file, five \`-x\` words" "$f_words")

The window, per file, the builds alternating run by run ($(wc -l <"$work/w.after") runs each), medians:
before $wb s, after $wa s (ratio $(ratio "$wa" "$wb")); longest GUI-thread gap before $gb ms, after $ga ms.
MD
