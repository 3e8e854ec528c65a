#!/bin/sh
# Runs a command in a PID namespace of its own, with a /proc of its own, so
# that it sees, finds and ends only the processes it starts itself (the
# watchdog's forced termination ends every DAZEVAVIZ.EXE it can see); when
# the command ends, the kernel ends whatever it left behind.
#
#   private-pids.sh [--net] [--or-exit N] COMMAND [ARG]...
#       --net        a network namespace of its own as well, loopback up
#                    (ports are private then; needs `ip` from iproute2)
#       --or-exit N  where the system refuses the namespaces, print why and
#                    exit with N; without it, print one line saying so and
#                    run COMMAND as it is
#
# COMMAND runs as process 1 of the namespace with WARDENIX_PRIVATE_PIDS=1 in
# its environment. Without root (or as a root that may not make namespaces)
# a user namespace maps the user onto itself (or, with an unshare that cannot
# keep the capabilities there, onto root) first. Uses util-linux unshare.
#
# SIGINT, SIGTERM and SIGHUP to this script go on to COMMAND; when the
# namespace has not ended 10 s later, it is ended with everything in it.
set -eu

# alive PID: the process exists and has not ended (an ended one stays a
# zombie until it is waited for).
alive() {
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)
  [ -n "$state" ] && [ "$state" != Z ]
}

# run_namespace PID: waits for the unshare of PID and exits as it did.
# unshare itself takes no SIGINT or SIGTERM while it waits, and ends the
# namespace at once on any signal that ends it: so the signals go past it,
# to the namespace's process 1 (its only child).
run_namespace() {
  namespace=$1
  trap 'pass_on INT' INT
  trap 'pass_on TERM' TERM
  trap 'pass_on HUP' HUP
  while :; do
    status=0
    wait "$namespace" || status=$?
    alive "$namespace" || break
  done
  exit "$status"
}

pass_on() {
  first=$(cat "/proc/$namespace/task/$namespace/children" 2>/dev/null || true)
  # shellcheck disable=SC2086
  [ -z "$first" ] || kill -s "$1" $first 2>/dev/null || true
  tries=0
  while alive "$namespace" && [ "$tries" -lt 100 ]; do
    tries=$((tries + 1))
    sleep 0.1
  done
  ! alive "$namespace" || kill -KILL "$namespace" 2>/dev/null || true
}

net=""
or_exit=""
while [ $# -gt 0 ]; do
  case $1 in
    --net) net=--net; shift ;;
    --or-exit) [ $# -ge 2 ] || break; or_exit=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--net] [--or-exit N] COMMAND [ARG]..." >&2; exit 2; }

why="unshare (util-linux) not found"
if command -v unshare >/dev/null 2>&1; then
  if [ -n "$net" ] && ! command -v ip >/dev/null 2>&1; then
    why="no ip (iproute2) to bring the loopback interface up"
  else
    why=""
    up='[ -z "$1" ] || ip link set lo up || exit 125; shift; exec "$@"'
    for users in "" "--map-current-user --keep-caps" --map-root-user; do
      # --kill-child: the namespace ends with unshare, even when unshare is killed.
      # The options are single words, so splitting them is intended.
      # shellcheck disable=SC2086
      if failed=$(unshare $users --pid --fork --mount-proc --kill-child $net sh -c "$up" sh "$net" true 2>&1); then
        # In the background so that this script takes the signals: with the
        # standard input kept, and with SIGINT and SIGQUIT as they were, not
        # ignored as in a background command.
        exec 3<&0
        # shellcheck disable=SC2086
        env --default-signal=INT,QUIT WARDENIX_PRIVATE_PIDS=1 \
          unshare $users --pid --fork --mount-proc --kill-child $net \
          sh -c "$up" sh "$net" "$@" <&3 3<&- &
        exec 3<&-
        run_namespace $!
      fi
      why="$why${why:+; }${users:+with $users: }${failed:-unshare failed}"
    done
  fi
fi
if [ -n "$or_exit" ]; then
  echo "needs a private PID namespace: $why"
  exit "$or_exit"
fi
echo "No PID namespace of its own ($why): running in the machine's process list." >&2
exec "$@"
