#!/usr/bin/env bash
# Runs a command inside a private headless X session: Xvfb on a free display, openbox as window
# manager (without one no window is ever activated) and, with --tray, trayer as notification area.
# No D-Bus session bus is offered, so Qt uses the X11 tray protocol.
#
#   scripts/xsession.sh [--tray] [--size WIDTHxHEIGHT] -- command [args...]
#
# The command sees DISPLAY; its exit code is the script's. Everything started here is stopped
# afterwards.
set -euo pipefail

usage() {
  echo "usage: $0 [--tray] [--size WIDTHxHEIGHT] -- command [args...]" >&2
  exit 2
}

tray=0
size=1280x800
while [ $# -gt 0 ]; do
  case "$1" in
    --tray) tray=1; shift ;;
    --size) [ $# -ge 2 ] || usage; size="$2"; shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage

for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null 2>&1 || { echo "xsession: '$tool' is missing (packages xvfb, openbox, x11-utils)" >&2; exit 1; }
done
if [ "$tray" -eq 1 ]; then
  command -v trayer >/dev/null 2>&1 || { echo "xsession: 'trayer' is missing (package trayer)" >&2; exit 1; }
fi

work=$(mktemp -d /tmp/quillbox-x.XXXXXX)
pids=()
cleanup() {
  local p
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    p=${pids[$i]}
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# -displayfd lets Xvfb pick a free display and tells us which once it accepts connections.
Xvfb -displayfd 5 -screen 0 "${size}x24" -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 1 200); do
  [ -s "$work/display" ] && break
  kill -0 "${pids[0]}" 2>/dev/null || { echo "xsession: Xvfb failed:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.05
done
[ -s "$work/display" ] || { echo "xsession: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORM
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
# openbox announces itself on the root window once it manages the screen.
for _ in $(seq 1 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
  { echo "xsession: openbox did not start:" >&2; cat "$work/openbox.log" >&2; exit 1; }

if [ "$tray" -eq 1 ]; then
  trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    --transparent false --expand true >"$work/trayer.log" 2>&1 &
  pids+=($!)
  # The tray host owns the selection _NET_SYSTEM_TRAY_S0 once it accepts icons; trayer's own
  # window appears at the same moment.
  for _ in $(seq 1 200); do
    xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done
fi

set +e
"$@"
rc=$?
set -e
exit $rc
