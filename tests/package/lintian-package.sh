#!/bin/sh
# Makes the Debian package from this build, into a folder of its own, and
# holds it to lintian: no error, no warning, and no remark at all that the
# package's overrides do not explain.
# Usage: lintian-package.sh CPACK BUILD_DIR
set -eu
cpack="$1"
build="$2"
if ! command -v lintian >/dev/null 2>&1; then
  echo "SKIPPED: lintian is missing (apt-get install lintian; ./brinmoor.sh test installs it)"
  exit 77
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
set -- "$out"/brinmoor_*.deb
echo "lintian on $(basename "$1")"
lintian --info --pedantic --fail-on error,warning,info,pedantic "$1"
