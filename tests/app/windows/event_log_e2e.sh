#!/usr/bin/env bash
# End to end under Wine: wardenix.exe (32-bit as shipped, in build/windows)
# reports its diagnostic stream to the Event Log through the real advapi32
# calls, each line as an event of its kind's type. Wine's advapi32 keeps no
# log; it prints each ReportEventW call on its debug channels, which this
# test reads back:
#   TID:fixme:advapi:ReportEventW (HANDLE,0xTYPE,0xCATEGORY,0xEVENTID,...): stub
#   TID:CLASS:eventlog:ReportEventW L"STRING"
# (CLASS: trace for information, warn for a warning, err for an error);
# the debug output as TID:warn:seh:OutputDebugStringA "STRING".
#
# In a prefix of its own (scripts/wine-run.sh) and a folder of its own,
# event-log-driver.exe holds the port the watchdog connects to (bound, never
# listening: every connect is refused), runs the database service and starts
# wardenix.exe at a scaled time. The server is not there at first: its
# launch fails (an error). Then it is put there, runs on a port of its own
# and is started (information), never answers on the watchdog's port and is
# killed (warnings), and started again (information).
#   event_log_e2e.sh WARDENIX TRIAL_SERVER DRIVER TEST_SERVICE DEZOZUDE_DLL SOURCE_DIR EMULATOR...
set -euo pipefail
program=$1 server=$2 driver=$3 service=$4 dll=$5 source_dir=$6
shift 6  # the rest runs a Windows program in a prefix of its own
scale=20  # one virtual second is 50 ms

work=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-eventlog.XXXXXX")
stage=$work/stage
control=$work/control
run=
cleanup() {
  if [[ -n "$run" ]]; then
    touch "$control/done"
    # The driver quits the program on its own; the prefix ends with it.
    for _ in $(seq 100); do kill -0 "$run" 2>/dev/null || break; sleep 0.2; done
    kill -TERM "$run" 2>/dev/null || true
    wait "$run" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$stage" "$control"
cp "$program" "$driver" "$service" "$dll" "$stage/"
touch "$stage/varudedizerazidad.exe"
# Read by the server when the watchdog starts it without arguments.
printf -- '--port\n0\n' >"$stage/DAZEVAVIZ.ARGS"

windows_path() { local p="Z:$1"; echo "${p//\//\\}"; }
WINEDEBUG=-all,+eventlog,fixme+advapi,warn+seh "$@" --display "$stage/$(basename "$driver")" \
  "$(windows_path "$stage")" "$scale" "$(windows_path "$control")" \
  >"$work/driver.log" 2>"$work/wine.log" &
run=$!

source "$source_dir/tests/app/wait_until.sh"

# The reported events, one a line: TYPE ID CLASS TEXT (type and id in hex,
# the text unescaped).
events() {
  local -A call=()
  local line text
  while IFS= read -r line; do
    if [[ $line =~ ^([0-9a-f]+):fixme:advapi:ReportEventW\ \([0-9A-Fa-f]+,0x([0-9a-f]+),0x[0-9a-f]+,0x([0-9a-f]+), ]]; then
      call[${BASH_REMATCH[1]}]="${BASH_REMATCH[2]} ${BASH_REMATCH[3]}"
    elif [[ $line =~ ^([0-9a-f]+):(trace|warn|err):eventlog:ReportEventW\ L\"(.*)\"$ ]]; then
      text=${BASH_REMATCH[3]//\\\"/\"}
      echo "${call[${BASH_REMATCH[1]}]:-? ?} ${BASH_REMATCH[2]} ${text//\\\\/\\}"
    fi
  done <"$work/wine.log"
}
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
server_path=$(windows_path "$stage/DAZEVAVIZ.EXE")
server_path=${server_path//\\/\\\\}  # as a pattern
failed_launch="^0001 00000003 err $stamp launch: $server_path could not be started: .+$"
launch="^0004 00000001 trace $stamp launch: $server_path started, pid [0-9]+$"
kill_line="^0002 00000002 warn $stamp kill: DAZEVAVIZ.EXE with its descendants: pid [0-9]+ ordered to end$"

fail() {
  echo "FAIL: $1"
  echo "-- events:"; events
  echo "-- driver:"; cat "$work/driver.log"
  echo "-- Wine (last lines):"; tail -n 40 "$work/wine.log"
  exit 1
}
# A kill, and after it a launch: a relaunch.
relaunched() { events | grep -E -e "$kill_line" -e "$launch" | grep -A1 -E "$kill_line" | grep -E "$launch" >/dev/null; }
running() { kill -0 "$run" 2>/dev/null; }

# (Whole: a grep -q that stops early would fail the pipeline.)
has_event() { events | grep -E "$1" >/dev/null; }

wait_until 120 has_event "$failed_launch" || fail "no failed launch reported as an error"

# The server is put in place whole (a rename), for the next launch.
cp "$server" "$stage/server.tmp"
mv "$stage/server.tmp" "$stage/DAZEVAVIZ.EXE"
wait_until 120 has_event "$launch" || fail "no launch reported as information"

# It runs, but not on the watchdog's port: the next check kills it, and the
# one after that starts it again. Where Wine's taskkill rejects the tree
# option (/t), the kill ends nothing and the line that says so is an error;
# the driver then ends the server as the kill would have.
outlived="^0001 00000003 err $stamp kill: pid [0-9]+ still runs 5 s after the kill$"
ends=0
deadline=$((SECONDS + 240))
until relaunched; do
  (( SECONDS < deadline )) || fail "no kill followed by a launch"
  running || fail "the driver ended early"
  if (( $(events | grep -Ec "$outlived") > ends )); then
    ends=$((ends + 1))
    touch "$control/end-$ends"
  fi
  sleep 0.2
done

# Every event's type goes with its id, and its channel class with its type.
mismatched=$(events | grep -Ev '^(0004 00000001 trace|0002 00000002 warn|0001 00000003 err) ' || true)
[[ -z "$mismatched" ]] || fail "events of mixed kinds: $mismatched"
# The watchdog's decision and the refused connects are warnings.
has_event "^0002 00000002 warn $stamp connection watchdog: the server is not connected, and DAZEVAVIZ.EXE runs as pid [0-9]+: killing it \(a later check starts it again\)$" ||
  fail "the decision to kill is no warning"
has_event "^0002 00000002 warn $stamp check: cannot connect to 127.0.0.1:[0-9]+: .+$" ||
  fail "a refused connect is no warning"
# The debug output has the same lines.
kill_text=$(events | grep -E "$kill_line" | head -n 1 | cut -d' ' -f4-)
grep ':seh:OutputDebugStringA ' "$work/wine.log" | grep -F "$kill_text" >/dev/null ||
  fail "the debug output lacks the kill line"

touch "$control/done"
wait "$run" || fail "the driver failed"
run=
events | grep -E -e "$failed_launch" -e "$launch" -e "$kill_line" -e "$outlived"
(( ends == 0 )) || echo "(this Wine's taskkill ended no server: the driver ended it $ends time(s))"
