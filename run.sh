#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the program from its
# runtime folder.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh

BUILD_DIR=${TRAXEL_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR"

if [ ! -x "$BUILD_DIR/runtime/TRAXEL" ]; then
  echo "Built the libraries, tests and tools. The program entry (the TRAXEL executable) is not built yet, so there is nothing to start."
  exit 1
fi
cd "$BUILD_DIR/runtime"
exec ./TRAXEL "$@"
