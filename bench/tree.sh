#!/usr/bin/env bash
# Many-files benchmark: counting the Linux source tree (Debian's linux-source-6.1)
# with brinmoor-count against the machine's two-core read limit and rg.
# Usage: bench/tree.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI: it installs a 140 MB package and unpacks 1.5 GB.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: tree.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
count="$build/bin/brinmoor-count"
data="$here/data"
tree="$data/linux-source-6.1"

ensure_tree() {
  [ -d "$tree" ] && return 0
  if [ ! -f /usr/src/linux-source-6.1.tar.xz ]; then
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends linux-source-6.1
  fi
  mkdir -p "$data"
  tar -C "$data" -xf /usr/src/linux-source-6.1.tar.xz
}

# The page cache is dropped after a few idle minutes here, so every
# measurement warms it right before it starts.
warm() { find "$tree" -type f -print0 | xargs -0 -P2 cat >/dev/null; }

mean_seconds() {  # hyperfine JSON -> mean
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' "$1"
}

time_cmd() {  # name command... -> prints mean seconds
  local json; json="$(mktemp)"
  hyperfine --style none --ignore-failure --warmup 1 --runs 5 --prepare "$(declare -f warm); tree='$tree'; warm" \
    --export-json "$json" -- "$*" >/dev/null
  mean_seconds "$json"; rm -f "$json"
}

peak_rss_mib() {
  warm
  /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1/1024}'
}

ensure_tree
[ -x "$count" ] || { echo "tree.sh: $count is missing; build with -DBRINMOOR_BENCH=ON first" >&2; exit 1; }

files=$(find "$tree" -type f | wc -l)
read_limit=$(time_cmd "find '$tree' -type f -print0 | xargs -0 -P2 cat >/dev/null")
rg_time=$(time_cmd "rg -c --no-ignore-vcs '' '$tree' >/dev/null")  # rg's exit status is not 0 here, hence --ignore-failure
brin_time=$(time_cmd "'$count' '$tree' >/dev/null")
brin_sep_time=$(time_cmd "'$count' -s '$tree' >/dev/null")
rss=$(peak_rss_mib "$count" "$tree")
total=$("$count" "$tree" 2>/dev/null || true)

report=$(cat <<MD
## Many files: the Linux source tree

Tree: \`$tree\` ($files files, from Debian's linux-source-6.1), page cache warmed before every run,
hyperfine mean of 5 runs after one warm-up. Machine: $(nproc) cores. brinmoor-count printed: \`$total\`.

| command | seconds | ratio to read limit |
| --- | --- | --- |
| \`find DIR -type f -print0 \| xargs -0 -P2 cat >/dev/null\` (two-core read limit) | $read_limit | 1.00 |
| \`rg -c '' DIR\` (skips hidden and binary files, so reads less) | $rg_time | $(python3 -c "print(f'{$rg_time/$read_limit:.2f}')") |
| \`brinmoor-count DIR\` | $brin_time | $(python3 -c "print(f'{$brin_time/$read_limit:.2f}')") |
| \`brinmoor-count -s DIR\` | $brin_sep_time | $(python3 -c "print(f'{$brin_sep_time/$read_limit:.2f}')") |

brinmoor-count against rg: $(python3 -c "print(f'{$brin_time/$rg_time:.2f}')")×. Peak memory of \`brinmoor-count DIR\` (max RSS, \`/usr/bin/time -f %M\`): $rss MiB.
MD
)
echo "$report"
if [ -n "$results" ]; then
  printf '\n%s\n' "$report" >> "$results"
fi
