#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test through ctest.
# Then runs the suite again under AddressSanitizer + UndefinedBehaviorSanitizer
# (build-asan/), the link tests under ThreadSanitizer (build-tsan/), and the
# fuzz targets (build-fuzz/, clang and libFuzzer), each for
# QUENBAR_FUZZ_SECONDS (default 30) after replaying its seed corpus.
#   ./test.sh            everything
#   QUENBAR_QUICK=1 ./test.sh   the plain build only
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

ensure_packages
export QT_QPA_PLATFORM=offscreen

echo "== build/: the whole suite"
configure_and_build build
ctest --test-dir build --output-on-failure -j "$(nproc)"

[ "${QUENBAR_QUICK:-0}" = 1 ] && exit 0

echo "== build-tsan/: the link, command-line and soak tests under ThreadSanitizer"
configure_and_build build-tsan -DQUENBAR_SANITIZE=thread -DQUENBAR_DESKTOP=OFF -DQUENBAR_BENCHMARKS=OFF
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
