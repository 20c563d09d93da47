# Shared by run.sh, test.sh and the other scripts: what the project needs
# from Debian, and how it is configured and built.

QUENBAR_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev qt6-svg-dev
  libcli11-dev nlohmann-json3-dev libkissfft-dev
  libboost-dev libqrencode-dev
  librtaudio-dev libpulse-dev pulseaudio pulseaudio-utils sox
  pipewire pipewire-pulse wireplumber dbus-daemon
  libgtest-dev libgmock-dev libbenchmark-dev poppler-utils ser2net
  clang libclang-rt-14-dev lld ccache
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

# The project's own builds go through ccache, its cache kept between runs
# (in ~/.cache/ccache): a second run on the same machine, or a second work
# tree, compiles only what changed. Paths below the checkout's parent are
# hashed relative to it, so that two checkouts share their objects; the
# precompiled Qt header is cached too (its defines and time macros are the
# build's own).
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export CCACHE_NOHASHDIR=1
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-12G}"

# configure_build DIR [cmake options...]: the project's own builds treat
# warnings as errors, and go through ccache once it is installed.
configure_build() {
  local dir="$1"; shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja -DQUENBAR_WERROR=ON "${launcher[@]}" "$@"
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
  configure_build "$@"
  cmake --build "$1" -j "$(nproc)"
}
