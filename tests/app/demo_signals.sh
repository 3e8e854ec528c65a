#!/usr/bin/env bash
# The demo as ./run starts it (demo/private-pids.sh running demo/demo.sh, and
# demo/demo.sh alone where the system refuses a PID namespace) ends whole on
# SIGINT, SIGTERM or SIGHUP to the script: once its watchdog has started the
# trial server, a signal to the script leaves no watchdog, trial server,
# private bus or script of the demo behind.
#   demo_signals.sh CONSOLE TRIAL_SERVER SVCMGR_STANDIN SOURCE_DIR
set -euo pipefail
console=$(realpath "$1") server=$(realpath "$2") standin=$(realpath "$3") source_dir=$(realpath "$4")
scale=50   # the server is started about 2.5 s after the watchdog

# The test runs in PID and network namespaces of its own (demo/private-pids.sh),
# where every process it sees is one it started. Where the system refuses
# them, it is skipped (exit 77).
if [[ "${WARDENIX_PRIVATE_PIDS:-}" != 1 || $$ != 1 ]]; then
  exec "$source_dir/demo/private-pids.sh" --net --or-exit 77 bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$source_dir/tests/app/wait_until.sh"
alive() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1) || true
  [[ -n "$state" && "$state" != Z ]]
}
ended() { ! alive "$1"; }
server_runs() { pgrep -f "^$1/bin/DAZEVAVIZ.EXE" >/dev/null; }
# Processes of a demo that have not ended: its programs, and its scripts.
leftovers() {
  ps -eo pid=,stat=,comm=,args= | awk -v self=$$ '$1 != self && $2 !~ /^Z/ &&
    ($3 ~ /^(wardenix-consol|DAZEVAVIZ.EXE|dbus-daemon|wardenix-svcmgr|unshare)$/ ||
     $0 ~ /demo\/(demo|private-pids)\.sh/)'
}
no_leftovers() { [[ -z "$(leftovers)" ]]; }
# After a failure, so that the next run starts clean: every leftover is one
# of this test's.
end_leftovers() {
  local pid
  for pid in $(leftovers | awk '{ print $1 }'); do kill -KILL "$pid" 2>/dev/null || true; done
  wait_until 10 no_leftovers || true
}

# run_demo HOW SIGNAL PORT: HOW is "namespace" (as ./run starts it where the
# system allows) or "plain" (where it does not). Each demo has a port of its
# own, so that one left running by a failure does not hold the next one's.
run_demo() {
  local how=$1 signal=$2 port=$3 demo="$work/$1-$2"
  mkdir -p "$demo/bin" "$demo/bus"
  cp "$console" "$server" "$demo/bin/"
  touch "$demo/bin/varudedizerazidad.exe"
  printf '[REZ]\nPORTADS=%s\n' "$port" >"$demo/bin/rez.ini"
  printf -- '--port\n%s\n' "$port" >"$demo/bin/DAZEVAVIZ.ARGS"
  local script=("$source_dir/demo/demo.sh" "$demo" "$standin" --time-scale "$scale")
  [[ "$how" == plain ]] || script=("$source_dir/demo/private-pids.sh" "${script[@]}")
  # As a terminal starts it in the foreground: SIGINT and SIGQUIT not ignored,
  # as they would be for a command this script starts in the background.
  (cd "$source_dir" && exec env --default-signal=INT,QUIT "${script[@]}") >"$demo/out" 2>&1 </dev/null &
  local top=$!

  if ! wait_until 20 server_runs "$demo"; then
    echo "$how $signal: the demo's watchdog did not start the server"; cat "$demo/out"
    end_leftovers; return 1
  fi
  if [[ "$how" == namespace ]] && grep -q 'No PID namespace of its own' "$demo/out"; then
    echo "$how $signal: note: no nested PID namespace here; the demo ran without one"
  fi
  kill -s "$signal" "$top"
  if ! wait_until 20 ended "$top"; then
    echo "$how $signal: the script did not end"; leftovers
    end_leftovers; return 1
  fi
  wait "$top" || true
  if ! wait_until 5 no_leftovers; then
    echo "$how $signal: left behind after the script ended:"; leftovers; cat "$demo/out"
    end_leftovers; return 1
  fi
  echo "$how $signal: ended whole"
}

failed=0 port=3063
for how in namespace plain; do
  for signal in INT TERM HUP; do
    run_demo "$how" "$signal" "$port" || failed=1
    port=$((port + 1))
  done
done
exit "$failed"
