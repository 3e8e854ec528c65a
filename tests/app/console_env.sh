# Sourced by the console's end-to-end tests once they run in namespaces of
# their own, with $console, $server, $standin and $source_dir set as their
# arguments: a working directory holding the console and the trial server
# side by side, a private bus whose service manager reports the database
# running, and what the tests follow the console and the server by. The
# directory, the bus and a console still running are gone at exit.

work=$(mktemp -d)
mkdir -p "$work/bin" "$work/bus"
cp "$console" "$server" "$work/bin/"
touch "$work/bin/varudedizerazidad.exe"
console_pid=
cleanup() {
  [[ -n "$console_pid" ]] && kill -KILL "$console_pid" 2>/dev/null || true
  "$source_dir/demo/private-bus.sh" stop "$work/bus" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

eval "$("$source_dir/demo/private-bus.sh" start "$work/bus" --standin "$standin" \
  --unit FirebirdServerDefaultInstance.service=active)"

source "$source_dir/tests/app/wait_until.sh"
server_pid() { pgrep -f "^$work/bin/DAZEVAVIZ.EXE" | head -n 1 || true; }
server_runs() { [[ -n "$(server_pid)" ]]; }
# Server checks so far, by their log line.
checks() { grep -c ': Verificando Conexão$' "$work/log" || true; }
checks_reach() { (( $(checks) >= $1 )); }
fail() { echo "$1"; cat "$work/log"; exit 1; }

# start_console SCALE: the console in the working directory, its output in
# $work/log.
start_console() {
  [[ -z "$(server_pid)" ]] || { echo "a trial server of this test runs already" >&2; exit 1; }
  (cd "$work/bin" && exec ./wardenix-console --time-scale "$1") >"$work/log" 2>&1 &
  console_pid=$!
}

# Ctrl+C ends the console at once, with exit status 0.
quit_console() {
  kill -INT "$console_pid"
  wait_until 5 bash -c "! kill -0 $console_pid 2>/dev/null" || { echo "the console did not quit"; exit 1; }
  wait "$console_pid" || { echo "the console exited with $?"; exit 1; }
  console_pid=
}
