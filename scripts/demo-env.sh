# Sourced by the measurement scripts: a throw-away demo environment with the
# release build's watchdog and trial server in a directory of their own and a
# private bus whose service-manager stand-in reports the database running.
# It removes everything at exit.
#   demo_env_isolate SCRIPT "$@"  first: runs the calling script again in a PID
#                           namespace of its own (the forced termination ends
#                           every trial server it can see), or stops it with
#                           the reason where the system refuses one
#   demo_env_start          sets $work; the programs are in $work/bin
#                           (from WARDENIX_DEMO_BUILD, a build directory
#                           whose programs are built already, if set)
#   demo_env_console ARGS   starts wardenix-console there; sets $console_pid,
#                           its output goes to $work/log

demo_env_isolate() {
  [[ "${WARDENIX_PRIVATE_PIDS:-}" == 1 && $$ == 1 ]] || exec demo/private-pids.sh --net --or-exit 1 "$@"
}

demo_env_start() {
  local build=${WARDENIX_DEMO_BUILD:-build/release}
  if [[ -z "${WARDENIX_DEMO_BUILD:-}" ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARDENIX_TESTS=OFF >/dev/null
    cmake --build "$build" --target wardenix-console wardenix-svcmgr-standin DAZEVAVIZ >/dev/null
  fi
  work=$(mktemp -d)
  mkdir -p "$work/bin" "$work/bus"
  cp "$build/app/console/wardenix-console" "$build/trialserver/DAZEVAVIZ.EXE" "$work/bin/"
  touch "$work/bin/varudedizerazidad.exe"
  console_pid=
  trap demo_env_stop EXIT
  eval "$(demo/private-bus.sh start "$work/bus" --standin "$build/demo/wardenix-svcmgr-standin" \
    --unit FirebirdServerDefaultInstance.service=active)"
}

demo_env_console() {
  (cd "$work/bin" && exec ./wardenix-console "$@") >"$work/log" 2>&1 &
  console_pid=$!
}

demo_env_stop() {
  [[ -n "${console_pid:-}" ]] && kill -KILL "$console_pid" 2>/dev/null || true
  pkill -KILL -f "^$work/bin/DAZEVAVIZ.EXE" 2>/dev/null || true
  demo/private-bus.sh stop "$work/bus" >/dev/null 2>&1 || true
  rm -rf "$work"
}
