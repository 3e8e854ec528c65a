#!/usr/bin/env bash
# Runs wardenix-console in the demo environment at a scaled clock for a given
# number of server checks and samples its threads, resident memory and open
# file descriptors along the way: all three must stay flat. It also follows
# the trial server's process id: a healthy server must never be relaunched.
#   scripts/measure-soak.sh [CHECKS] [SCALE]     (default 1000 checks at scale 100, about 7 minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
checks=${1:-1000}
# The responsiveness watchdog looks 4 s after the next probe is due. Scaled
# by 500 that is 8 ms of real time, less than a loaded or virtual machine
# may take to wake a sleeping thread and answer five round trips: a healthy
# server then looks dead now and then. Scaled by 100 it is 40 ms.
scale=${2:-100}
source scripts/demo-env.sh
demo_env_isolate "$PWD/scripts/$(basename "$0")" "$@"
demo_env_start
demo_env_console --time-scale "$scale"
pid=$console_pid

sample() {
  local done_checks=$1
  printf '%6d checks  threads %2s  VmRSS %6s kB  fds %3s\n' "$done_checks" \
    "$(awk '/^Threads/ {print $2}' /proc/$pid/status)" \
    "$(awk '/^VmRSS/ {print $2}' /proc/$pid/status)" \
    "$(ls /proc/$pid/fd | wc -l)"
}
# Samples at 10 and 100 checks, then every 500; the log is cleared once it
# holds more than 3000 lines, so memory levels off past that.
next=10
declare -A server_pids=()
while :; do
  for server in $(pgrep -f "^$work/bin/DAZEVAVIZ.EXE" || true); do
    if [[ -z "${server_pids[$server]:-}" ]]; then
      (( ${#server_pids[@]} == 0 )) ||
        echo "a new server (pid $server) after $(grep -c ': Verificando Conexão$' "$work/log" || true) checks"
      server_pids[$server]=1
    fi
  done
  done_checks=$(grep -c ': Verificando Conexão$' "$work/log" || true)
  if (( done_checks >= next )); then
    sample "$done_checks"
    (( next >= checks )) && break
    if (( next < 100 )); then next=100; elif (( next < 500 )); then next=500; else next=$(( next + 500 )); fi
    (( next > checks )) && next=$checks
  fi
  kill -0 "$pid" 2>/dev/null || { echo "the console ended early"; cat "$work/log"; exit 1; }
  sleep 0.2
done
echo "trial servers running at the end: $(pgrep -c -f "^$work/bin/DAZEVAVIZ.EXE" || true)"
# The first server is the one the watchdog starts; every other one seen is a
# relaunch (two relaunches between samples count as one).
echo "server relaunches seen: $(( ${#server_pids[@]} > 0 ? ${#server_pids[@]} - 1 : 0 ))"
