#!/usr/bin/env bash
# The production line under wine: the installed zem.exe --batch --once over COM1 to COM4, each
# behind its own zem-sim, COM3's silent. Each module's memory afterwards, the numbers distinct,
# and each module's history in the SQLite catalogue; then a module set up once more.
source "$(dirname "$0")/wine-kit.sh"
install /CurrentUser
zem="$local_appdata/Programs/ZEM 2.0/zem.exe"
for n in 1 2 3 4; do
  if [ $n = 3 ]; then start_sim $n --fault silent; else start_sim $n; fi
done
catalogue=(--catalogue "$(winpath "$work/catalogue.sqlite")")
batch() {
  run "$zem" --batch "$(winpath "$template")" --serial-from 700 --once --report "$(winpath "$work/report.csv")" \
    "${catalogue[@]}" "$@" 2>"$work/batch.err" | tr -d '\r'
}

out=$(batch --port COM1 --port COM2 --port COM3 --port COM4)
status=$?
[ $status -eq 1 ] || fail "with COM3 silent, --batch exits with $status, not 1: $out $(cat "$work/batch.err")"
[ "$(grep -c '' <<<"$out")" = 4 ] || fail "not one line a port: $out"
grep -q '^COM3: ошибка — ' <<<"$out" || fail "COM3's failure is not reported: $out"
[ -e "$work/memory3" ] && fail "the silent module's memory was written"
numbers=()
for n in 1 2 4; do
  number=$(sed -n "s/^COM$n: успешно — серийный номер \([0-9]\{8\}\) .*/\1/p" <<<"$out")
  [ -n "$number" ] || { fail "COM$n did not pass: $out"; continue; }
  numbers+=("$number")
  [ "$(memory_hex $n 1 123)" = "$written_hex" ] || fail "COM$n's module has not the copy's settings"
  [ "$(memory_hex $n 736 4)" = "$number" ] || fail "COM$n's module holds the number $(memory_hex $n 736 4), not $number"
  [ "$(memory_hex $n 740 124)" = "${gprs_hex:8}" ] || fail "COM$n's module has not the copy's GPRS settings"
  history=$(run "$zem" --history "$number" "${catalogue[@]}" 2>&1 | tr -d '\r')
  [ "$(grep -c '' <<<"$history")" = 1 ] || fail "the history of $number is not one version: $history"
  grep -q "  серийная настройка  .*  COM$n  успешно$" <<<"$history" || fail "the history of $number: $history"
done
[ "$(printf '%s\n' "${numbers[@]}" | sort -u | tr '\n' ' ')" = "00000700 00000701 00000702 " ] ||
  fail "the numbers given are ${numbers[*]}, not 700 to 702 each once"

# Read and written once more, COM1's module takes the series' next number. The catalogue keeps
# what was read before the write under the old number, after its first set-up, the last first.
out=$(batch --port COM1)
status=$?
[ $status -eq 0 ] || fail "COM1 once more: --batch exits with $status: $out $(cat "$work/batch.err")"
number=$(sed -n 's/^COM1: успешно — серийный номер \([0-9]\{8\}\) (был \([0-9]\{8\}\)).*/\1 \2/p' <<<"$out")
[ "$number" = "00000703 ${numbers[0]:-}" ] || fail "COM1 once more: $out"
[ "$(memory_hex 1 736 4)" = 00000703 ] || fail "COM1's module holds $(memory_hex 1 736 4) after the second set-up"
history=$(run "$zem" --history "${numbers[0]:-0}" "${catalogue[@]}" 2>&1 | tr -d '\r')
kinds=$(sed -n 's/^[-0-9]* [0-9:]*  \([^ ]* [^ ]*\)  .*  COM1  успешно$/\1/p' <<<"$history" | tr '\n' ',')
[ "$kinds" = "резервная копия,серийная настройка," ] ||
  fail "the history of ${numbers[0]:-} is not its read after its set-up: $history"
history=$(run "$zem" --history 703 "${catalogue[@]}" 2>&1 | tr -d '\r')
grep -q '^[-0-9]* [0-9:]*  серийная настройка  .*  COM1  успешно$' <<<"$history" || fail "the history of 703: $history"
found=$(run "$zem" --find 0000070 "${catalogue[@]}" 2>&1 | tr -d '\r')
[ "$(grep -c '^0000070[0-3]  ' <<<"$found")" = 4 ] || fail "--find 0000070 does not find the four numbers: $found"
finish
