#!/usr/bin/env bash
# Benchmarks of Brinmoor side by side with the standard tools, in one run,
# written to bench/RESULTS.md as ratios with the exact commands and peak memory.
# Usage: bench/run.sh BUILD_DIR [SECTION...]   (a Release build with -DBRINMOOR_BENCH=ON)
#   sections: large-file long-line tree window scan results (default: all)
# Never run in CI. Needs hyperfine and ripgrep (bench_packages in brinmoor.sh);
# the window sections need Xvfb or a display, results needs xclip too.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
here="$bench_dir"
build="$(cd "${1:?usage: run.sh BUILD_DIR [SECTION...]}" && pwd)"
shift
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=(large-file long-line tree window scan results)
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

for section in "${sections[@]}"; do
  case "$section" in
    large-file) section_large_file ;;
    long-line) section_long_line ;;
    tree) "$here/tree.sh" "$build" "$results" ;;
    window) "$here/window.sh" "$build" "$results" ;;
    scan) "$here/scan.sh" "$build" "$results" ;;
    results) "$here/results.sh" "$build" "$results" ;;
    *) echo "run.sh: unknown section $section" >&2; exit 2 ;;
  esac
done
