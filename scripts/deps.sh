# Debian packages Quillbox needs, and the one place that installs them. Sourced by run.sh and test.sh.
QUILLBOX_BUILD_PACKAGES="cmake g++ make pkg-config qt6-base-dev libcurl4-openssl-dev libpcre2-dev zlib1g-dev"
QUILLBOX_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libboost-dev \
xvfb xauth openbox trayer x11-utils xdotool iproute2 util-linux imagemagick appstream dpkg-dev file \
desktop-file-utils libxcb-damage0-dev"
QUILLBOX_RUN_PACKAGES="libqt6svg6 qt6-wayland fonts-dejavu-core"

# ensure_packages PKG...: installs what is missing (as root), or names the command to run.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
}
