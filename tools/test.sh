#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the Linux ones, then the
# Windows ones under wine (tools/test-windows.sh; skipped, saying so, without a Qt for MinGW).
# Arguments go to the Linux ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2 "$@"
tools/test-windows.sh
