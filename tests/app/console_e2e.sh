#!/usr/bin/env bash
# End to end: the real wardenix-console at a scaled clock supervises the real
# trial server. It starts the server when it is missing; a server that answers
# the probe stays up check after check; once the server stops answering at
# all, a watchdog kills it and the server is started again.
#   console_e2e.sh CONSOLE TRIAL_SERVER SVCMGR_STANDIN SOURCE_DIR
set -euo pipefail
console=$1 server=$2 standin=$3 source_dir=$4
scale=50   # one virtual second is 20 ms

# The test runs in PID and network namespaces of its own (demo/private-pids.sh):
# it sees, and its watchdog's forced termination ends, only the trial servers
# it started, its ports are its own, and when it ends the kernel ends whatever
# it left. Where the system refuses the namespaces, it is skipped (exit 77).
if [[ "${WARDENIX_PRIVATE_PIDS:-}" != 1 || $$ != 1 ]]; then
  exec "$source_dir/demo/private-pids.sh" --net --or-exit 77 bash "$0" "$@"
fi

source "$source_dir/tests/app/console_env.sh"
server_replaced() { local p; p=$(server_pid); [[ -n "$p" && "$p" != "$first" ]]; }
gone() { ! kill -0 "$1" 2>/dev/null || [[ "$(ps -o stat= -p "$1")" == Z* ]]; }

start_console "$scale"

# Start 30 s, database 60 s, first check 100 s, its watchdog starts the
# missing server at 122 s: about 2.4 s.
wait_until 15 server_runs || fail "the missing server was not started"
first=$(server_pid)
echo "started: pid $first"
# The diagnostic stream names the launched server's own process.
wait_until 5 grep -q "launch: $work/bin/DAZEVAVIZ.EXE started, pid $first$" "$work/log" ||
  fail "no launch line for pid $first"

# A healthy server answers every probe: five checks later it still runs.
before=$(checks)
wait_until 30 checks_reach $(( before + 5 )) || fail "the checks stopped"
[[ "$(server_pid)" == "$first" ]] || fail "the server that answers the probe was replaced"
echo "kept through $(( $(checks) - before )) checks: pid $first"

# The server stops answering (its process is stopped, its port still takes
# connections): a watchdog kills it and the server is started again.
kill -STOP "$first"
wait_until 30 gone "$first" || fail "the server that stopped answering was not killed"
echo "killed: pid $first"
wait_until 5 grep -q "kill: DAZEVAVIZ.EXE with its descendants: pid $first killed$" "$work/log" ||
  fail "no kill line for pid $first"
wait_until 30 server_replaced || fail "the killed server was not started again"
echo "started again: pid $(server_pid)"

grep -q ': Firebird Default OK$' "$work/log"

quit_console
