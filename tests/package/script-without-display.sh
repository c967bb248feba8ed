#!/bin/sh
# ./brinmoor.sh on a machine without a display: one line that says the
# window needs a graphical desktop and how to count without one, status 1,
# and nothing installed or built first.
# Usage: script-without-display.sh SOURCE_DIR
set -u
source_dir="$1"
stubs="$(mktemp -d)"
trap 'rm -rf "$stubs"' EXIT
# Anything the script would install or build with leaves a mark instead.
for tool in apt-get sudo dpkg-query cmake ninja; do
  printf '#!/bin/sh\necho %s >> "%s/called"\n' "$tool" "$stubs" > "$stubs/$tool"
  chmod +x "$stubs/$tool"
done
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$stubs:$PATH" "$source_dir/brinmoor.sh" 2>&1)"
rc=$?
printf '%s\n' "$out"
status=0
[ $rc -eq 1 ] || { echo "FAIL: status $rc, not 1"; status=1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "FAIL: more than one line"; status=1; }
printf '%s' "$out" | grep -q 'graphical desktop.*brinmoor.sh count' || { echo "FAIL: the line lacks the desktop or the console command"; status=1; }
[ ! -e "$stubs/called" ] || { echo "FAIL: ran $(paste -sd' ' "$stubs/called") first"; status=1; }
exit $status
