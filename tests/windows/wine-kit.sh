# Sourced by the tests of the installed program under wine: a fresh wine prefix with the installer
# run silently in it, zem-sim behind COM ports, a module copy to write, and the checks' reporting.
# Everything they start is ended and removed when the test exits, whichever way.
# Needs ZEM_SETUP (the installer) and ZEM_SIM (the Linux zem-sim); tools/test-windows.sh sets both.
set -uo pipefail
skip=77
for need in "${ZEM_SETUP:-}" "${ZEM_SIM:-}"; do
  if [ -z "$need" ] || [ ! -f "$need" ]; then
    echo "SKIP: ZEM_SETUP and ZEM_SIM must name the installer and zem-sim (tools/test-windows.sh sets them)"
    exit $skip
  fi
done
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zem-wine-test.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
# No desktop integration, no Mono or Gecko questions; nothing of the build's Qt is on the path, so
# the installed program runs on what the installer put beside it.
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml="
unset WINEPATH QT_PLUGIN_PATH
export WINEQT_QPA_PLATFORM=offscreen QT_FORCE_STDERR_LOGGING=1
work="$WINEPREFIX/test"
mkdir -p "$work"
failures=0
cleanups=()
sim_pids=()

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  [ $failures -eq 0 ] && echo "PASS" || echo "$failures check(s) failed"
  exit $((failures > 0))
}
on_exit() {
  local pid cleanup
  for pid in "${sim_pids[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  for cleanup in "${cleanups[@]}"; do eval "$cleanup"; done
  "$wineserver" -k 2>/dev/null
  rm -rf "$WINEPREFIX"
}
trap on_exit EXIT

# Polls until the command succeeds, at most about ten seconds; its status.
wait_for() {
  local i
  for i in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
# Runs a Windows program in the prefix and waits for every process it left there.
run() {
  "$wine" "$@"
  local status=$?
  "$wineserver" -w
  return $status
}
# A registry value's data as reg prints it (the key's default value without a name), or nothing.
reg_value() {
  local args=(/ve) label="(Default)"
  [ -n "${2:-}" ] && args=(/v "$2") label=$2
  "$wine" reg query "$1" "${args[@]}" 2>/dev/null | tr -d '\r' | awk -v label="$label" '{
    line = $0; sub(/^[ \t]+/, "", line)
    if (index(line, label) == 1) { rest = substr(line, length(label) + 1); sub(/^[ \t]+REG_[A-Z_]+[ \t]*/, "", rest); print rest; exit }
  }'
}
reg_key_exists() { "$wine" reg query "$1" >/dev/null 2>&1; }

user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
local_appdata="$user_dir/AppData/Local"
appdata="$user_dir/AppData/Roaming"

"$wine" wineboot -i >/dev/null 2>&1
# COMn is whatever the prefix's Ports key names: links that each zem-sim points at its terminal.
for n in 1 2 3 4; do
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$WINEPREFIX/ttyZEM$n" /f >/dev/null
done
"$wineserver" -w

# zem-sim behind COMn with its memory in $work/memoryN, and any further options (faults).
start_sim() {
  local n=$1
  shift
  "$ZEM_SIM" --link "$WINEPREFIX/ttyZEM$n" --memory "$work/memory$n" "$@" </dev/null >"$work/sim$n.log" 2>&1 &
  sim_pids+=($!)
  wait_for test -L "$WINEPREFIX/ttyZEM$n" || fail "zem-sim did not start behind COM$n: $(cat "$work/sim$n.log")"
}

# A module copy with settings and a GPRS block of its own (the serial number 12345678 in it);
# $written_hex is what a module's addresses 1 to 123 hold once it is written (no block of the
# write covers 0 and 124).
settings_hex=$(for i in $(seq 0 124); do printf '%02x' $(((i * 37 + 11) % 251)); done)
written_hex=${settings_hex:2:246}
gprs_hex="12345678$(printf '%0248d' 0)"
template="$work/template.zem"
printf '{"format": "ZEM 2.0 module copy", "version": 1, "settings": {"bytes": "%s"}, "gprs": {"bytes": "%s"}}\n' \
  "$settings_hex" "$gprs_hex" >"$template"

# Bytes of a module's memory file as hex: memory_hex N OFFSET COUNT.
memory_hex() { od -An -v -tx1 -j"$2" -N"$3" "$work/memory$1" 2>/dev/null | tr -d ' \n'; }

# Installs silently with the given options (/CurrentUser, /AllUsers); zem.exe's path follows.
install() {
  run "$ZEM_SETUP" /S "$@" || fail "the installer /S $* exits with $?"
}
