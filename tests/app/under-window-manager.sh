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
  log=$(mktemp)
  trap "rm -f \"\$log\"" EXIT
  # The work area is the last thing the window manager publishes on starting;
  # a loaded machine can take seconds to get there. An openbox that quits at
  # once (seen now and then on a server just started) is started again.
  starts=0
  tries=0
  wm=
  until xprop -root _NET_WORKAREA 2>/dev/null | grep -q "= "; do
    if [ -z "$wm" ] || ! kill -0 "$wm" 2>/dev/null; then
      starts=$((starts + 1))
      [ $starts -gt 5 ] && { echo "openbox quit five times:"; cat "$log"; exit 1; }
      openbox --sm-disable >>"$log" 2>&1 &
      wm=$!
    fi
    tries=$((tries + 1))
    [ $tries -gt 600 ] && { echo "openbox did not start in 30 s:"; cat "$log"; kill $wm; exit 1; }
    sleep 0.05
  done
  BRINMOOR_UNDER_WINDOW_MANAGER=1 QT_QPA_PLATFORM=xcb "$@"
  status=$?
  kill $wm
  wait $wm 2>/dev/null
  exit $status
' sh "$@"
