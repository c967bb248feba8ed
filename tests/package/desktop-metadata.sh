#!/bin/sh
# The desktop entry and the metadata as software centres and menus read
# them: every complaint, hints included, fails.
# Usage: desktop-metadata.sh DESKTOP_FILE METAINFO_FILE
set -eu
desktop="$1"
metainfo="$2"
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is missing (apt-get install desktop-file-utils appstream; ./brinmoor.sh test installs them)"
    exit 77
  fi
done
status=0
hints="$(desktop-file-validate "$desktop" 2>&1)" || status=1
if [ -n "$hints" ]; then
  printf '%s\n' "$hints"
  status=1
fi
appstreamcli validate --pedantic --no-net --explain "$metainfo" || status=1
# The metadata's id is the entry's name, and it launches that entry.
entry="$(basename "$desktop")"
for element in "<id>${entry%.desktop}</id>" "<launchable type=\"desktop-id\">$entry</launchable>"; do
  grep -qF "$element" "$metainfo" || { echo "$metainfo lacks $element"; status=1; }
done
exit $status
