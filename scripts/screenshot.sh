#!/usr/bin/env bash
# Starts a program on the current X display, saves a PNG of its window (with the window manager's
# frame) once it is shown, and ends the program with SIGTERM, as a session end would.
#
#   scripts/screenshot.sh [--title TITLE] [--wait-log FILE TEXT] [--delay SECONDS] OUT.png -- program [args...]
#
# --wait-log waits (up to 20 s) until TEXT appears in FILE before the picture is taken, for
# example until a server has answered the program. Exits non-zero when no picture was taken or the
# program did not end cleanly.
set -euo pipefail

title="Quillbox 3.01"
waitfile=""
waittext=""
delay=1
while [ $# -gt 0 ]; do
  case "$1" in
    --title) title="$2"; shift 2 ;;
    --wait-log) waitfile="$2"; waittext="$3"; shift 3 ;;
    --delay) delay="$2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -ge 3 ] && [ "$2" = "--" ] || { echo "usage: $0 [--title T] [--wait-log FILE TEXT] [--delay S] OUT.png -- program [args...]" >&2; exit 2; }
out=$1
shift 2

"$@" &
pid=$!
stop() {
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid"
  else
    wait "$pid"
  fi
}

# xdotool's regular expression must match the whole title, not a part of it.
pattern="^$(printf '%s' "$title" | sed 's/[][\.*^$(){}+?|/]/\\&/g')\$"
if ! wid=$(timeout 20 xdotool search --sync --onlyvisible --name "$pattern" 2>/dev/null | head -n1) || [ -z "$wid" ]; then
  echo "screenshot: no window titled \"$title\" appeared within 20 s" >&2
  stop || true
  exit 1
fi
if [ -n "$waitfile" ]; then
  for _ in $(seq 1 200); do
    grep -qF -- "$waittext" "$waitfile" 2>/dev/null && break
    sleep 0.1
  done
  grep -qF -- "$waittext" "$waitfile" 2>/dev/null || echo "screenshot: \"$waittext\" did not appear in $waitfile; taking the picture anyway" >&2
fi
sleep "$delay"
mkdir -p "$(dirname "$out")"
shot=0
import -frame -window "$wid" "png:$out" 2>/dev/null && shot=1
set +e
stop
rc=$?
set -e
if [ "$shot" -ne 1 ]; then
  echo "screenshot: import could not capture window $wid" >&2
  exit 1
fi
if [ "$rc" -ne 0 ]; then
  echo "screenshot: the program ended with exit code $rc" >&2
  exit "$rc"
fi
