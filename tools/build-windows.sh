#!/usr/bin/env bash
# Cross-builds for 64-bit Windows into build-windows/ with Debian's MinGW-w64 and the Qt for
# MinGW beside the project. So far every library, the window's included; zem.exe still lacks the
# virtual module's Windows port, and the tests a GoogleTest for MinGW.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! dpkg-query -W -f='${Status}' g++-mingw-w64-x86-64-posix 2>/dev/null | grep -q 'install ok installed'; then
  echo "Installing: g++-mingw-w64-x86-64-posix"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64-posix
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=../shared/qt6-mingw/lib/cmake/Qt6/qt.toolchain.cmake \
  -DZEM_GUI=ON -DZEM_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-windows --target zem_util zem_link zem_tasks zem_keys zem_sim \
  zem_module zem_ui zem_device zem_pages zem_app "$@"
