#!/bin/sh
# Starts and stops a private system bus with the service manager stand-in, so
# that the watchdog finds its database service without a real systemd.
#
#   private-bus.sh start DIR [--standin PATH] [--unit NAME.service=STATE]...
#       Starts dbus-daemon listening on DIR/system_bus_socket and the stand-in
#       (wardenix-svcmgr-standin, from PATH unless given) with the units given,
#       by default FirebirdServerDefaultInstance.service=active; waits until
#       both answer and prints the line
#         export DBUS_SYSTEM_BUS_ADDRESS=unix:path=DIR/system_bus_socket
#       to evaluate in the shell that runs the watchdog. Process ids are kept in
#       DIR/dbus-daemon.pid and DIR/standin.pid, output in DIR/*.log.
#   private-bus.sh stop DIR
#       Ends the processes of those pid files.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
manager=org.freedesktop.systemd1

usage() {
  echo "usage: $0 start DIR [--standin PATH] [--unit NAME.service=STATE]... | stop DIR" >&2
  exit 2
}

# has_owner ADDRESS NAME: true when NAME is owned on the bus at ADDRESS.
has_owner() {
  dbus-send --bus="$1" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$2" 2>/dev/null | grep -q 'boolean true'
}

# wait_for ADDRESS NAME PID: polls for at most 10 s; fails early if PID ended.
wait_for() {
  tries=0
  while ! has_owner "$1" "$2"; do
    runs "$3" || return 1
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || return 1
    sleep 0.1
  done
}

# runs PID: true while the process exists and has not ended (an ended one
# may stay a zombie until whoever adopted it reaps it).
runs() {
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)
  [ -n "$state" ] && [ "$state" != Z ]
}

# stop_pid FILE WHAT TEXT: ends the process of FILE, waiting at most 5 s, if
# its /proc/PID/WHAT (cmdline or environ) still holds TEXT, so that a process
# id recycled since is left alone.
stop_pid() {
  [ -f "$1" ] || return 0
  pid=$(cat "$1")
  if [ -n "$pid" ] && runs "$pid" && grep -qF -e "$3" "/proc/$pid/$2" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    tries=0
    while runs "$pid" && [ "$tries" -lt 50 ]; do
      tries=$((tries + 1))
      sleep 0.1
    done
    ! runs "$pid" || kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$1"
}

stop() {
  [ -d "$1" ] || return 0
  socket="$(cd "$1" && pwd)/system_bus_socket"
  stop_pid "$1/standin.pid" environ "DBUS_SYSTEM_BUS_ADDRESS=unix:path=$socket"
  stop_pid "$1/dbus-daemon.pid" cmdline "--address=unix:path=$socket"
  rm -f "$socket"
}

start() {
  dir=$1
  shift
  standin=$(command -v wardenix-svcmgr-standin || true)
  units=""
  while [ $# -gt 0 ]; do
    case $1 in
      --standin) [ $# -ge 2 ] || usage; standin=$2; shift 2 ;;
      --unit) [ $# -ge 2 ] || usage; units="$units --unit $2"; shift 2 ;;
      *) usage ;;
    esac
  done
  [ -n "$units" ] || units="--unit FirebirdServerDefaultInstance.service=active"
  [ -n "$standin" ] && [ -x "$standin" ] || { echo "$0: wardenix-svcmgr-standin not found" >&2; exit 1; }

  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ -f "$dir/dbus-daemon.pid" ] && runs "$(cat "$dir/dbus-daemon.pid")"; then
    echo "$0: $dir is in use; stop it first" >&2
    exit 1
  fi
  stop "$dir"  # clears what a run that was not stopped left behind
  address="unix:path=$dir/system_bus_socket"

  dbus-daemon --config-file="$here/private-bus.conf" --address="$address" --nofork --nopidfile \
    </dev/null >"$dir/dbus-daemon.log" 2>&1 &
  echo $! >"$dir/dbus-daemon.pid"
  if ! wait_for "$address" org.freedesktop.DBus "$(cat "$dir/dbus-daemon.pid")"; then
    echo "$0: the bus did not come up (see $dir/dbus-daemon.log)" >&2
    stop "$dir"
    exit 1
  fi

  # The unit specifications are single words, so splitting them is intended.
  # shellcheck disable=SC2086
  DBUS_SYSTEM_BUS_ADDRESS=$address "$standin" $units </dev/null >"$dir/standin.log" 2>&1 &
  echo $! >"$dir/standin.pid"
  if ! wait_for "$address" "$manager" "$(cat "$dir/standin.pid")"; then
    echo "$0: the stand-in did not come up (see $dir/standin.log)" >&2
    stop "$dir"
    exit 1
  fi
  echo "export DBUS_SYSTEM_BUS_ADDRESS=$address"
}

[ $# -ge 2 ] || usage
command=$1
shift
case $command in
  start) start "$@" ;;
  stop) stop "$1" ;;
  *) usage ;;
esac
