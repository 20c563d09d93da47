#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

ensure_packages
configure_and_build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
