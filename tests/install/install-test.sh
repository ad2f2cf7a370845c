#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: the files in their
# places, the menu entry and the metadata as the desktop's validators see them, the file type of
# copies, and the installed program's command line.
# Arguments: the build folder, the desktop name, the version.
set -uo pipefail
build=$1 id=$2 version=$3
skip=77

for tool in desktop-file-validate appstreamcli update-mime-database; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (tools/deps.sh installs it)"
    exit $skip
  fi
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; fail "cmake --install"; }
rm -f "$prefix.log"

expected=(
  bin/zem
  "share/applications/$id.desktop"
  "share/metainfo/$id.metainfo.xml"
  "share/mime/packages/$id.xml"
  "share/icons/hicolor/scalable/apps/$id.svg"
  share/man/man1/zem.1.gz
  share/doc/zem/copyright
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/zem" ] || fail "bin/zem is not executable"
for size in 16 48 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  # The PNG header's width and height, big-endian at bytes 16 and 20.
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w $h" = "$size $size" ] || fail "the ${size}px icon is ${w}x${h}"
done

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
grep -qx "Exec=zem %f" "$prefix/share/applications/$id.desktop" || fail "the menu entry does not take a file"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$id.metainfo.xml" ||
  fail "the metadata does not name version $version"

# The file type's pattern reaches the database the desktop reads, and the menu entry opens it.
XDG_DATA_DIRS="$prefix/share" update-mime-database "$prefix/share/mime" || fail "update-mime-database"
mime=$(awk -F: '$3 == "*.zem" {print $2}' "$prefix/share/mime/globs2" 2>/dev/null)
[ -n "$mime" ] || fail "*.zem has no file type"
grep -q "^MimeType=$mime;" "$prefix/share/applications/$id.desktop" || fail "the menu entry does not open $mime"

export QT_QPA_PLATFORM=offscreen
out=$("$prefix/bin/zem" --version) || fail "zem --version exits with $?"
[ "$out" = "ZEM $version" ] || fail "zem --version printed '$out'"
out=$("$prefix/bin/zem" --help) || fail "zem --help exits with $?"
grep -q -- "--port" <<<"$out" || fail "zem --help does not list --port: $out"
out=$("$prefix/bin/zem" --no-such-option 2>&1) && fail "zem accepts an unknown option"
grep -q "no-such-option" <<<"$out" || fail "the unknown option is not named: $out"

[ $failures -eq 0 ] && echo "Installed and checked in $prefix"
exit $((failures > 0))
