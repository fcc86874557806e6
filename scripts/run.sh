#!/usr/bin/env bash
# Builds and starts the program; arguments are passed to it. Without a real probe plugged in
# (viro-cli probe info exits with 1) the program starts with a simulated one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
simulate=()
status=0
./build/cli/viro-cli probe info >/dev/null 2>&1 || status=$?
if [ "$status" -eq 1 ]; then
  case " $* " in
    *" --simulate-probe "*) ;;
    *) simulate=(--simulate-probe) ;;
  esac
fi
exec ./build/app/viro "${simulate[@]}" "$@"
