#!/usr/bin/env bash
# Runs a Windows program of the cross-build under wine, finding the Qt and MinGW runtime DLLs and
# the Qt plugins where they lie, so that tests run without copying them beside every program.
# WINEPREFIX: the wine prefix to use (default: build-windows/wine, made at the first run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/qt-mingw.sh"
export WINEPREFIX="${WINEPREFIX:-$root/build-windows/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No desktop integration, no Mono or Gecko questions in a prefix made for tests.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe,mscoree,mshtml=}"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
gccdir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
export WINEPATH="$(winpath "$qt/bin");$(winpath "$gccdir");$(winpath "$pthread")"
export QT_PLUGIN_PATH="$(winpath "$qt/plugins")"
# Wine keeps the host's QT_ variables from Windows programs and passes WINEQT_ ones on as QT_;
# messages go to the terminal, where Qt would otherwise look for a console window.
export QT_FORCE_STDERR_LOGGING=1
# The offscreen platform draws with the fonts of a folder of its own.
[ -d /usr/share/fonts/truetype/dejavu ] && export QT_QPA_FONTDIR="$(winpath /usr/share/fonts/truetype/dejavu)"
while IFS='=' read -r name _; do
  export "WINE$name=${!name}"
done < <(env | grep -E '^QT_[A-Za-z0-9_]*=')
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
