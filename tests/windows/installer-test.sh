#!/usr/bin/env bash
# The installer under wine, silently into a fresh prefix: for the current user, what lands where
# (files, menu entry, file type, the list of installed programs); the installed zem.exe sets up a
# module behind COM1 with ZEM.cfg's catalogue; an install over it keeps ZEM.cfg; the uninstall
# takes away all it put there and nothing of the user's. Then the same for all users.
source "$(dirname "$0")/wine-kit.sh"
listed="$(dirname "$ZEM_SETUP")/nsis/files"  # the stage's files, as pack-windows.sh listed them
start_menu="$appdata/Microsoft/Windows/Start Menu/Programs"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\ZEM 2.0'

# The installed files, relative to the folder and sorted: what was listed, and the uninstaller.
check_files() {
  local dir=$1 expected actual
  expected=$( (cat "$listed"; echo uninstall.exe) | LC_ALL=C sort)
  actual=$(cd "$dir" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  [ "$actual" = "$expected" ] || fail "$dir holds other files than the installer's: $(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | head -5)"
  for file in zem.exe Qt6Sql.dll libpq.dll sqldrivers/qsqlite.dll sqldrivers/qsqlpsql.dll platforms/qwindows.dll; do
    [ -s "$dir/$file" ] || fail "$file is not installed in $dir"
  done
}
# The file type and the entry in the list of installed programs, under HKCU or HKLM.
check_registry() {
  local root=$1 windir=$2
  [ "$(reg_value "$root\\Software\\Classes\\.zem")" = ZEM.Copy ] || fail "$root: .zem is not ZEM.Copy"
  [ "$(reg_value "$root\\Software\\Classes\\ZEM.Copy\\shell\\open\\command")" = "\"$windir\\zem.exe\" \"%1\"" ] ||
    fail "$root: .zem does not open in $windir\\zem.exe: $(reg_value "$root\\Software\\Classes\\ZEM.Copy\\shell\\open\\command")"
  [ "$(reg_value "$root\\Software\\Classes\\ZEM.Copy\\DefaultIcon")" = "\"$windir\\zem.exe\",0" ] || fail "$root: .zem has not the program's icon"
  [ "$(reg_value "$root\\$uninstall_key" DisplayVersion)" = 2.0 ] || fail "$root: the installed programs' entry has no version 2.0"
  [ "$(reg_value "$root\\$uninstall_key" UninstallString)" = "\"$windir\\uninstall.exe\"" ] ||
    fail "$root: the installed programs' entry has no uninstaller"
}
check_registry_gone() {
  local root=$1 key
  for key in 'Software\Classes\.zem' 'Software\Classes\ZEM.Copy' "$uninstall_key"; do
    reg_key_exists "$root\\$key" && fail "$root\\$key is left after the uninstall"
  done
}

# For the current user.
install /CurrentUser
instdir="$local_appdata/Programs/ZEM 2.0"
windir='C:\users\'"$(id -un)"'\AppData\Local\Programs\ZEM 2.0'
check_files "$instdir"
[ -s "$start_menu/ZEM 2.0.lnk" ] || fail "no menu entry in $start_menu"
[ -e "$user_dir/Desktop/ZEM 2.0.lnk" ] && fail "a silent install made a desktop shortcut"
check_registry HKCU "$windir"
reg_key_exists "HKLM\\$uninstall_key" && fail "a current user's install is listed for all users"
zem="$instdir/zem.exe"
out=$(run "$zem" --version | tr -d '\r')
[ "$out" = "ZEM 2.0" ] || fail "the installed zem.exe --version printed '$out'"

# Installed, the program keeps ZEM.cfg in the user's folder, not beside itself: the catalogue
# named there is the one it fills.
config="$local_appdata/ZEM 2.0/ZEM.cfg"
mkdir -p "$(dirname "$config")"
printf '[Catalogue]\r\nDatabase=%s\r\n' "$(winpath "$work/catalogue.sqlite")" >"$config"
start_sim 1
out=$(run "$zem" --batch "$(winpath "$template")" --port COM1 --serial-from 500 --once \
  --report "$(winpath "$work/report.csv")" 2>&1 | tr -d '\r')
status=$?
[ $status -eq 0 ] || fail "zem.exe --batch on COM1 exits with $status: $out"
grep -q '^COM1: успешно — серийный номер 00000500 ' <<<"$out" || fail "no success on COM1: $out"
[ "$(memory_hex 1 1 123)" = "$written_hex" ] || fail "the module's settings are not the copy's after the write"
[ "$(memory_hex 1 736 4)" = 00000500 ] || fail "the module's serial number is $(memory_hex 1 736 4), not 00000500"
[ -s "$work/catalogue.sqlite" ] || fail "the catalogue named in $config was not used"
[ -e "$instdir/ZEM.cfg" ] && fail "the installed program wrote ZEM.cfg beside itself"

# An install over it keeps the user's settings, and a file the user put beside the program.
printf '[MainForm]\r\nPort=COM1\r\n' >>"$config"
before=$(md5sum <"$config")
printf '[Operator]\r\n' >"$instdir/Operators.cfg"
install /CurrentUser
[ "$(md5sum <"$config")" = "$before" ] || fail "an install over the last one changed ZEM.cfg"
[ -s "$instdir/Operators.cfg" ] || fail "an install over the last one removed the user's Operators.cfg"
rm "$instdir/Operators.cfg"
check_files "$instdir"
check_registry HKCU "$windir"

printf '[Operator]\r\n' >"$instdir/Operators.cfg"
run "$instdir/uninstall.exe" /S || fail "the uninstaller exits with $?"
left=$(cd "$instdir" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||')
[ "$left" = Operators.cfg ] || fail "the uninstall left in $instdir: $(head -c 300 <<<"$left")"
[ -e "$start_menu/ZEM 2.0.lnk" ] && fail "the uninstall left the menu entry"
check_registry_gone HKCU
[ "$(md5sum <"$config")" = "$before" ] || fail "the uninstall took ZEM.cfg"
[ -s "$work/catalogue.sqlite" ] || fail "the uninstall took the catalogue"
ls "$appdata/ZEM 2.0/logs/"zem-*.log >/dev/null 2>&1 || fail "no diagnostic log in $appdata/ZEM 2.0/logs after the uninstall"
rm -rf "$instdir"

# For all users: what an administrator's install does unless told otherwise.
install
instdir="$WINEPREFIX/drive_c/Program Files/ZEM 2.0"
check_files "$instdir"
[ -s "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ZEM 2.0.lnk" ] ||
  fail "no menu entry for all users"
check_registry HKLM 'C:\Program Files\ZEM 2.0'
reg_key_exists "HKCU\\$uninstall_key" && fail "an install for all users is listed for the current user only"
run "$instdir/uninstall.exe" /S || fail "the uninstaller for all users exits with $?"
[ -e "$instdir" ] && fail "the uninstall for all users left $instdir: $(ls -A "$instdir" | head -5)"
[ -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ZEM 2.0.lnk" ] &&
  fail "the uninstall for all users left the menu entry"
check_registry_gone HKLM
finish
