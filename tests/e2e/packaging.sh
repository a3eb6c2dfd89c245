#!/usr/bin/env bash
# Installs the built tree as a user's machine would get it and checks the result: the layout of
# cmake --install, the desktop entry and AppStream metainfo as their validators see them, and a
# Debian package from cpack (built from that installed tree) that dpkg installs into a private
# root with a copy of this machine's package database, so its dependencies are checked for
# real. Then the installed program is started through its bin/ link inside the end-to-end harness.
#
#   tests/e2e/packaging.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
id=io.github.quillbox.Quillbox
work=$(mktemp -d /tmp/quillbox-pkg.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

check_tree() {
  local r=$1
  [ -x "$r/usr/lib/quillbox/quillbox" ] || fail "$r/usr/lib/quillbox/quillbox missing"
  [ -L "$r/usr/bin/quillbox" ] || fail "$r/usr/bin/quillbox is not a link"
  [ "$(readlink "$r/usr/bin/quillbox")" = "../lib/quillbox/quillbox" ] ||
    fail "usr/bin/quillbox points to $(readlink "$r/usr/bin/quillbox")"
  [ "$(readlink -f "$r/usr/bin/quillbox")" = "$(readlink -f "$r/usr/lib/quillbox/quillbox")" ] ||
    fail "usr/bin/quillbox does not resolve to the program"
  local n
  for n in love humor razluka depress brain forgirl pafos formen sex other; do
    [ -s "$r/usr/lib/quillbox/Base/$n.txt" ] || fail "Base/$n.txt missing beside the program"
  done
  [ -f "$r/usr/share/applications/$id.desktop" ] || fail "desktop entry missing"
  [ -f "$r/usr/share/metainfo/$id.metainfo.xml" ] || fail "metainfo missing"
  [ -f "$r/usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "scalable icon missing"
  for n in 48 128 256; do
    local png="$r/usr/share/icons/hicolor/${n}x${n}/apps/$id.png"
    [ -f "$png" ] || fail "$n px icon missing"
    file "$png" | grep -q "PNG image data, $n x $n" || fail "$png is not a $n x $n PNG"
  done
}

echo "== cmake --install"
DESTDIR=$work/stage cmake --install "$build" --prefix /usr --strip >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
check_tree "$work/stage"
desktop=$work/stage/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
grep -qx "StartupWMClass=Quillbox" "$desktop" || fail "StartupWMClass=Quillbox missing"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry names another icon"
grep -qx "Exec=quillbox" "$desktop" || fail "the desktop entry starts something else"
appstreamcli validate --no-net "$work/stage/usr/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli rejects the metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$work/stage/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo does not name the desktop entry"

echo "== cpack -G DEB"
# The package's configuration as cmake wrote it, filled from the tree installed above: cpack's
# own install step would first build every target of the build tree.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" \
  -D CPACK_INSTALL_CMAKE_PROJECTS= -D "CPACK_INSTALLED_DIRECTORIES=$work/stage;." >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/cpack/quillbox_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "cpack made no quillbox_*.deb"
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Depends
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 || fail "the package does not depend on Qt Widgets"

echo "== dpkg -i into a private root"
mkdir -p "$work/root" "$work/admin/updates" "$work/admin/info"
cp /var/lib/dpkg/status "$work/admin/status"
dpkg --force-not-root --force-script-chrootless --instdir="$work/root" --admindir="$work/admin" \
  --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
dpkg --admindir="$work/admin" -s quillbox | grep -q "Status: install ok installed" || fail "dpkg does not list quillbox as installed"
check_tree "$work/root"

echo "== the installed program starts through its link"
# Inside the private network namespace: the program asks the update server at start.
export XDG_DATA_HOME=$work/home/data XDG_RUNTIME_DIR=$work/home/run
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
set +e
"$src/scripts/netns-run.sh" -- "$src/scripts/xsession.sh" -- \
  "$src/scripts/screenshot.sh" --delay 0.5 "$work/installed.png" -- "$work/root/usr/bin/quillbox"
rc=$?
set -e
if [ "$rc" -eq 77 ]; then
  echo "SKIPPED: the installed tree and package are fine, but the installed program could not be started" >&2
  echo "SKIPPED: without a private network namespace (it would contact the real update server)." >&2
  exit 77
fi
[ "$rc" -eq 0 ] || fail "the installed program did not show its main window and end cleanly"
[ -s "$XDG_DATA_HOME/Quillbox/Options.xml" ] || fail "the installed program wrote no Options.xml at its end"
echo "packaging: all checks passed"
