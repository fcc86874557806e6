#!/usr/bin/env bash
# Builds and starts the program; arguments are passed to it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec ./build/app/viro "$@"
