#!/usr/bin/env bash
# Peak memory of brinmoor-count on inputs that once grew without bound: a
# list of long missing paths, an endless list of missing paths, one folder of
# many files with long names, one of many sub-folders, and 240,000 exclusion
# words on the command line, each with `/usr/bin/time -f %M`. With BEFORE
# (another build's brinmoor-count), both programs run side by side on the
# same inputs and the ratio is given.
# Usage: bench/console-memory.sh BUILD_DIR [RESULTS_FILE] [BEFORE_PROGRAM]
# Never run in CI. Makes its inputs under bench/data/console-memory (about
# 120 MB of list, 300,000 entries and two lists of 240,000 words; made once).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: console-memory.sh BUILD_DIR [RESULTS_FILE] [BEFORE_PROGRAM]}" && pwd)"
results="${2:-}"
before="${3:-}"
count="$build/bin/brinmoor-count"
require_program "$count" console-memory.sh
data="$bench_data/console-memory"
mkdir -p "$data"

# 30,000 entries of 3,990-byte paths that do not exist; 200,000 empty files
# with 200-byte names in one folder; 100,000 empty sub-folders with 200-byte
# names in one folder.
python3 - "$data" <<'PY'
import os, sys
base = sys.argv[1]
lst = os.path.join(base, "long-missing-paths.list")
if not os.path.exists(lst):
    with open(lst + ".tmp", "w") as f:
        for i in range(30000):
            p = "/nonexistent/%06d" % i
            f.write(p + "a" * (3990 - len(p)) + "\n")
    os.rename(lst + ".tmp", lst)
for folder, n, make in (("files-200k", 200000, "file"), ("folders-100k", 100000, "folder")):
    d = os.path.join(base, folder)
    if os.path.exists(d + ".done"):
        continue
    os.makedirs(d, exist_ok=True)
    for i in range(n):
        name = "%07d" % i
        if make == "file":
            name += "f" * (196 - len(name)) + ".txt"
            os.close(os.open(os.path.join(d, name), os.O_CREAT | os.O_WRONLY, 0o644))
        else:
            name += "d" * (200 - len(name))
            os.makedirs(os.path.join(d, name), exist_ok=True)
    open(d + ".done", "w").close()
# 240,000 words of 12 lower-case letters: random, and built on 3,000 stems
# of 4 to 8 letters (words that share prefixes, as names in one code base
# do); a small tree of 20 files of 1,000 lines to count with them.
import random
rng = random.Random(12)
letters = "abcdefghijklmnopqrstuvwxyz"
def pick(n):
    return "".join(rng.choice(letters) for _ in range(n))
stems = [pick(rng.randint(4, 8)) for _ in range(3000)]
def on_stem():
    stem = rng.choice(stems)
    return stem + pick(12 - len(stem))
for name, make in (("words-random-12.txt", lambda: pick(12)), ("words-prefix-12.txt", on_stem)):
    path = os.path.join(base, name)
    if os.path.exists(path):
        continue
    words = set()
    while len(words) < 240000:
        words.add(make())
    with open(path + ".tmp", "w") as f:
        f.write("\n".join(sorted(words)) + "\n")
    os.rename(path + ".tmp", path)
tree = os.path.join(base, "small-tree")
if not os.path.exists(tree + ".done"):
    os.makedirs(tree, exist_ok=True)
    for i in range(20):
        with open(os.path.join(tree, "f%02d.txt" % i), "w") as f:
            f.write("".join("line %d of file %d\n" % (n, i) for n in range(1000)))
    open(tree + ".done", "w").close()
PY

