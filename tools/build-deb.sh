#!/usr/bin/env bash
# Builds the tool and makes the Debian package in build/dist/, then checks it with lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target zem zem_docs
rm -f build/dist/zem_*.deb
(cd build && cpack -G DEB -B dist >/dev/null)
deb=$(ls build/dist/zem_*.deb)
# The package is checked as root would install it; lintian's errors fail the build.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$deb"
