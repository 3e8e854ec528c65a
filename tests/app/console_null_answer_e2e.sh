#!/usr/bin/env bash
# End to end: the real wardenix-console at a scaled clock supervises a real
# trial server whose _Consultas answers null. Each probe then opens the
# client dataset through the provider link (AS_GetRecords, count -1,
# options 1), and the close that follows sends the reset call (count 0,
# options 2). The server answers and is kept: five checks later the same
# process still runs.
#   console_null_answer_e2e.sh CONSOLE TRIAL_SERVER SVCMGR_STANDIN SOURCE_DIR
set -euo pipefail
console=$1 server=$2 standin=$3 source_dir=$4
# One virtual second is 100 ms: the fetch comes 2 virtual seconds before the
# previous responsiveness watchdog looks, 200 ms at this scale.
scale=10

# PID and network namespaces of its own, as console_e2e.sh; skipped (77)
# where the system refuses them.
if [[ "${WARDENIX_PRIVATE_PIDS:-}" != 1 || $$ != 1 ]]; then
  exec "$source_dir/demo/private-pids.sh" --net --or-exit 77 bash "$0" "$@"
fi

source "$source_dir/tests/app/console_env.sh"
calls="$work/calls"
# The watchdog starts the server without arguments: it takes these.
printf '%s\n' --mode null-result --call-log "$calls" >"$work/bin/DAZEVAVIZ.ARGS"
fetch='TdmPrincipal.AS_GetRecords provider=dspAux count=-1 options=1'
reset='TdmPrincipal.AS_GetRecords provider=dspAux count=0 options=2'
# The line number of the first line of the call log that is exactly $1.
first_line() { grep -n -x -F "$1" "$calls" 2>/dev/null | head -n 1 | cut -d: -f1 || true; }
reset_follows_fetch() {
  local f r; f=$(first_line "$fetch"); r=$(first_line "$reset")
  [[ -n "$f" && -n "$r" ]] && (( r > f ))
}
fail() { echo "$1"; cat "$work/log"; [[ -f "$calls" ]] && cat "$calls"; exit 1; }

start_console "$scale"

# The first check finds the server missing; its watchdog starts it.
wait_until 60 server_runs || fail "the missing server was not started"
first=$(server_pid)
echo "started: pid $first"

# The server sees the fetch and, at the next close, the reset call.
wait_until 60 reset_follows_fetch || fail "no fetch followed by a reset call"
echo "fetch, then reset call"

# It answers through the provider link: five checks later it still runs.
before=$(checks)
wait_until 90 checks_reach $(( before + 5 )) || fail "the checks stopped"
[[ "$(server_pid)" == "$first" ]] || fail "the server that answers through the provider was replaced"
kill -0 "$first" 2>/dev/null || fail "the server that answers through the provider was ended"
echo "kept through $(( $(checks) - before )) checks: pid $first"
(( $(grep -c -x -F "$fetch" "$calls") >= 5 )) || fail "fewer fetches than checks"

quit_console
