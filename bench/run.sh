#!/usr/bin/env bash
# Benchmarks of Brinmoor side by side with the standard tools, in one run,
# written to bench/RESULTS.md as ratios with the exact commands and peak memory.
# Usage: bench/run.sh BUILD_DIR [SECTION...]   (a Release build with -DBRINMOOR_BENCH=ON)
#   sections: large-file long-line words matcher tree workers window scan results console-memory summary (default: all)
# Never run in CI. Needs hyperfine and ripgrep (bench_packages in brinmoor.sh);
# the window sections need Xvfb or a display, results needs xclip too.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
here="$bench_dir"
build="$(cd "${1:?usage: run.sh BUILD_DIR [SECTION...]}" && pwd)"
shift
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=(large-file long-line words matcher tree workers window scan results console-memory summary)
results="$here/RESULTS.md"
data="$bench_data"
runs="${BRINMOOR_BENCH_RUNS:-7}"

count="$build/bin/brinmoor-count"
if [ ! -x "$count" ]; then   # the engine alone, until the console program is built
  count="$build/bin/bench_count_file"
fi
[ -x "$count" ] || { echo "run.sh: no $build/bin/brinmoor-count; build with -DBRINMOOR_BENCH=ON" >&2; exit 1; }

# --- helpers ------------------------------------------------------------------

# Mean wall time and mean CPU time (user + system) in seconds of one command
# line, the file warmed into the page cache right before every timed run (this
# machine drops it when idle). The CPU time is the steadier figure when other
# work shares the two cores.
time_mean() {  # FILE_TO_WARM COMMAND -> "WALL CPU"
  local json
  json="$(mktemp)"
  hyperfine --style none --warmup 1 --runs "$runs" --prepare "cat '$1' >/dev/null" \
    --export-json "$json" -- "$2" >/dev/null
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("%.3f %.3f" % (r["mean"], r["user"] + r["system"]))' "$json"
  rm -f "$json"
}

peak_rss_mib() {  # COMMAND (run once through /usr/bin/time -v)
  /usr/bin/time -v bash -c "$1 >/dev/null" 2>&1 | awk '/Maximum resident set size/ {printf "%.1f", $6 / 1024}'
}

gbps() { python3 -c 'import sys; print(f"{float(sys.argv[1]) / float(sys.argv[2]) / 1e9:.2f}")' "$1" "$2"; }

# --- one large file -------------------------------------------------------------

# 1 GiB of lines like source code and prose, LF endings: a 16 MiB sample,
# repeated. A few lines hold the words the five-word measurement excludes.
make_large_file() {
  large="$data/text-1g.txt"
  [ -f "$large" ] && [ "$(stat -c %s "$large")" -ge 1073741824 ] && return 0
  mkdir -p "$data"
  python3 - "$data/sample-16m.txt" <<'PY'
import random, sys
random.seed(11)
common = ("the of and to in is that for it as with was on be by at this are from or an not have "
          "value return if else int const static struct void char size count line file read write "
          "buffer index next result data list map string error_code options case break while do "
          "include define unsigned long begin end self import def class public private new").split()
rare = ["Error", "warning", "TODO", "deprecated", "FIXME"]
out, size = [], 0
while size < 16 * 1024 * 1024:
    r = random.random()
    if r < 0.08:
        line = ""
    else:
        words = [random.choice(common) for _ in range(random.randint(1, 14))]
        if random.random() < 0.03:
            words.insert(random.randrange(len(words) + 1), random.choice(rare))
        line = " " * (4 * random.randint(0, 3)) + " ".join(words)
    out.append(line)
    size += len(line) + 1
open(sys.argv[1], "w").write("\n".join(out) + "\n")
PY
  local i
  : >"$large.tmp"
  for i in $(seq 64); do cat "$data/sample-16m.txt" >>"$large.tmp"; done
  mv "$large.tmp" "$large"
  rm -f "$data/sample-16m.txt"
}

