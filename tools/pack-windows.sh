#!/usr/bin/env bash
# Packs build-windows/ZEM-<version>-windows-x64.zip from the cross-build: zem.exe with everything
# it needs on a Windows machine that has nothing else installed, and a README in Russian; and the
# installer of the same files, build-windows/ZEM-<version>-setup.exe (NSIS).
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

# The installer's lists of the stage's files: what it puts in, and all its uninstaller takes out.
nsis="build-windows/nsis"
rm -rf "$nsis"
mkdir -p "$nsis"
winpath() { printf '%s' "${1//\//\\}"; }
(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$nsis/files"
(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | LC_ALL=C sort -r) >"$nsis/dirs"
folder=""
while read -r file; do
  dir=$(dirname "$file")
  if [ "$dir" != "$folder" ]; then
    folder=$dir
    [ "$dir" = . ] && echo 'SetOutPath "$INSTDIR"' || echo "SetOutPath \"\$INSTDIR\\$(winpath "$dir")\""
  fi
  echo "File \"$root/$stage/$file\""
done <"$nsis/files" >"$nsis/files.nsh"
{
  while read -r file; do echo "Delete \"\$INSTDIR\\$(winpath "$file")\""; done <"$nsis/files"
  # Deepest first; a folder with anything of the user's in it stays.
  while read -r dir; do echo "RMDir \"\$INSTDIR\\$(winpath "$dir")\""; done <"$nsis/dirs"
} >"$nsis/unfiles.nsh"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$root/$nsis/files.nsh" \
  -DUNFILES="$root/$nsis/unfiles.nsh" -DICON="$root/build-windows/zem.ico" \
  -DOUTFILE="$root/build-windows/ZEM-$version-setup.exe" packaging/windows/zem.nsi
echo "build-windows/ZEM-$version-setup.exe"
