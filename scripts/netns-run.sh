#!/usr/bin/env bash
# Runs a command in a private mount and network namespace: only the loopback interface exists, and
# a hosts file bind-mounted over /etc/hosts sends Quillbox's fixed host names to 127.0.0.1. Nothing
# the command does can reach another machine.
#
#   scripts/netns-run.sh [--hosts "name name ..."] -- command [args...]
#
# As root the namespaces are created directly; otherwise through a user namespace (the caller
# appears as root inside it). Exits 77 when the machine allows neither, so ctest reports a skip.
set -euo pipefail

QUILLBOX_HOSTS_DEFAULT="login.vk.com vk.com api.vk.com quillbox.example www.google-analytics.com"

usage() {
  echo "usage: $0 [--hosts \"name ...\"] -- command [args...]" >&2
  exit 2
}

inner=0
hosts="$QUILLBOX_HOSTS_DEFAULT"
while [ $# -gt 0 ]; do
  case "$1" in
    --inner) inner=1; shift ;;
    --hosts) [ $# -ge 2 ] || usage; hosts="$2"; shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage

if [ "$inner" -eq 0 ]; then
  for tool in unshare ip mount; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "netns-run: '$tool' is missing (packages util-linux, iproute2, mount)" >&2
      exit 77
    fi
  done
  self=$(readlink -f "$0")
  if [ "$(id -u)" -eq 0 ]; then
    mode=(--mount --net)
  else
    mode=(--user --map-root-user --mount --net)
  fi
  # Probe first, so that a refusal is told apart from a failure of the command itself.
  if ! err=$(unshare "${mode[@]}" true 2>&1); then
    echo "netns-run: this machine cannot create a private network namespace (unshare ${mode[*]}: $err)." >&2
    echo "netns-run: run as root, or enable unprivileged user namespaces (sysctl kernel.unprivileged_userns_clone=1)." >&2
    exit 77
  fi
  exec unshare "${mode[@]}" -- "$self" --inner --hosts "$hosts" -- "$@"
fi

ip link set lo up
hostsdir=$(mktemp -d /tmp/quillbox-hosts.XXXXXX)
trap 'rm -rf "$hostsdir"' EXIT
{
  echo "127.0.0.1 localhost"
  echo "::1 localhost"
  for h in $hosts; do echo "127.0.0.1 $h"; done
} >"$hostsdir/hosts"
chmod 644 "$hostsdir/hosts"
mount --bind "$hostsdir/hosts" /etc/hosts
# The command runs as a child (not exec) so that the hosts file is removed afterwards.
set +e
"$@"
rc=$?
umount /etc/hosts 2>/dev/null
exit $rc