section_large_file() {
  make_large_file
  local f="$large" bytes words_rg words_bm
  bytes="$(stat -c %s "$f")"
  words_rg="-e Error -e warning -e TODO -e deprecated -e FIXME"
  words_bm="-x Error -x warning -x TODO -x deprecated -x FIXME"

  local c_wc="wc -l $f" c_cat="cat $f" c_rg="rg -c -v -i -F $words_rg $f"
  local c_plain="$count $f" c_blank="$count -b $f" c_words="$count $words_bm $f"

  # The counts must agree before the times mean anything.
  local n_wc n_rg n_plain n_words
  n_wc="$(wc -l <"$f")"
  n_rg="$(eval "$c_rg")"
  n_plain="$(eval "$c_plain" | grep -o '[0-9]*$')"
  n_words="$(eval "$c_words" | grep -o '[0-9]*$')"
  [ "$n_plain" = "$n_wc" ] || { echo "run.sh: $count says $n_plain lines, wc -l $n_wc" >&2; exit 1; }
  [ "$n_words" = "$n_rg" ] || { echo "run.sh: $count with words says $n_words, rg $n_rg" >&2; exit 1; }

  echo "one large file: timing ($runs runs each)..." >&2
  local t_wc t_cat t_rg t_plain t_blank t_words t_plain2 t_blank2 u_wc u_cat u_rg u_plain u_blank u_words u_plain2 u_blank2
  local load
  load="$(cut -d' ' -f1-3 /proc/loadavg)"
  read -r t_wc u_wc <<<"$(time_mean "$f" "$c_wc")"
  read -r t_cat u_cat <<<"$(time_mean "$f" "$c_cat >/dev/null")"
  read -r t_rg u_rg <<<"$(time_mean "$f" "$c_rg")"
  read -r t_plain u_plain <<<"$(time_mean "$f" "$c_plain")"
  read -r t_blank u_blank <<<"$(time_mean "$f" "$c_blank")"
  read -r t_words u_words <<<"$(time_mean "$f" "$c_words")"
  # The same through the AVX2 kernel, to show what AVX-512 adds.
  read -r t_plain2 u_plain2 <<<"$(BRINMOOR_KERNEL=avx2 time_mean "$f" "BRINMOOR_KERNEL=avx2 $c_plain")"
  read -r t_blank2 u_blank2 <<<"$(BRINMOOR_KERNEL=avx2 time_mean "$f" "BRINMOOR_KERNEL=avx2 $c_blank")"

  local m_wc m_rg m_plain m_blank m_words
  m_wc="$(peak_rss_mib "$c_wc")"; m_rg="$(peak_rss_mib "$c_rg")"
  m_plain="$(peak_rss_mib "$c_plain")"; m_blank="$(peak_rss_mib "$c_blank")"; m_words="$(peak_rss_mib "$c_words")"

  local out
  out="$(mktemp)"
  {
    echo "## One large file"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)),"
    echo "kernel \`${BRINMOOR_KERNEL:-auto}\`. File: \`bench/data/text-1g.txt\`, $bytes bytes, $n_wc lines (LF), page cache"
    echo "warmed (\`cat FILE >/dev/null\` as hyperfine's --prepare) before each of $runs timed runs; mean wall time"
    echo "and mean CPU time (user + system); load average before the runs: $load. Ratios are of wall times."
    echo "Counted by \`$(basename "$count")\`; five words excluded: $n_words lines left (rg agrees)."
    echo
    echo "| measurement | command | wall s | CPU s | GB/s | ratio | target | peak RSS MiB |"
    echo "| --- | --- | ---: | ---: | ---: | ---: | --- | ---: |"
    echo "| read limit | \`$c_cat >/dev/null\` | $t_cat | $u_cat | $(gbps "$bytes" "$t_cat") | | | |"
    echo "| peer: lines | \`$c_wc\` | $t_wc | $u_wc | $(gbps "$bytes" "$t_wc") | 1.00 | | $m_wc |"
    echo "| no words, blank off | \`$c_plain\` | $t_plain | $u_plain | $(gbps "$bytes" "$t_plain") | $(ratio "$t_plain" "$t_wc") × wc | ≤ 1.0 | $m_plain |"
    echo "| the same, AVX2 kernel | \`BRINMOOR_KERNEL=avx2 $c_plain\` | $t_plain2 | $u_plain2 | $(gbps "$bytes" "$t_plain2") | $(ratio "$t_plain2" "$t_wc") × wc | | |"
    echo "| no words, blank on | \`$c_blank\` | $t_blank | $u_blank | $(gbps "$bytes" "$t_blank") | $(ratio "$t_blank" "$t_wc") × wc | ≤ 1.5 | $m_blank |"
    echo "| the same, AVX2 kernel | \`BRINMOOR_KERNEL=avx2 $c_blank\` | $t_blank2 | $u_blank2 | $(gbps "$bytes" "$t_blank2") | $(ratio "$t_blank2" "$t_wc") × wc | | |"
    echo "| peer: five words | \`$c_rg\` | $t_rg | $u_rg | $(gbps "$bytes" "$t_rg") | 1.00 | | $m_rg |"
    echo "| five words | \`$c_words\` | $t_words | $u_words | $(gbps "$bytes" "$t_words") | $(ratio "$t_words" "$t_rg") × rg | ≤ 1.0 | $m_words |"
    echo
    echo "rg maps the file, so its peak RSS counts the mapped page cache. Brinmoor reads 256 KiB blocks, one"
    echo "stream per half of the file (two threads for files of 64 MiB and more)."
  } >"$out"
  write_section "$results" large-file "$out"
  cat "$out"
  rm -f "$out"
}

