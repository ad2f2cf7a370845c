#!/usr/bin/env bash
# Cross-builds for 64-bit Windows into build-windows/ with Debian's MinGW-w64 and a Qt for MinGW
# (ZEM_QT_MINGW, by default shared/qt6-mingw beside the project), and packs
# build-windows/ZEM-2.0-windows-x64.zip. Arguments go to the build (e.g. a target).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source "$root/tools/qt-mingw.sh"
if [ -z "$qt" ] || [ ! -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  echo "No Qt for MinGW: set ZEM_QT_MINGW to its folder (shared/qt6-mingw beside the project)." >&2
  exit 2
fi
tools/deps.sh --windows
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$(realpath "$qt")" \
  "${launcher[@]}" >/dev/null
cmake --build build-windows "$@"
[ $# -eq 0 ] && tools/pack-windows.sh
exit 0
