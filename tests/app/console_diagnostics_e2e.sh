#!/usr/bin/env bash
# End to end: where the activity log shows a server check like any other,
# the console's diagnostic stream says why it failed. Port 3063 is taken by
# another program that closes every connection at once: each check cannot
# connect, the watchdog starts the server, and the server, unable to listen,
# ends at once; the stream names the connect error, the launch with the
# started server's pid, and that this server ended within 5 s.
#   console_diagnostics_e2e.sh CONSOLE TRIAL_SERVER SVCMGR_STANDIN SOURCE_DIR
set -euo pipefail
console=$1 server=$2 standin=$3 source_dir=$4
scale=50   # one virtual second is 20 ms

# In PID and network namespaces of its own, as the console's other
# end-to-end test; skipped (exit 77) where the system refuses them.
if [[ "${WARDENIX_PRIVATE_PIDS:-}" != 1 || $$ != 1 ]]; then
  exec "$source_dir/demo/private-pids.sh" --net --or-exit 77 bash "$0" "$@"
fi

source "$source_dir/tests/app/console_env.sh"

# The other program: the trial server under another name, so that the
# watchdog neither finds nor kills it.
cp "$server" "$work/OTHER.EXE"
"$work/OTHER.EXE" --mode refuse --port 3063 --port-file "$work/other-port" &
other=$!
wait_until 10 test -s "$work/other-port" || fail "the other program did not listen"

start_console "$scale"
# A launch every 40 s; any one of them names its server's end (a machine
# slow to end the server may let one pass while it still runs).
ended_line='launch: the server started as pid [0-9]+ ended within 5 s of its start'
wait_until 60 grep -Eq "$ended_line" "$work/log" || fail "the server that ended at once was not named"
pid=$(grep -Eo "$ended_line" "$work/log" | head -n 1 | grep -Eo 'pid [0-9]+' | cut -c5-)
grep -q "launch: $work/bin/DAZEVAVIZ.EXE started, pid $pid$" "$work/log" ||
  fail "no launch line for pid $pid"
grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} check: cannot connect to localhost:3063: ' \
  "$work/log" || fail "no connect error"
grep -q 'connection watchdog: the server is not connected, and DAZEVAVIZ.EXE does not run: starting it' \
  "$work/log" || fail "no watchdog line"
# The activity log's own lines are as they always are.
grep -q ': Verificando Conexão$' "$work/log" || fail "no activity log"
kill -0 "$other" || fail "the other program was touched"
echo "named: the server started as pid $pid ended at once"

quit_console
kill "$other"
