#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole plain suite
# through ctest.
#   ./test.sh         the plain suite
#   ./test.sh --all   then the slower stages: the suite again under
#                     AddressSanitizer + UndefinedBehaviorSanitizer
#                     (build-asan/), the link, command-line and soak tests
#                     under ThreadSanitizer (build-tsan/), and the fuzz
#                     targets (build-fuzz/, clang and libFuzzer), each for
#                     QUENBAR_FUZZ_SECONDS (default 30) after replaying its
#                     seed corpus, and the Windows build: the core, its tests
#                     and quenbar-cli.exe built with MinGW-w64 (build-mingw/),
#                     and the core's tests under Wine
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

echo "== build/: the whole suite"
configure_and_build build
ctest --test-dir build --output-on-failure -j "$(nproc)"

[ "$stages" = all ] || exit 0

echo "== build-tsan/: the link, command-line and soak tests under ThreadSanitizer"
# Qt is not built for ThreadSanitizer: the report library (Qt GUI) stays out.
configure_and_build build-tsan -DQUENBAR_SANITIZE=thread -DQUENBAR_DESKTOP=OFF -DQUENBAR_REPORT=OFF \
  -DQUENBAR_BENCHMARKS=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -L 'link|cli|soak'

echo "== build-asan/: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build build-asan -DQUENBAR_SANITIZE=address,undefined -DQUENBAR_BENCHMARKS=OFF
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

echo "== build-fuzz/: the fuzz targets, corpus replay then ${QUENBAR_FUZZ_SECONDS:-30}s of fuzzing each"
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUENBAR_FUZZERS=ON -DQUENBAR_DESKTOP=OFF \
    -DQUENBAR_BENCHMARKS=OFF -DQUENBAR_FUZZ_SECONDS="${QUENBAR_FUZZ_SECONDS:-30}"
  cmake --build build-fuzz --target fuzzers -j "$(nproc)"
  ctest --test-dir build-fuzz --output-on-failure -j "$(nproc)" -L fuzz
else
  echo "clang++ not found: fuzz targets skipped"
fi

echo "== build-mingw/: the core, its tests and quenbar-cli.exe for 64-bit Windows, the tests under Wine"
ensure_packages "${QUENBAR_WINDOWS_PACKAGES[@]}"
configure_and_build build-mingw --toolchain cmake/mingw-w64-x86_64.cmake
ctest --test-dir build-mingw --output-on-failure -j "$(nproc)"
