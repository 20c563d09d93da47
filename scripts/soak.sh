#!/usr/bin/env bash
# The full soak: parameter messages and connect sequences through the real
# transport against the emulated unit under a seeded mix of line faults.
#   scripts/soak.sh [messages] [connects] [seed]
# Defaults: 100000 messages, 1000 connect sequences. CI runs a short version
# through ctest (label "soak").
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

export QUENBAR_SOAK_MESSAGES="${1:-${QUENBAR_SOAK_MESSAGES:-100000}}"
export QUENBAR_SOAK_CONNECTS="${2:-${QUENBAR_SOAK_CONNECTS:-1000}}"
[ $# -ge 3 ] && export QUENBAR_SOAK_SEED="$3"

ensure_packages
cmake -S . -B "${QUENBAR_SOAK_DIR:-build-soak}" -G Ninja -DQUENBAR_DESKTOP=OFF -DQUENBAR_BENCHMARKS=OFF >/dev/null
cmake --build "${QUENBAR_SOAK_DIR:-build-soak}" --target soak_tests -j "$(nproc)"
echo "== soak: $QUENBAR_SOAK_MESSAGES parameter messages, $QUENBAR_SOAK_CONNECTS connect sequences"
time "${QUENBAR_SOAK_DIR:-build-soak}"/bin/soak_tests
