#!/usr/bin/env bash
# End to end: the real wardenix-console at a scaled clock supervises the real
# trial server. It starts the server when it is missing, and, since no
# connection to it succeeds yet, kills it at the next check and starts it again
# at the one after.
#   console_e2e.sh CONSOLE TRIAL_SERVER SVCMGR_STANDIN SOURCE_DIR
set -euo pipefail
console=$1 server=$2 standin=$3 source_dir=$4
scale=50   # one virtual second is 20 ms

# Only one test at a time may run trial servers: the forced termination ends
# every one on the machine.
exec 9>/tmp/wardenix-trial-processes.lock
flock 9

work=$(mktemp -d)
mkdir -p "$work/bin" "$work/bus"
cp "$console" "$server" "$work/bin/"
touch "$work/bin/varudedizerazidad.exe"
console_pid=
cleanup() {
  [[ -n "$console_pid" ]] && kill -KILL "$console_pid" 2>/dev/null || true
  pkill -KILL -f "^$work/bin/DAZEVAVIZ.EXE" 2>/dev/null || true
  "$source_dir/demo/private-bus.sh" stop "$work/bus" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$source_dir/demo/private-bus.sh" start "$work/bus" --standin "$standin" \
  --unit FirebirdServerDefaultInstance.service=active)"

server_pid() { pgrep -f "^$work/bin/DAZEVAVIZ.EXE" | head -n 1 || true; }
# wait_until SECONDS COMMAND...: polls every 50 ms.
wait_until() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@"; do
    (( $(date +%s%N) < deadline )) || return 1
    sleep 0.05
  done
}
server_runs() { [[ -n "$(server_pid)" ]]; }
server_replaced() { local p; p=$(server_pid); [[ -n "$p" && "$p" != "$first" ]]; }
first_gone() { ! kill -0 "$first" 2>/dev/null || [[ "$(ps -o stat= -p "$first")" == Z* ]]; }

[[ -z "$(server_pid)" ]] || { echo "a trial server of this test runs already" >&2; exit 1; }
(cd "$work/bin" && exec ./wardenix-console --time-scale "$scale") >"$work/log" 2>&1 &
console_pid=$!

# Start 30 s, database 60 s, first check 100 s, its watchdog 122 s: about 2.4 s.
wait_until 15 server_runs || { echo "the missing server was not started"; cat "$work/log"; exit 1; }
first=$(server_pid)
echo "started: pid $first"
# The next check (140 s) fails to connect; its watchdog kills at 162 s and the
# following one starts the server again at 202 s.
wait_until 15 first_gone || { echo "the server that accepts no connection was not killed"; cat "$work/log"; exit 1; }
echo "killed: pid $first"
wait_until 15 server_replaced || { echo "the killed server was not started again"; cat "$work/log"; exit 1; }
echo "started again: pid $(server_pid)"

grep -q ': Firebird Default OK$' "$work/log"
grep -q ': Verificando Conexão$' "$work/log"

kill -INT "$console_pid"
wait_until 5 bash -c "! kill -0 $console_pid 2>/dev/null" || { echo "the console did not quit"; exit 1; }
wait "$console_pid" || { echo "the console exited with $?"; exit 1; }
console_pid=
