#!/usr/bin/env bash
# Packs build-windows/ZEM-<version>-windows-x64.zip from the cross-build: zem.exe with everything
# it needs on a Windows machine that has nothing else installed, and a README in Russian.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source "$root/tools/qt-mingw.sh"
version=$(sed -n 's/^project(ZEM VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="ZEM-$version-windows-x64"
stage="build-windows/$name"
rm -rf "$stage" "build-windows/$name.zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/sqldrivers" "$stage/translations" "$stage/licenses"
cp build-windows/zem.exe "$stage/"
for dll in Qt6Core Qt6Gui Qt6Widgets Qt6SerialPort Qt6Sql; do
  cp "$qt/bin/$dll.dll" "$stage/"
done
# The catalogue: SQLite built into its driver; PostgreSQL's client library with OpenSSL for TLS.
cp "$qt/plugins/sqldrivers/qsqlite.dll" "$qt/plugins/sqldrivers/qsqlpsql.dll" "$stage/sqldrivers/"
for dll in libpq libssl-3-x64 libcrypto-3-x64; do
  cp "$qt/bin/$dll.dll" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/"*.dll "$stage/styles/"
cp "$qt/translations/qtbase_ru.qm" "$stage/translations/"
cp -r "$qt/LICENSES/." "$stage/licenses/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$stage/"
done
# Debian's runtime libraries keep their symbols: 23 MB of them in libstdc++ alone.
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.dll "$stage/zem.exe"
# Qt finds its translations beside the program, not in the folder it was built for.
printf '[Paths]\r\nPrefix = .\r\n' >"$stage/qt.conf"
# Notepad reads UTF-8 by its mark, and wants CRLF.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' packaging/windows/README.txt; } >"$stage/README.txt"
(cd build-windows && zip -qr -X "$name.zip" "$name")
echo "build-windows/$name.zip"
