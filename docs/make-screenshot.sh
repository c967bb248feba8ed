#!/usr/bin/env bash
# Makes docs/window.png, the README's picture of the window: the real
# program under Xvfb loads the sample files, counts them one by one and
# saves the window; and docs/summary.png, its Summary window after a run
# over the program's sources. Run it again whenever the window changes.
# Usage: docs/make-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1600x1000x24' \
  "$build/bin/brinmoor" --screenshot "$here/window.png" 2>/dev/null
# The Summary window after a run over the program's own sources.
QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1600x1000x24' \
  "$build/bin/brinmoor" --summary-screenshot "$here/summary.png" "$here/../src" 2>/dev/null
ls -l "$here/window.png" "$here/summary.png"
