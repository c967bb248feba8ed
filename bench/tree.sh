#!/usr/bin/env bash
# Many-files benchmark: counting the Linux source tree (Debian's linux-source-6.1)
# with brinmoor-count against the machine's two-core read limit and rg.
# Usage: bench/tree.sh BUILD_DIR [RESULTS_FILE]
# Never run in CI: it installs a 140 MB package and unpacks 1.5 GB.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="$(cd "${1:?usage: tree.sh BUILD_DIR [RESULTS_FILE]}" && pwd)"
results="${2:-}"
count="$build/bin/brinmoor-count"
ensure_tree
require_program "$count" tree.sh
tree="$bench_tree"

time_cmd() {  # command... -> mean seconds over 5 runs, the tree warmed before each
  local json; json="$(mktemp)"
  # rg's exit status is not 0 on this tree, hence --ignore-failure.
  hyperfine --style none --ignore-failure --warmup 1 --runs 5 \
    --prepare "$(declare -f warm_tree); bench_tree='$tree'; warm_tree" \
    --export-json "$json" -- "$*" >/dev/null
  hyperfine_stat "$json" mean; rm -f "$json"
}

files=$(find "$tree" -type f | wc -l)
read_limit=$(time_cmd "find '$tree' -type f -print0 | xargs -0 -P2 cat >/dev/null")
rg_time=$(time_cmd "rg -c --no-ignore-vcs '' '$tree' >/dev/null")
brin_time=$(time_cmd "'$count' '$tree' >/dev/null")
brin_sep_time=$(time_cmd "'$count' -s '$tree' >/dev/null")
warm_tree
rss=$(/usr/bin/time -f '%M' "$count" "$tree" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1/1024}')
total=$("$count" "$tree" 2>/dev/null || true)

report_section "$results" tree <<MD
## Many files: the Linux source tree

Tree: \`$tree\` ($files files, from Debian's linux-source-6.1), page cache warmed before every run,
hyperfine mean of 5 runs after one warm-up. Machine: $(nproc) cores. brinmoor-count printed: \`$total\`
(it leaves out dot-files and names beginning with "~", as the folder scan does).

| command | seconds | ratio to read limit |
| --- | --- | --- |
| \`find DIR -type f -print0 \| xargs -0 -P2 cat >/dev/null\` (two-core read limit) | $read_limit | 1.00 |
| \`rg -c --no-ignore-vcs '' DIR\` (skips hidden and binary files) | $rg_time | $(ratio "$rg_time" "$read_limit") |
| \`brinmoor-count DIR\` | $brin_time | $(ratio "$brin_time" "$read_limit") |
| \`brinmoor-count -s DIR\` | $brin_sep_time | $(ratio "$brin_sep_time" "$read_limit") |

brinmoor-count against rg: $(ratio "$brin_time" "$rg_time")×. Peak memory of \`brinmoor-count DIR\` (max RSS, \`/usr/bin/time -f %M\`): $rss MiB.
MD