# Peak resident KiB of PROGRAM with ARGS, its output discarded. The endless
# list is cut after a fixed time, so what it measures is the growth.
peak_kib() {  # PROGRAM ARGS...
  /usr/bin/time -f %M -o "$data/time.out" "$@" >/dev/null 2>&1 </dev/null || true
  tail -1 "$data/time.out"
}
peak_endless_kib() {  # PROGRAM
  # timeout's signal ends the program; time still reports its peak.
  bash -c "yes /nonexistent/p | timeout -s INT 10 /usr/bin/time -f %M -o '$data/time.out' '$1' --format json --files-from - >/dev/null 2>&1" || true
  tail -1 "$data/time.out"
}
# The words as -xWORD arguments: 240,000 of them take 5.5 MB of argument
# space, past the usual limit (a quarter of the stack limit), and the
# compact form is the only one that fits at all. The shell's own copy of
# the list is not measured: time runs the program as a child of its own.
peak_words_kib() {  # PROGRAM WORDS
  bash -c "ulimit -s unlimited && exec /usr/bin/time -f %M -o '$data/time.out' '$1' \$(sed 's/^/-x/' '$2') '$data/small-tree' >/dev/null 2>&1" || true
  tail -1 "$data/time.out"
}
mib() { python3 -c 'import sys; print(f"{int(sys.argv[1]) / 1024:.1f}")' "$1"; }

declare -A cases=(
  [list-text]="-s --files-from $data/long-missing-paths.list"
  [list-json]="--format json --files-from $data/long-missing-paths.list"
  [files]="-s $data/files-200k"
  [folders]="-s $data/folders-100k"
)
order=(list-text list-json files folders)
declare -A label=(
  [list-text]="30,000 list entries of 3,990-byte missing paths, text"
  [list-json]="the same, \`--format json\`"
  [files]="a folder of 200,000 files with 200-byte names"
  [folders]="a folder of 100,000 sub-folders with 200-byte names"
)

rows=""
for c in "${order[@]}"; do
  after_kib=$(peak_kib "$count" ${cases[$c]})
  if [ -n "$before" ]; then
    before_kib=$(peak_kib "$before" ${cases[$c]})
    rows+="| ${label[$c]} | \`brinmoor-count ${cases[$c]/$data/DATA}\` | $(mib "$before_kib") | $(mib "$after_kib") | $(ratio "$after_kib" "$before_kib") |"$'\n'
  else
    rows+="| ${label[$c]} | \`brinmoor-count ${cases[$c]/$data/DATA}\` | | $(mib "$after_kib") | |"$'\n'
  fi
done
after_kib=$(peak_endless_kib "$count")
if [ -n "$before" ]; then
  before_kib=$(peak_endless_kib "$before")
  rows+="| \`yes /nonexistent/p\` for 10 s, JSON | \`yes /nonexistent/p \\| brinmoor-count --format json --files-from -\` | $(mib "$before_kib") | $(mib "$after_kib") | $(ratio "$after_kib" "$before_kib") |"$'\n'
else
  rows+="| \`yes /nonexistent/p\` for 10 s, JSON | \`yes /nonexistent/p \\| brinmoor-count --format json --files-from -\` | | $(mib "$after_kib") | |"$'\n'
fi

for w in random prefix; do
  desc="240,000 random words of 12 letters"
  [ "$w" = prefix ] && desc="240,000 words of 12 letters on 3,000 stems"
  after_kib=$(peak_words_kib "$count" "$data/words-$w-12.txt")
  cmd="\`brinmoor-count \$(sed 's/^/-x/' DATA/words-$w-12.txt) DATA/small-tree\`"
  if [ -n "$before" ]; then
    before_kib=$(peak_words_kib "$before" "$data/words-$w-12.txt")
    rows+="| $desc | $cmd | $(mib "$before_kib") | $(mib "$after_kib") | $(ratio "$after_kib" "$before_kib") |"$'\n'
  else
    rows+="| $desc | $cmd | | $(mib "$after_kib") | |"$'\n'
  fi
done

before_text="${before:+\`$before\`}"
before_text="${before_text:-not measured}"
report_section "$results" console-memory <<MD
## Memory of the console program on long lists and large folders

Peak resident memory (\`/usr/bin/time -f %M\`, one run each, output to /dev/null), DATA being
\`bench/data/console-memory\`. "Before" is $before_text. Target: under 64 MiB, except
that one folder's own listing may add up to 1.5 times the bytes of its names (200,000 × 200 bytes: 38 MiB of
names, so up to 121 MiB). Machine: $(nproc) cores.

| input | command | before MiB | after MiB | after / before |
| --- | --- | ---: | ---: | ---: |
${rows}
MD
