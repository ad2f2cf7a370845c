#!/usr/bin/env bash
# Cross-builds for Windows (tools/build-windows.sh: the zip and the installer) and runs the Windows
# tests under wine in a temporary wine prefix, with the Linux zem-sim behind COM1 for the serial
# port's test; the installer's tests, the production line's and the catalogue's make their own.
# Arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source tools/qt-mingw.sh
if [ -z "$qt" ] && [ "${ZEM_REQUIRE_WINDOWS:-0}" != 1 ]; then
  echo "Windows tests skipped: no Qt for MinGW (set ZEM_QT_MINGW to its folder)." >&2
  exit 0
fi
tools/build-windows.sh
if [ ! -x build/sim/zem-sim ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target zem-sim
fi

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zem-wine.XXXXXX")
export WINEPREFIX
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
echo "Wine prefix: $WINEPREFIX"
# COM1 is whatever the prefix's Ports key names (wine makes dosdevices/com1 from it as it starts):
# here a link that zem-sim points at its pseudo-terminal.
line="$WINEPREFIX/ttyZEM"
tools/wine-run.sh reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$line" /f >/dev/null
"$wineserver" -w

# The faults win_port_tests walks through, request by request: three answered, one damaged then
# answered, three damaged, one in six pieces, one after noise, three unanswered; then none.
kComFaults=(--fault delay:3:1 --fault bad-crc:1 --fault delay:1:1 --fault bad-crc:3
  --fault split:1:6:15 --fault noise:1 --fault silent:3)
build/sim/zem-sim --link "$line" --line-timing "${kComFaults[@]}" </dev/null >"$WINEPREFIX/zem-sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  [ -L "$line" ] && break
  sleep 0.1
done
# The installer's and the installed program's tests make prefixes and zem-sims of their own.
export ZEM_SIM="$root/build/sim/zem-sim"
ZEM_TEST_COM=COM1 ctest --test-dir build-windows --output-on-failure "$@"

# The window once more on Windows' own platform, in a virtual X server, for its picture.
shots="$root/build-windows/screenshots"
QT_QPA_PLATFORM=windows ZEM_SCREENSHOT_DIR="$shots" xvfb-run -a tools/wine-run.sh \
  build-windows/tests/windows/win_window_tests.exe >"$WINEPREFIX/window.log" 2>&1 ||
  { cat "$WINEPREFIX/window.log"; exit 1; }
echo "The window on Windows' platform: $shots/windows_main_window.png"
