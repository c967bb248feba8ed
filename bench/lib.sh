# Helpers shared by the benchmark scripts; sourced, never run.
# The scripts measure Brinmoor beside standard tools in one run and write
# their sections of bench/RESULTS.md.

bench_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bench_data="$bench_dir/data"
bench_tree="${BRINMOOR_BENCH_TREE:-$bench_data/linux-source-6.1}"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The many-files tree: Debian's linux-source-6.1, unpacked on first use.
ensure_tree() {
  [ -d "$bench_tree" ] && return 0
  if [ ! -f /usr/src/linux-source-6.1.tar.xz ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends linux-source-6.1
  fi
  mkdir -p "$bench_data"
  tar -C "$bench_data" -xf /usr/src/linux-source-6.1.tar.xz
}

# The page cache is dropped after a few idle minutes here, so every
# measurement warms what it reads right before it starts.
warm_tree() { find "$bench_tree" -type f -print0 | xargs -0 -P2 cat >/dev/null; }
warm_listing() { find "$bench_tree" >/dev/null; }

# The value of KEY in a line of key=value pairs on standard input.
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p; s/^$1=\([^ ]*\).*/\1/p" | head -1; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
largest() { sort -g | tail -1; }
ratio() { python3 -c 'import sys; print(f"{float(sys.argv[1]) / float(sys.argv[2]):.2f}")' "$1" "$2"; }

# A field of hyperfine's JSON export: mean, median, user, system, ...
hyperfine_stat() {  # JSON FIELD
  python3 -c 'import json,sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][0][sys.argv[2]])' "$1" "$2"
}

# Wall seconds of one command, its output discarded.
seconds_of() {
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1 </dev/null || true
  e=$(date +%s.%N)
  python3 -c "print(f'{$e - $s:.3f}')"
}

# The window benchmarks need a display; Xvfb stands in when there is none.
gui_command() {  # PROGRAM -> sets the array gui
  gui=("$1")
  if [ -z "${DISPLAY:-}" ]; then
    gui=(xvfb-run -a -s '-screen 0 1600x1000x24' "$1")
  fi
  export QT_QPA_PLATFORM=xcb
}

require_program() {  # PATH SCRIPT_NAME
  [ -x "$1" ] || { echo "$2: $1 is missing; build with -DBRINMOOR_BENCH=ON first" >&2; exit 1; }
}

# Replaces the part of RESULTS_FILE between the section's markers (or
# appends it), so each section can be rerun alone and the others stay.
write_section() {  # RESULTS_FILE NAME TEXT_FILE
  local begin="<!-- $2:begin -->" end="<!-- $2:end -->"
  [ -f "$1" ] || printf '# Benchmark results\n\nWritten by bench/run.sh; figures from one run on this machine.\n\n' >"$1"
  python3 - "$1" "$begin" "$end" "$3" <<'PY'
import sys
path, begin, end, body = sys.argv[1], sys.argv[2], sys.argv[3], open(sys.argv[4]).read()
text = open(path).read()
block = f"{begin}\n{body.rstrip()}\n{end}\n"
if begin in text and end in text:
    head, rest = text.split(begin, 1)
    text = head + block + rest.split(end, 1)[1].lstrip("\n")
else:
    text = text.rstrip("\n") + "\n\n" + block
open(path, "w").write(text)
PY
}

# Prints the report on standard input and, when RESULTS_FILE is not empty,
# writes it as section NAME there.
report_section() {  # RESULTS_FILE NAME
  local body
  body="$(mktemp)"
  cat >"$body"
  cat "$body"
  [ -z "$1" ] || write_section "$1" "$2" "$body"
  rm -f "$body"
}