# --- memory: one line of 1 GiB ------------------------------------------------

section_long_line() {
  local ascii="$data/one-line-ascii-1g.txt" accents="$data/one-line-accents-1g.txt"
  mkdir -p "$data"
  [ -f "$ascii" ] || head -c 1073741824 /dev/zero | tr '\0' 'x' >"$ascii"
  [ -f "$accents" ] || python3 -c 'import sys; b = ("\u00e9" * (1 << 19)).encode(); [sys.stdout.buffer.write(b) for _ in range(1024)]' >"$accents"
  local out rows=() c m
  out="$(mktemp)"
  for c in "$count $ascii" "$count -b $ascii" "$count -x xxxxy -x yx $ascii" "$count -x $'\u00e9x' $accents"; do
    cat "${c##* }" >/dev/null
    m="$(peak_rss_mib "$c")"
    rows+=("| \`$c\` | $(eval "$c" | grep -o '[0-9]*$') | $m |")
  done
  {
    echo "## Memory: a 1 GiB file without a line break"
    echo
    echo "Peak RSS (\`/usr/bin/time -v\`, one run each) counting one line of 1 GiB: ASCII through the byte"
    echo "path, and U+00E9 repeated (2 bytes each) through the decoded path, which a non-ASCII word needs."
    echo "A small file takes the same: \`$count $here/run.sh\` peaks at $(peak_rss_mib "$count $here/run.sh") MiB."
    echo
    echo "| command | lines | peak RSS MiB |"
    echo "| --- | ---: | ---: |"
    printf '%s\n' "${rows[@]}"
  } >"$out"
  write_section "$results" long-line "$out"
  cat "$out"
  rm -f "$out"
}

# --- exclusion words: many and long -------------------------------------------

# 100 MB of lines like prose and code; 3% of the lines hold one of 20,000
# made-up words, from which the word lists are drawn (so each list excludes
# some lines). And 100 MB of lines of 9,000 'x', for one 10,000-letter word.
make_words_data() {
  words_text="$data/words-text-100m.txt"
  x_lines="$data/x-lines-100m.txt"
  mkdir -p "$data"
  [ -f "$words_text" ] && [ -f "$data/words-10000.txt" ] || python3 - "$data" <<'PY'
import random, sys
d = sys.argv[1]
r = random.Random(23)
letters = "abcdefghijklmnopqrstuvwxyz"
vocab = sorted({"".join(r.choice(letters) for _ in range(r.randint(5, 11))) for _ in range(21000)})[:20000]
r.shuffle(vocab)
common = ("the of and to in is that for it as with was on be by at this are from or an not have "
          "value return if else int const static struct void char size count line file read write "
          "buffer index next result data list map string error_code options case break while do").split()
out, size = [], 0
while size < 100 * 1000 * 1000:
    if r.random() < 0.08:
        line = ""
    else:
        words = [r.choice(common) for _ in range(r.randint(1, 14))]
        if r.random() < 0.03:
            word = r.choice(vocab)
            words.insert(r.randrange(len(words) + 1), word.capitalize() if r.random() < 0.3 else word)
        line = " " * (4 * r.randint(0, 3)) + " ".join(words)
    out.append(line)
    size += len(line) + 1
open(f"{d}/words-text-100m.txt", "w").write("\n".join(out) + "\n")
for n in (10, 1000, 10000):
    open(f"{d}/words-{n}.txt", "w").write("\n".join(r.sample(vocab, n)) + "\n")
open(f"{d}/words-long.txt", "w").write("x" * 10000 + "\n")
PY
  if [ ! -f "$x_lines" ]; then
    python3 -c 'import sys; b = ("x" * 9000 + "\n").encode() * 1000; [sys.stdout.buffer.write(b) for _ in range(11)]' >"$x_lines"
  fi
}

