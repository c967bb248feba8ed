#!/bin/bash
# brinmoor-count's bash completion, as bash-completion loads it: what each
# partial command line completes to, and that every option --help names is
# offered.
# Usage: completion.sh COMPLETION_FILE BRINMOOR_COUNT
set -u
completion="$1"
program="$2"
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "SKIPPED: $framework is missing (apt-get install bash-completion; ./brinmoor.sh test installs it)"
  exit 77
fi
# shellcheck source=/dev/null
source "$framework"
# shellcheck source=/dev/null
source "$completion"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/src" "$work/docs"
touch "$work/notes.txt" "$work/list"

# The words as bash splits them ('=' is a word of its own); prints the
# offers sorted, one line.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  # The line as typed: no blanks around '='.
  COMP_LINE="$1"
  local i
  for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
    if [ "${COMP_WORDS[i]}" = "=" ] || [ "${COMP_WORDS[i - 1]}" = "=" ]; then
      COMP_LINE+="${COMP_WORDS[i]}"
    else
      COMP_LINE+=" ${COMP_WORDS[i]}"
    fi
  done
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _brinmoor_count brinmoor-count "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}

status=0
expect() {
  local want="$1"; shift
  local got
  got="$(cd "$work" && offers "$@")"
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$*' offers '$got', not '$want'"
    status=1
  fi
}

expect "--format"                          brinmoor-count --fo
expect "csv json text"                     brinmoor-count --format ""
expect "csv json text"                     brinmoor-count --format = ""
expect "json"                              brinmoor-count --format j
expect "--exclude --exclude-blank"         brinmoor-count --exclude
expect ""                                  brinmoor-count -x ""
expect ""                                  brinmoor-count --ext ""
expect "docs list notes.txt src"           brinmoor-count -s ""
expect "notes.txt"                         brinmoor-count no
expect "- docs list notes.txt src"         brinmoor-count --files-from ""
expect "1"                                 brinmoor-count -j 1
expect "folder folder="                    brinmoor-count --summary f

# An option added to the program and forgotten here fails.
for option in $("$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
  case " $(cd "$work" && offers brinmoor-count -) " in
    *" $option "*) ;;
    *) echo "FAIL: --help names $option, the completion does not offer it"; status=1 ;;
  esac
done
exit $status
