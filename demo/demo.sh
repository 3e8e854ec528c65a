#!/usr/bin/env bash
# The demo proper, as ./run starts it (in a PID namespace of its own where
# the system allows one: demo/private-pids.sh): starts the private bus with
# the service-manager stand-in, runs the watchdog in DIR/bin until it quits
# (Ctrl+C, or SIGTERM or SIGHUP to this script), then stops the bus and
# whatever the demo started.
#   demo.sh DIR STANDIN [WATCHDOG ARGUMENTS]...
set -euo pipefail
demo=$1 standin=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

watchdog=
stop_demo() {
  # A watchdog that did not quit in time ends with the demo.
  [[ -z "$watchdog" ]] || kill -KILL "$watchdog" 2>/dev/null || true
  "$here/private-bus.sh" stop "$demo/bus" || true
  # In the demo's own PID namespace, the kernel ends the rest with it;
  # outside, the servers started from the demo's own copy are ended.
  [[ "${WARDENIX_PRIVATE_PIDS:-}" == 1 && $$ == 1 ]] || pkill -KILL -f "^$demo/bin/DAZEVAVIZ.EXE" 2>/dev/null || true
}
trap stop_demo EXIT

# alive PID: the process exists and has not ended (an ended one stays a
# zombie until it is waited for).
alive() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1) || true
  [[ -n "$state" && "$state" != Z ]]
}

# SIGINT (Ctrl+C reaches the watchdog itself as well), SIGTERM and SIGHUP
# quit the watchdog; once it has ended, or 5 s later, this script cleans up.
quit_demo() {
  [[ -n "$watchdog" ]] || exit $((128 + $2))
  kill -s "$1" "$watchdog" 2>/dev/null || true
  local tries=0
  while alive "$watchdog" && ((tries++ < 50)); do sleep 0.1; done
  ! alive "$watchdog" || kill -KILL "$watchdog" 2>/dev/null || true
}
trap 'quit_demo INT 2' INT
trap 'quit_demo TERM 15' TERM
trap 'quit_demo HUP 1' HUP

eval "$("$here/private-bus.sh" start "$demo/bus" --standin "$standin" \
  --unit FirebirdServerDefaultInstance.service=active)"

echo "Demo environment in $demo; Ctrl+C quits."
cd "$demo/bin"
# In the background, so that the signals reach this script while it waits.
./wardenix-console "$@" &
watchdog=$!
while :; do
  status=0
  wait "$watchdog" || status=$?
  alive "$watchdog" || break
done
watchdog=
exit "$status"