# Median wall seconds and median CPU seconds of one command, run without a
# shell (the word lists are too long for one); the file stays in the page
# cache between runs.
median_of() {  # RUNS COMMAND -> "WALL CPU"
  local json
  json="$(mktemp)"
  hyperfine -N --style none --warmup 1 --runs "$1" --export-json "$json" -- "$2" >/dev/null
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("%.3f %.3f" % (r["median"], r["user"] + r["system"]))' "$json"
  rm -f "$json"
}

# One run through /usr/bin/time -v, for a command too slow to repeat.
once_timed() {  # COMMAND -> "OUTPUT WALL CPU PEAK_RSS_MIB"
  local out log
  out="$(mktemp)"; log="$(mktemp)"
  /usr/bin/time -v $1 >"$out" 2>"$log"
  python3 - "$out" "$log" <<'PY'
import sys
out = open(sys.argv[1]).read().strip()
v = {}
for line in open(sys.argv[2]):
    key, _, value = line.strip().rpartition(": ")
    v[key] = value
h, m, s = (["0"] + v["Elapsed (wall clock) time (h:mm:ss or m:ss)"].split(":"))[-3:]
wall = int(h) * 3600 + int(m) * 60 + float(s)
cpu = float(v["User time (seconds)"]) + float(v["System time (seconds)"])
print(out, "%.3f %.3f %.1f" % (wall, cpu, int(v["Maximum resident set size (kbytes)"]) / 1024))
PY
  rm -f "$out" "$log"
}

