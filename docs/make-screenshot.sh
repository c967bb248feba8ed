#!/usr/bin/env bash
# Makes docs/window.png, the README's picture of the window: the real
# program, installed under the neutral prefix /opt/brinmoor, loads the
# sample files under Xvfb, counts them one by one and saves the window; and
# docs/summary.png, its Summary window after a run over the program's
# sources, copied to /opt/project/src. The paths they show are never those of
# this checkout. Run it again whenever the window changes.
# Usage: docs/make-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
prefix=/opt/brinmoor

if [ "${BRINMOOR_SCREENSHOT_INSIDE:-}" = 1 ]; then
  # In a mount namespace of our own, where the staged copy is /opt.
  mount --bind "$2" /opt
  cd /
  QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1600x1000x24' \
    "$prefix/bin/brinmoor" --screenshot "$here/window.png" 2>/dev/null
  QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1600x1000x24' \
    "$prefix/bin/brinmoor" --summary-screenshot "$here/summary.png" /opt/project/src 2>/dev/null
  exit
fi

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir -p "$stage/opt/project"
cp -r "$here/../src" "$stage/opt/project/src"
# The staged /opt is mounted at /opt only inside a private mount namespace,
# so nothing outside it changes (an unprivileged user maps itself to root
# there).
namespace=(unshare --mount --propagation private)
[ "$(id -u)" -eq 0 ] || namespace=(unshare --user --map-root-user --mount --propagation private)
BRINMOOR_SCREENSHOT_INSIDE=1 "${namespace[@]}" "$0" "$build" "$stage/opt"
ls -l "$here/window.png" "$here/summary.png"
