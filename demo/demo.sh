#!/usr/bin/env bash
# The demo proper, as ./run starts it (in a PID namespace of its own where
# the system allows one: demo/private-pids.sh): starts the private bus with
# the service-manager stand-in, runs the watchdog in DIR/bin until it quits
# (Ctrl+C), then stops the bus and whatever the demo started.
#   demo.sh DIR STANDIN [WATCHDOG ARGUMENTS]...
set -euo pipefail
demo=$1 standin=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

stop_demo() {
  "$here/private-bus.sh" stop "$demo/bus" || true
  # In the demo's own PID namespace, the kernel ends the rest with it;
  # outside, the servers started from the demo's own copy are ended.
  [[ "${WARDENIX_PRIVATE_PIDS:-}" == 1 && $$ == 1 ]] || pkill -KILL -f "^$demo/bin/DAZEVAVIZ.EXE" 2>/dev/null || true
}
trap stop_demo EXIT
# Ctrl+C reaches the watchdog, which quits; this script then cleans up.
trap : INT
eval "$("$here/private-bus.sh" start "$demo/bus" --standin "$standin" \
  --unit FirebirdServerDefaultInstance.service=active)"

echo "Demo environment in $demo; Ctrl+C quits."
cd "$demo/bin"
./wardenix-console "$@"
