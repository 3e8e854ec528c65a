# Sourced by the shell tests.
# wait_until SECONDS COMMAND...: polls every 50 ms; fails when time runs out.
wait_until() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@"; do
    (( $(date +%s%N) < deadline )) || return 1
    sleep 0.05
  done
}
