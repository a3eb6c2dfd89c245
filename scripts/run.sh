#!/usr/bin/env bash
# Installs what is missing, builds Quillbox and starts it.
#
#   scripts/run.sh          start Quillbox on your display; on a machine without one (neither
#                           DISPLAY nor WAYLAND_DISPLAY) start it under Xvfb, save a screenshot of
#                           the main window, print its path and end the program.
#   scripts/run.sh --demo   the same against a local VK emulator instead of the real servers, in a
#                           private network namespace where VK's and the update server's names lead
#                           to 127.0.0.1; a demo account is printed for you to add.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

mode=run
case "${1:-}" in
  "") ;;
  --demo) mode=demo ;;
  --demo-inner) mode=demo-inner ;;
  -h | --help) usage ;;
  *) usage ;;
esac

build=$root/build
quillbox=$build/app/quillbox
vkemu=$build/tools/vkemu/vkemu
acclst=$build/tests/e2e/e2e_acclst
demo_dir=$build/demo

shot_path() {
  echo "$root/artifacts/quillbox-$(date +%Y%m%d-%H%M%S).png"
}

headless_run() {
  # headless_run OUT.png [screenshot options...] -- program: the program under Xvfb and openbox.
  local out=$1
  shift
  if scripts/xsession.sh -- scripts/screenshot.sh "$@" "$out" -- "$quillbox"; then
    echo "Screenshot of the main window: $out"
  else
    echo "run.sh: the headless run failed (see above)" >&2
    return 1
  fi
}

emulator_state() {
  # The emulator's control page, fetched with bash alone.
  exec 3<>/dev/tcp/127.0.0.1/80
  printf 'GET /__emu/state HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
  sed '1,/^\r$/d' <&3
  exec 3<&-
}

# The part of the demo that runs inside the private namespace (see scripts/netns-run.sh).
if [ "$mode" = demo-inner ]; then
  display_mode=$2
  mkdir -p "$demo_dir/data" "$demo_dir/run"
  chmod 700 "$demo_dir/run"
  : >"$demo_dir/vkemu.log"
  "$vkemu" --listen 127.0.0.1 --port 80 --demo --log "$demo_dir/vkemu.log" >"$demo_dir/vkemu.out" 2>&1 &
  emu=$!
  trap 'kill "$emu" 2>/dev/null || true; wait "$emu" 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    grep -q '^PORT ' "$demo_dir/vkemu.out" 2>/dev/null && break
    kill -0 "$emu" 2>/dev/null || { echo "run.sh: the emulator did not start:" >&2; cat "$demo_dir/vkemu.out" >&2; exit 1; }
    sleep 0.05
  done
  grep -q '^PORT 80$' "$demo_dir/vkemu.out" || { echo "run.sh: the emulator could not listen on port 80" >&2; exit 1; }
  # The emulator names its demo accounts: "DEMO login L password P".
  read -r _ _ demo_login _ demo_password < <(grep '^DEMO ' "$demo_dir/vkemu.out" | head -n1)
  echo "  Demo account:  login $demo_login   password $demo_password"
  grep '^DEMO ' "$demo_dir/vkemu.out" | tail -n +2 | sed 's/^DEMO /  Another one:   /'
  if [ "$display_mode" = display ]; then
    echo "  Press \"Добавить пользователя\" and sign in with it; close Quillbox to end the demo."
  fi
  # A private data and runtime folder: the demo never touches your own accounts and never hands
  # over to a Quillbox you are running outside the demo.
  export XDG_DATA_HOME=$demo_dir/data XDG_RUNTIME_DIR=$demo_dir/run
  unset DBUS_SESSION_BUS_ADDRESS
  if [ "$display_mode" = headless ]; then
    unset DISPLAY WAYLAND_DISPLAY
    # Headless nobody can type into the login dialog: save the demo account beforehand, under the
    # name the emulator's profile gives it.
    if [ ! -s "$demo_dir/data/Quillbox/acc.lst" ]; then
      name=$(emulator_state | sed -n 's/.*"first_name":"\([^"]*\)","last_name":"\([^"]*\)","login":"'"$demo_login"'".*/\1 \2/p')
      "$acclst" "$demo_dir/data/Quillbox" "${name:-$demo_login}" "$demo_login" "$demo_password"
    fi
    headless_run "$(shot_path)" --wait-log "$demo_dir/vkemu.log" "activity.get" --delay 1
  else
    "$quillbox"
  fi
  exit $?
fi

. scripts/deps.sh
ensure_packages $QUILLBOX_BUILD_PACKAGES $QUILLBOX_TEST_PACKAGES $QUILLBOX_RUN_PACKAGES

# The same configuration as scripts/test.sh, so that the two share one build folder.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(quillbox catalog_base)
[ "$mode" = demo ] && targets+=(vkemu e2e_acclst)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

if [ "$mode" = run ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$quillbox"
  fi
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY): starting Quillbox under Xvfb."
  headless_run "$(shot_path)" --delay 2
  exit $?
fi

# --demo: decide how the program inside the namespace can reach a display. A local X server's
# socket in /tmp/.X11-unix (and a Wayland socket) is a file, reachable from any network namespace;
# a display reached over TCP (ssh -X, DISPLAY=host:0) is not.
display_mode=headless
if [ -n "${DISPLAY:-}" ]; then
  if [[ "$DISPLAY" =~ ^(unix)?:([0-9]+)(\.[0-9]+)?$ ]] && [ -S "/tmp/.X11-unix/X${BASH_REMATCH[2]}" ]; then
    display_mode=display
  else
    echo "The X display $DISPLAY is reached over TCP, which the demo's private network namespace cannot reach;"
    echo "the demo runs headless instead and saves a screenshot."
  fi
elif [ -n "${WAYLAND_DISPLAY:-}" ]; then
  socket=$WAYLAND_DISPLAY
  [[ "$socket" = /* ]] || socket=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$socket
  if [ -S "$socket" ]; then
    # Absolute, because the demo gives the program a runtime folder of its own.
    export WAYLAND_DISPLAY=$socket
    display_mode=display
  fi
fi

echo "Demo: a local VK emulator plays VK, the update server and the statistics collector."
echo "  Demo data folder: $demo_dir/data/Quillbox (the emulator's record: $demo_dir/vkemu.log)"
set +e
scripts/netns-run.sh -- "$0" --demo-inner "$display_mode"
rc=$?
set -e
if [ "$rc" -eq 77 ]; then
  echo "run.sh: the demo needs a private network namespace; run it as root or enable user namespaces." >&2
fi
exit $rc