section_words() {
  make_words_data
  local rows=() name file wordsfile args c_bm c_rg n_bm n_rg t_bm u_bm t_rg u_rg m_bm m_rg
  local t10="" t10k=""
  local load
  load="$(cut -d' ' -f1-3 /proc/loadavg)"
  for name in 10 1000 10000 long long-x; do
    case "$name" in
      long) wordsfile="$data/words-long.txt"; file="$words_text" ;;
      long-x) wordsfile="$data/words-long.txt"; file="$x_lines" ;;
      *) wordsfile="$data/words-$name.txt"; file="$words_text" ;;
    esac
    args="$(sed 's/^/-x /' "$wordsfile" | tr '\n' ' ')"
    c_bm="$count $args$file"
    c_rg="rg -c -v -i -F -f $wordsfile $file"
    cat "$file" >/dev/null
    n_bm="$($c_bm | grep -o '[0-9]*$')"
    echo "words: $name: brinmoor-count..." >&2
    read -r t_bm u_bm <<<"$(median_of "$runs" "$c_bm")"
    m_bm="$(peak_rss_mib "$c_bm")"
    echo "words: $name: rg..." >&2
    if [ "$name" = 10000 ]; then
      # rg takes many minutes over ten thousand words: one run gives all.
      read -r n_rg t_rg u_rg m_rg <<<"$(once_timed "$c_rg")"
    else
      n_rg="$($c_rg)"
      read -r t_rg u_rg <<<"$(median_of "$runs" "$c_rg")"
      m_rg="$(peak_rss_mib "$c_rg")"
    fi
    [ "$n_bm" = "$n_rg" ] || { echo "run.sh: words $name: $count says $n_bm, rg $n_rg" >&2; exit 1; }
    [ "$name" != 10 ] || t10="$t_bm"
    [ "$name" != 10000 ] || t10k="$t_bm"
    local shown="\`brinmoor-count \$(sed 's/^/-x /' $(basename "$wordsfile")) $(basename "$file")\`"
    rows+=("| $name | $n_bm | $shown | $t_bm | $u_bm | $m_bm | $t_rg | $u_rg | $m_rg | $(ratio "$t_bm" "$t_rg") |")
  done
  {
    echo "## Exclusion words: many, and long"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average before: $load. Files: \`bench/data/words-text-100m.txt\`"
    echo "($(stat -c %s "$words_text") bytes of lines like prose and code; 3% of the lines hold one of 20,000 made-up"
    echo "words, from which the lists of 10, 1,000 and 10,000 are drawn) and \`bench/data/x-lines-100m.txt\` (lines of"
    echo "9,000 \`x\`), for one word of 10,000 \`x\` (\`long\`, \`long-x\`). Medians of $runs runs after one warm-up"
    echo "(\`hyperfine -N\`; rg over 10,000 words: one run through \`/usr/bin/time -v\`, it takes minutes), the file"
    echo "in the page cache; CPU is user + system (mean). Peak RSS from \`/usr/bin/time -v\`. The peer is"
    echo "\`rg -c -v -i -F -f WORDSFILE FILE\`"
    echo "with the same words; both print the same count."
    echo
    echo "| words | lines left | brinmoor-count | wall s | CPU s | peak RSS MiB | rg wall s | rg CPU s | rg peak RSS MiB | ratio to rg |"
    echo "| --- | ---: | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"
    printf '%s\n' "${rows[@]}"
    echo
    echo "10,000 words against 10 words: $(ratio "$t10k" "$t10") × (target ≤ 3)."
  } | report_section "$results" words
}

# --- the word matcher alone -----------------------------------------------------

# Build time and memory of the word matcher for long and many words, through
# bench/matcher_bench.cpp. BRINMOOR_MATCHER_BEFORE may name the same program
# built from an earlier commit: its rows then stand beside the current ones.
section_matcher() {
  local rows=() load cases=(twelve short huge long) builds=("$build/bin/matcher_bench")
  load="$(cut -d' ' -f1-3 /proc/loadavg)"
  [ -z "${BRINMOOR_MATCHER_BEFORE:-}" ] || builds=("$BRINMOOR_MATCHER_BEFORE" "${builds[@]}")
  for c in "${cases[@]}"; do
    for b in "${builds[@]}"; do
      local line peak
      line="$(/usr/bin/time -f 'PEAK %M' "$b" "$c" 2>&1)"
      peak="$(awk '/^PEAK/ {printf "%.1f", $2 / 1024}' <<<"$line")"
      line="$(grep -v '^PEAK' <<<"$line")"
      rows+=("| $c | $( [ "$b" = "$build/bin/matcher_bench" ] && echo now || echo before) | $(sed -E 's/^[a-z]+ //; s/ /  | /g; s/[a-z_]+=//g' <<<"$line") | $peak |")
    done
  done
  {
    echo "## Word matcher: build time and memory"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average before: $load. \`matcher_bench CASE\`: random"
    echo "lower-case words (twelve: 240,000 of 12 letters; short: 1,000,000 of 4 to 12; huge: one of 50,000,000;"
    echo "long: 10,000 of 10,000). CPU seconds of the build; matcher bytes as it reports them; resident growth"
    echo "held after the build and at its peak; whole process peak from \`/usr/bin/time\`."
    echo
    echo "| case | build | words | bytes of words | CPU s | matcher bytes | held MiB | build peak MiB | matcher bytes per byte | process peak MiB |"
    echo "| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"
    printf '%s\n' "${rows[@]}"
  } | report_section "$results" matcher
}

for section in "${sections[@]}"; do
  case "$section" in
    large-file) section_large_file ;;
    long-line) section_long_line ;;
    words) section_words ;;
    matcher) section_matcher ;;
    tree) "$here/tree.sh" "$build" "$results" ;;
    workers) "$here/workers.sh" "$build" "$results" ;;
    window) "$here/window.sh" "$build" "$results" ;;
    scan) "$here/scan.sh" "$build" "$results" ;;
    console-memory) "$here/console-memory.sh" "$build" "$results" "${BRINMOOR_BENCH_BEFORE:-}" ;;
    results) "$here/results.sh" "$build" "$results" ;;
    summary) "$here/summary.sh" "$build" "$results" ;;
    *) echo "run.sh: unknown section $section" >&2; exit 2 ;;
  esac
done
