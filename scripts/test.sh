#!/usr/bin/env bash
# Builds and runs the whole test suite through CTest, with no display needed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2
