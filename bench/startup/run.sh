#!/usr/bin/env bash
# Start-up benchmark of the real quillbox binary, measured from outside (bench/startup/probe):
#   1. exec to the first painted main window, quillbox with no accounts against an empty Qt Widgets
#      program of the same window size (bench/startup/empty), alternating, RUNS each;
#   2. the peak RSS of the same runs (each program ended with SIGTERM 300 ms after its first paint);
#   3. sign-in as the user sees it: from the main window receiving the focus (its activation) to the
#      first repaint of the editor after the emulator received activity.get, RUNS times.
# Everything runs in one Xvfb + openbox session inside a private network namespace with the
# emulator on port 80 (scripts/netns-run.sh), so no request leaves the machine.
#
#   bench/startup/run.sh [BUILD_DIR] [RUNS]      (defaults: build, 20)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if [ "${1:-}" != --inner ]; then
  build=$(realpath -m "${1:-$root/build}")
  runs=${2:-20}
  . scripts/deps.sh
  ensure_packages $QUILLBOX_BUILD_PACKAGES $QUILLBOX_TEST_PACKAGES $QUILLBOX_RUN_PACKAGES
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  # The empty program is built here, by the same compiler with the same flags as quillbox.
  cmake --build "$build" -j "$(nproc)" --target quillbox catalog_base startup_empty startup_probe vkemu e2e_acclst
  echo "build type: $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt"), $(grep -q '^QUILLBOX_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" && echo sanitizers ON || echo no sanitizers)"
  exec scripts/netns-run.sh -- scripts/xsession.sh -- "$0" --inner "$build" "$runs"
fi

build=$2
runs=$3
quillbox=$build/app/quillbox
empty=$build/bench/startup/startup_empty
probe=$build/bench/startup/startup_probe
work=$(mktemp -d /tmp/quillbox-bench.XXXXXX)
"$build/tools/vkemu/vkemu" --listen 127.0.0.1 --port 80 --demo --log "$work/vkemu.log" >"$work/vkemu.out" 2>&1 &
emu=$!
trap 'kill "$emu" 2>/dev/null || true; wait "$emu" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  grep -q '^PORT 80$' "$work/vkemu.out" 2>/dev/null && break
  sleep 0.05
done
grep -q '^PORT 80$' "$work/vkemu.out" || { echo "the emulator did not start" >&2; cat "$work/vkemu.out" >&2; exit 1; }
read -r _ _ login _ password < <(grep '^DEMO ' "$work/vkemu.out" | head -n1)

unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/quillbox-bench-bus

# fresh_home N: a new data and runtime folder, so every start is a first start.
fresh_home() {
  export XDG_DATA_HOME=$work/home$1/data XDG_RUNTIME_DIR=$work/home$1/run
  mkdir -p "$XDG_DATA_HOME/Quillbox" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }
median() { sort -n | awk '{v[NR]=$1} END {if (NR == 0) exit 1; print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
range() { sort -n | awk 'NR==1{lo=$1} {hi=$1} END {printf "%s .. %s", lo, hi}'; }

paint() {
  # paint TITLE PROGRAM: one measured start; appends "ms kb" to the file named by $out.
  local line
  line=$("$probe" paint --title "$1" --settle-ms 300 -- "$2") || { echo "probe failed for $2" >&2; exit 1; }
  echo "$(echo "$line" | field first_paint_ms) $(echo "$line" | field max_rss_kb)" >>"$out"
}

echo "warm-up (not counted)"
fresh_home w1; out=/dev/null paint "Quillbox 3.01" "$quillbox"
fresh_home w2; out=/dev/null paint "Empty Qt Widgets program" "$empty"

echo "start-up: $runs runs each, alternating"
for i in $(seq 1 "$runs"); do
  fresh_home "q$i"; out=$work/quillbox.txt paint "Quillbox 3.01" "$quillbox"
  fresh_home "e$i"; out=$work/empty.txt paint "Empty Qt Widgets program" "$empty"
done

failed=0
echo "sign-in: $runs runs against the emulator on loopback (account $login)"
for i in $(seq 1 "$runs"); do
  fresh_home "s$i"
  "$build/tests/e2e/e2e_acclst" "$XDG_DATA_HOME/Quillbox" "Demo" "$login" "$password"
  if line=$("$probe" signin --title "Quillbox 3.01" --log "$work/vkemu.log" --pattern "method=activity.get" \
    --settle-ms 100 -- "$quillbox"); then
    echo "$(echo "$line" | field signin_ms) $(echo "$line" | field server_ms)" >>"$work/signin.txt"
  else
    failed=$((failed + 1))
  fi
done

q_ms=$(cut -d' ' -f1 "$work/quillbox.txt" | median)
e_ms=$(cut -d' ' -f1 "$work/empty.txt" | median)
q_kb=$(cut -d' ' -f2 "$work/quillbox.txt" | median)
e_kb=$(cut -d' ' -f2 "$work/empty.txt" | median)
s_ms=$(cut -d' ' -f1 "$work/signin.txt" | median)
r_ms=$(cut -d' ' -f2 "$work/signin.txt" | median)
echo
printf '%-44s %10s %10s %8s %s\n' "" quillbox empty ratio goal
printf '%-44s %10.1f %10.1f %8.2f %s\n' "exec to first painted window, median ms" "$q_ms" "$e_ms" \
  "$(awk -v a="$q_ms" -v b="$e_ms" 'BEGIN{print a/b}')" "<= 1.20"
printf '%-44s %10.0f %10.0f %8.2f %s\n' "peak RSS, median KiB" "$q_kb" "$e_kb" \
  "$(awk -v a="$q_kb" -v b="$e_kb" 'BEGIN{print a/b}')" "<= 1.30"
echo "  first paint range ms: quillbox $(cut -d' ' -f1 "$work/quillbox.txt" | range), empty $(cut -d' ' -f1 "$work/empty.txt" | range)"
printf '%-44s %10.1f %21s %s\n' "sign-in, activation to status shown, median ms" "$s_ms" "" "< 50"
[ "$failed" -eq 0 ] || echo "  $failed sign-in run(s) could not be measured and are not counted"
echo "  sign-in range $(cut -d' ' -f1 "$work/signin.txt" | range) ms; activation to activity.get at the emulator: median $r_ms ms"
