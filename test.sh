#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole plain suite
# through ctest.
#   ./test.sh         the plain suite
#   ./test.sh --all   then the slower stages: the benchmarks' build, the Debian
#                     package of a Release build (build-package/: made, checked
#                     with lintian, installed, used and removed), the suite again under
#                     AddressSanitizer + UndefinedBehaviorSanitizer
#                     (build-asan/), the link, command-line and soak tests
#                     under ThreadSanitizer (build-tsan/), the remote's page
#                     in headless Chromium (build/, label browser), and the fuzz
#                     targets (build-fuzz/, clang and libFuzzer), each for
#                     QUENBAR_FUZZ_SECONDS (default 30) after replaying its
#                     seed corpus, and the Windows build: the core, its tests
#                     and quenbar-cli.exe built with MinGW-w64 (build-mingw/),
#                     the core's tests under Wine, and quenbar-cli.exe under
#                     Wine against the emulated unit beside the Linux
#                     quenbar-cli (in build/)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

case "${1:-}" in
  "") stages=plain ;;
  --all) stages=all ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

ensure_packages
export QT_QPA_PLATFORM=offscreen

# Each stage, and the build and the tests in it, say how long they took.
stage_name="" stage_start=$SECONDS
stage() {
  end_stage
  stage_name="$1" stage_start=$SECONDS
  echo "== $1: $2"
}
end_stage() {
  [ -z "$stage_name" ] || echo "== $stage_name took $((SECONDS - stage_start)) s (${SECONDS} s in all)"
  stage_name=""
}
trap end_stage EXIT
timed() {
  local what="$1" start=$SECONDS
  shift
  "$@"
  echo "== $stage_name $what took $((SECONDS - start)) s"
}

# run_suite DIR [LABEL]: every test in DIR but those of LABEL. The sound
# tests (label audio) play in real time, and get one try each: a
# measurement's stream must hold on every server. Each sound test program
# has a private server of its own (its tests run one at a time on it), and
# the programs run side by side: they wait on the sound card's clock, not on
# the processor, so they are more than the cores (QUENBAR_SOUND_JOBS).
run_suite() {
  local dir="$1"
  timed tests ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" -LE "audio${2:+|$2}"
  timed "sound tests" ctest --test-dir "$dir" --output-on-failure -j "${QUENBAR_SOUND_JOBS:-$((2 * $(nproc)))}" \
    -L audio ${2:+-LE "$2"}
}

stage build/ "the whole suite"
timed build configure_and_build build -DQUENBAR_BROWSER_TESTS=OFF -DQUENBAR_BENCHMARKS=OFF
run_suite build

[ "$stages" = all ] || exit 0

stage browser "the benchmarks build, and the remote's page in Debian's headless Chromium (build/)"
ensure_packages chromium chromium-driver
cmake -S . -B build -DQUENBAR_BROWSER_TESTS=ON -DQUENBAR_BENCHMARKS=ON >/dev/null
timed build cmake --build build -j "$(nproc)"
timed tests ctest --test-dir build --output-on-failure -L browser
# The plain suite goes without them (./bench.sh builds the benchmarks in build-bench/).
cmake -S . -B build -DQUENBAR_BROWSER_TESTS=OFF -DQUENBAR_BENCHMARKS=OFF >/dev/null

stage build-package/ "a Release build, its Debian package made, installed, used and removed"
ensure_packages "${QUENBAR_PACKAGING_PACKAGES[@]}"
# Only the programs and the package's files are built: cpack then installs
# them without building the tests.
configure_build build-package -DCMAKE_BUILD_TYPE=Release -DQUENBAR_BENCHMARKS=OFF \
  -DQUENBAR_PACKAGE_TESTS=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
timed build cmake --build build-package -j "$(nproc)" \
  --target quenbar quenbar-cli rx74-emulator quenbar_manual_pages quenbar_debian_changelog
timed tests ctest --test-dir build-package --output-on-failure -L package

stage build-tsan/ "the link, command-line and soak tests under ThreadSanitizer"
# Qt is not built for ThreadSanitizer: the report library (Qt GUI) stays out.
# Only the programs of the tests it runs are built.
configure_build build-tsan -DQUENBAR_SANITIZE=thread -DQUENBAR_DESKTOP=OFF -DQUENBAR_REPORT=OFF \
  -DQUENBAR_BENCHMARKS=OFF
timed build cmake --build build-tsan -j "$(nproc)" --target tests_link tests_cli tests_soak
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  timed tests ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -L '^(link|cli|soak)$'

stage build-asan/ "the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer"
timed build configure_and_build build-asan -DQUENBAR_SANITIZE=address,undefined -DQUENBAR_BENCHMARKS=OFF
(
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  # Sanitised programs spend two to three times the processor: more of them
  # than the cores starve the sound servers, whose losses then cost sweeps
  # played again (twice in a row in two runs at twice the cores).
  export QUENBAR_SOUND_JOBS="${QUENBAR_SOUND_JOBS:-$(nproc)}"
  # The sound loops test the servers' parts against the stream, which the
  # other sound tests run under the sanitizers already.
  run_suite build-asan soundloops
)

stage build-fuzz/ "the fuzz targets, corpus replay then ${QUENBAR_FUZZ_SECONDS:-30}s of fuzzing each"
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ configure_build build-fuzz -DQUENBAR_FUZZERS=ON -DQUENBAR_DESKTOP=OFF \
    -DQUENBAR_BENCHMARKS=OFF -DQUENBAR_FUZZ_SECONDS="${QUENBAR_FUZZ_SECONDS:-30}"
  timed build cmake --build build-fuzz --target fuzzers -j "$(nproc)"
  timed tests ctest --test-dir build-fuzz --output-on-failure -j "$(nproc)" -L fuzz
else
  echo "clang++ not found: fuzz targets skipped"
fi

stage build-mingw/ "the core, its tests and quenbar-cli.exe for 64-bit Windows, the tests under Wine"
ensure_packages "${QUENBAR_WINDOWS_PACKAGES[@]}"
timed build configure_and_build build-mingw --toolchain cmake/mingw-w64-x86_64.cmake
timed tests ctest --test-dir build-mingw --output-on-failure -j "$(nproc)"
rm -f build-mingw/Quenbar-*-win64.*
(cd build-mingw && cpack)  # the 64-bit NSIS installer and the ZIP of the same files

stage wine "the Windows installer under Wine, and the quenbar-cli.exe it installed against the emulated unit,
   beside the Linux quenbar-cli (build/); then its uninstaller"
installer=$(ls build-mingw/Quenbar-*-win64.exe)
prefix="$PWD/build-mingw/wine-prefix"
cmake -S . -B build -DQUENBAR_WINE_PREFIX="$prefix" -DQUENBAR_WINDOWS_INSTALLER="$PWD/$installer" \
  -DQUENBAR_WINDOWS_CLI="$prefix/drive_c/Program Files/Quenbar/quenbar-cli.exe" >/dev/null
timed build cmake --build build --target cli_windows_tests cli_windows_serve_tests measure_wine_tests -j "$(nproc)"
timed tests ctest --test-dir build --output-on-failure -j "$(nproc)" -L wine
# The plain suite goes without them.
cmake -S . -B build -DQUENBAR_WINDOWS_CLI= -DQUENBAR_WINDOWS_INSTALLER= -UQUENBAR_WINE_PREFIX >/dev/null
