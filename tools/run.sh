#!/usr/bin/env bash
# Builds the tool and starts it. The first time, the port box holds the virtual module (the
# simulated module inside the tool), so it can be tried with no hardware; choose a real port in
# the box to talk to a module.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target zem

cfg=build/ZEM.cfg
if [ ! -f "$cfg" ] || ! grep -qi '^Port=' "$cfg"; then
  # The file is Windows-1251, as the Windows tool keeps it.
  printf '[MainForm]\r\nPort=%s\r\n' "Виртуальный модуль (демонстрация)" | iconv -f UTF-8 -t CP1251 >>"$cfg"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running in a virtual X server (xvfb-run)." >&2
  xvfb-run -a build/zem
else
  build/zem
fi
