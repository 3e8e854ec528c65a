#!/usr/bin/env bash
# The fault matrix: the watchdog end to end, at a scaled clock in the demo
# environment, against the trial server in each of its fault modes. For each
# mode it tells whether and when the faulty server was killed and when a
# server was started again, in seconds of the watchdog's own clock, counted
# from the server check T that first met the fault, beside what the server
# check's rules give for it.
#   scripts/fault-matrix.sh [SCALE]       (default 20: about 4 minutes)
# WARDENIX_DEMO_BUILD=build/DIR takes the programs of a build of one's own.
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${1:-20}
source scripts/demo-env.sh
demo_env_isolate "$PWD/scripts/$(basename "$0")" "$@"
demo_env_start

horizon=340000   # watchdog milliseconds each mode runs: five checks after the fault
server="$work/bin/DAZEVAVIZ.EXE"

# Microseconds of real time, without a process to ask.
real_us() { local now=${EPOCHREALTIME/[.,]/}; echo $((10#$now)); }
# Watchdog milliseconds since the console started (at real $started_us).
now_ms() { local now=${EPOCHREALTIME/[.,]/}; t=$(( (10#$now - started_us) * scale / 1000 )); }
# Milliseconds as seconds with one decimal; relative ones with their sign.
secs() { printf '%d.%d' $(($1 / 1000)) $(($1 % 1000 / 100)); }
rel() {
  local d=$(($1 - $2)) sign=+
  ((d >= 0)) || { sign=-; d=$((-d)); }
  printf 'T%s%s' "$sign" "$(secs "$d")"
}
# The trial server's delay for D watchdog seconds: the server runs unscaled.
real_ms() { echo $(( $1 * 1000 / scale )); }

# Every live trial server of the demo, with whether it is a child one:
# fills the array `live` with "PID:server" or "PID:child".
scan() {
  live=()
  local dir state
  local -a argv
  for dir in /proc/[0-9]*; do
    { mapfile -d '' -t argv <"$dir/cmdline"; } 2>/dev/null || continue
    [[ "${argv[0]:-}" == "$server" ]] || continue
    { read -r state <"$dir/stat"; } 2>/dev/null || continue
    state=${state##*) }
    [[ "${state:0:1}" != Z ]] || continue
    if [[ " ${argv[*]} " == *" --mode child "* ]]; then
      live+=("${dir#/proc/}:child")
    else
      live+=("${dir#/proc/}:server")
    fi
  done
}

# The ticks of the server checks (watchdog milliseconds, to the second) from
# the log's stamps: the start sequence logs "Iniciando Wardenix" at 30 s, and
# a check logs "Verificando Conexão" 2 s after its tick.
check_times() {
  awk -F: '
    function t() { return $1 * 3600 + $2 * 60 + $3 }
    /: Iniciando Wardenix$/ && !base { base = t() - 30 }
    /: Verificando Conexão$/ { d = t() - base - 2; if (d < 0) d += 86400; print d * 1000 }' "$work/log"
}

rows=()
# run_mode NAME EXPECTED ACTION SERVER-ARGUMENT...: ACTION is "none", "stop"
# (SIGSTOP to the healthy server at 200 s, after two checks it passed) or
# "exits" (the server ends by itself, as its arguments say).
run_mode() {
  local name=$1 expected=$2 action=$3
  shift 3
  printf '%s\n' "$@" >"$work/bin/DAZEVAVIZ.ARGS"
  [[ $# -gt 0 ]] || rm -f "$work/bin/DAZEVAVIZ.ARGS"
  : >"$work/log"
  started_us=$(real_us)
  demo_env_console --time-scale "$scale"

  declare -A first_seen=() last_seen=() kind=()
  local fault="" stopped="" t=0 entry pid
  while now_ms; ((t < horizon)); do
    scan
    for entry in "${live[@]}"; do
      pid=${entry%%:*}
      [[ -n "${first_seen[$pid]:-}" ]] || { first_seen[$pid]=$t; kind[$pid]=${entry#*:}; }
      last_seen[$pid]=$t
    done
    if [[ "$action" == stop && -z "$stopped" ]] && ((t >= 200000)); then
      for entry in "${live[@]}"; do [[ "${entry#*:}" == server ]] && kill -STOP "${entry%%:*}"; done
      stopped=$t
    fi
    sleep 0.01
  done
  kill -KILL "$console_pid" 2>/dev/null || true
  wait "$console_pid" 2>/dev/null || true
  pkill -KILL -f "^$server" 2>/dev/null || true
  sleep 0.2

  # The faulty server is the first one started; the fault begins with its
  # start, with the stop, or with its own end.
  local faulty="" p
  for p in "${!first_seen[@]}"; do
    [[ "${kind[$p]}" == server ]] || continue
    if [[ -z "$faulty" ]] || ((first_seen[$p] < first_seen[$faulty])); then faulty=$p; fi
  done
  if [[ -z "$faulty" ]]; then
    rows+=("| $name | - | no server was started | - | $expected |")
    return
  fi
  local ended=${last_seen[$faulty]}
  ((ended < horizon - 1000)) || ended=""
  case $action in
    none) fault=${first_seen[$faulty]} ;;
    stop) fault=$stopped ;;
    exits) fault=${ended:-$horizon} ;;
  esac
  local T
  T=$(check_times | awk -v f="$fault" '$1 > f { print; exit }')
  T=${T:-$horizon}

  local killed="not killed" again=""
  if [[ "$action" == exits ]]; then
    killed="ended by itself at $(secs "${ended:-$horizon}") s"
  elif [[ -n "$ended" ]]; then
    killed="killed $(rel "$ended" "$T") ($(secs "$ended") s)"
  fi
  for p in "${!first_seen[@]}"; do
    # The faulty server's own child, not those of the servers after it.
    [[ "${kind[$p]}" == child ]] || continue
    [[ -z "$ended" ]] || ((first_seen[$p] < ended)) || continue
    if ((last_seen[$p] < horizon - 1000)); then
      killed+="; its child ended $(rel "${last_seen[$p]}" "$T")"
    else
      killed+="; its child not killed"
    fi
  done
  if [[ -n "$ended" ]]; then
    again=$(for p in "${!first_seen[@]}"; do
      [[ "${kind[$p]}" == server && "$p" != "$faulty" ]] || continue
      local note=""
      ((last_seen[$p] - first_seen[$p] >= 1000)) || note=" (ended at once: port taken)"
      echo "${first_seen[$p]} $(rel "${first_seen[$p]}" "$T")$note"
    done | sort -n | cut -d' ' -f2- | paste -sd, - | sed 's/,/, /g')
  fi
  echo "$name: fault at $(secs "$fault") s, met by the check at $(secs "$T") s;" \
    "checks at $(check_times | awk '{ printf "%s%d", (NR > 1 ? " " : ""), $1 / 1000 }')" >&2
  rows+=("| $name | $(secs "$T") | $killed | ${again:--} | $expected |")
}

rules_row_none="without a previous responsiveness watchdog"
run_mode "accept (healthy)" "not killed" none
run_mode "refuse" "killed T+22 by the connection watchdog, started T+62 ($rules_row_none)" none --mode refuse
run_mode "hang" "killed T+22 by the connection watchdog, started T+62 ($rules_row_none)" none --mode hang
run_mode "hang, --spawn-child" "as hang, with its child" none --mode hang --spawn-child
run_mode "hang-call" "disconnected T+24; the probe fails before it starts a responsiveness watchdog: never killed" none --mode hang-call
run_mode "error-call" "the probe fails before it starts a responsiveness watchdog: never killed" none --mode error-call
run_mode "cut-reply" "as error-call: never killed" none --mode cut-reply
run_mode "null-result" "data through AS_GetRecords: not killed" none --mode null-result
run_mode "--slow 10 s" "slower than about 6 s: killed, by what the server must do; by the probe's timing, each watchdog waits as long as its probe took: not killed" none --slow "$(real_ms 10)"
run_mode "--slow 25 s" "disconnected T+24 before the answer; as hang-call" none --slow "$(real_ms 25)"
run_mode "stopped after two passing checks" "killed T+6 by the previous responsiveness watchdog, started T+22 and T+26" stop
# Started at 122 s, it ends at about 200 s, between the checks at 180 and 220.
run_mode "ends by itself after two passing checks" "started T+22 and T+26" exits \
  --exit-after $(( (200 - 122 + scale - 1) / scale ))

echo
echo "Fault matrix at --time-scale $scale, in seconds of the watchdog's clock (T: the tick of the"
echo "check that first met the fault; a start that fails at once may pass unseen between two looks):"
echo
echo "| Server | T (s) | Faulty server | Started again | The server check's rules give |"
echo "|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
