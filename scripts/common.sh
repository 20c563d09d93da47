# Shared by run.sh, test.sh and the other scripts: what the project needs
# from Debian, and how it is configured and built.

QUENBAR_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev qt6-svg-dev
  libcli11-dev nlohmann-json3-dev libkissfft-dev
  libboost-dev libqrencode-dev
  librtaudio-dev libpulse-dev libsndfile1-dev pulseaudio pulseaudio-utils
  pipewire pipewire-pulse wireplumber dbus-daemon
  libgtest-dev libgmock-dev libbenchmark-dev poppler-utils ser2net
  clang libclang-rt-14-dev lld
)

# Only the package stage of ./test.sh --all needs these: the manual pages,
# the package's dependencies and the checks of the package and its metainfo.
QUENBAR_PACKAGING_PACKAGES=(help2man dpkg-dev lintian appstream desktop-file-utils)

# Only the Windows stage of ./test.sh --all needs these: MinGW-w64 (posix
# threads, for std::thread), 64-bit Wine, and GoogleTest's sources to build
# it for Windows.
QUENBAR_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 googletest nsis)

# Installs whatever of the project's packages is missing (as root, or via sudo).
ensure_packages() {
  local missing=()
  for p in "${QUENBAR_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build DIR [cmake options...]
# The project's own builds treat warnings as errors.
configure_and_build() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja -DQUENBAR_WERROR=ON "$@"
  cmake --build "$dir" -j "$(nproc)"
}
