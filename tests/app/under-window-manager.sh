#!/bin/sh
# Runs a command on an X server of its own, of the given size, with openbox
# managing its windows. Exits 77 (skipped) where openbox is not installed.
# Usage: under-window-manager.sh WIDTHxHEIGHT COMMAND [ARG...]
set -u
size="$1"; shift
if ! command -v openbox >/dev/null 2>&1; then
  echo "openbox is not installed: the window is not tried under a window manager"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 ${size}x24" sh -c '
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  # The work area is the last thing the window manager publishes on starting;
  # a loaded machine can take seconds to get there.
  tries=0
  until xprop -root _NET_WORKAREA 2>/dev/null | grep -q "= "; do
    tries=$((tries + 1))
    [ $tries -gt 600 ] && { echo "openbox did not start in 30 s"; kill $wm; exit 1; }
    sleep 0.05
  done
  BRINMOOR_UNDER_WINDOW_MANAGER=1 QT_QPA_PLATFORM=xcb "$@"
  status=$?
  kill $wm
  wait $wm 2>/dev/null
  exit $status
' sh "$@"
