#!/usr/bin/env bash
# The catalogue on a PostgreSQL server under wine: the installed zem.exe sets up a module behind
# COM1 into a private cluster over TCP on 127.0.0.1, with the password only in PGPASSWORD, then
# finds it and reads its history there. The password shows nowhere the program writes or says.
source "$(dirname "$0")/wine-kit.sh"
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
if [ ! -x "$bin/initdb" ]; then
  echo "SKIP: PostgreSQL is not installed (Debian's package postgresql)"
  exit $skip
fi
cluster="$work/pg"
mkdir -p "$cluster"
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  # The server refuses to run as root.
  id postgres >/dev/null 2>&1 || { echo "SKIP: running as root with no postgres user"; exit $skip; }
  chown postgres: "$cluster"
  chmod o+x "$WINEPREFIX" "$work"
  as_server=(runuser -u postgres --)
fi
PGPASSWORD=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
export PGPASSWORD
"${as_server[@]}" sh -c "umask 077; printf '%s\n' \"\$1\" >'$cluster/pw'" - "$PGPASSWORD"
"${as_server[@]}" "$bin/initdb" -D "$cluster/data" -U zem -A scram-sha-256 --pwfile="$cluster/pw" -E UTF8 \
  --no-locale --no-sync >"$work/initdb.log" 2>&1 || { fail "initdb: $(tail -3 "$work/initdb.log")"; finish; }
rm -f "$cluster/pw"
# A port nobody listens on; another is tried when the server loses the race for it.
port=""
for candidate in $(shuf -i 20000-60000 -n 10); do
  (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null && continue
  if "${as_server[@]}" "$bin/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 60 -o \
    "-p $candidate -c listen_addresses=127.0.0.1 -c unix_socket_directories='$cluster' -c fsync=off" \
    start >/dev/null 2>&1; then
    port=$candidate
    cleanups+=("${as_server[*]} '$bin/pg_ctl' -D '$cluster/data' -w -m immediate stop >/dev/null 2>&1")
    break
  fi
done
[ -n "$port" ] || { fail "the PostgreSQL server did not start: $(tail -3 "$cluster/server.log")"; finish; }
"$bin/createdb" -h 127.0.0.1 -p "$port" -U zem zem || { fail "createdb"; finish; }

install /CurrentUser
zem="$local_appdata/Programs/ZEM 2.0/zem.exe"
start_sim 1
catalogue=(--catalogue "postgresql://zem@127.0.0.1:$port/zem")
said="$work/said"
out=$(run "$zem" --batch "$(winpath "$template")" --port COM1 --serial-from 900 --once \
  --report "$(winpath "$work/report.csv")" "${catalogue[@]}" 2>"$said" | tr -d '\r')
status=$?
cat "$said" >>"$work/all-said"
[ $status -eq 0 ] || fail "--batch into the server's catalogue exits with $status: $out $(cat "$said")"
grep -q '^COM1: успешно — серийный номер 00000900 ' <<<"$out" || fail "no success on COM1: $out"
echo "$out" >>"$work/all-said"
[ "$(memory_hex 1 736 4)" = 00000900 ] || fail "the module holds the number $(memory_hex 1 736 4), not 00000900"

history=$(run "$zem" --history 900 "${catalogue[@]}" 2>&1 | tr -d '\r')
echo "$history" >>"$work/all-said"
grep -q '  серийная настройка  .*  COM1  успешно$' <<<"$history" || fail "the server's history of 900: $history"
found=$(run "$zem" --find 00000900 "${catalogue[@]}" 2>&1 | tr -d '\r')
echo "$found" >>"$work/all-said"
grep -q '^00000900  1 версия, последняя .* COM1$' <<<"$found" || fail "the server does not find 900: $found"

if grep -rqF "$PGPASSWORD" "$work/all-said" "$work/report.csv" "$appdata/ZEM 2.0" "$local_appdata/ZEM 2.0" 2>/dev/null; then
  fail "the server's password shows in the program's output or files"
fi
finish
