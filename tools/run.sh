#!/usr/bin/env bash
# Builds the tool and starts it. A simulated module answers on a pseudo-terminal whose stable name
# is build/ttyZEM-SIM; it is preselected unless the operator has chosen another port before.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target zem zem-sim

sim_link="$PWD/build/ttyZEM-SIM"
build/sim/zem-sim --link "$sim_link" --memory build/zem-sim-memory.bin >/dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$sim_link" ] && break; sleep 0.1; done

cfg=build/ZEM.cfg
if [ ! -f "$cfg" ] || ! grep -qi '^\[MainForm\]' "$cfg"; then
  printf '[MainForm]\r\nPort=%s\r\n' "$sim_link" >>"$cfg"
elif ! grep -qi '^Port=' "$cfg"; then
  sed -i "/^\[[Mm][Aa][Ii][Nn][Ff][Oo][Rr][Mm]\]/a Port=$sim_link\r" "$cfg"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running in a virtual X server (xvfb-run)." >&2
  xvfb-run -a build/zem
else
  build/zem
fi
