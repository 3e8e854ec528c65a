#!/usr/bin/env bash
# At real time, in the demo environment: how long from the trial server's
# death to its new start, and from the start of a hanging server to its kill.
#   scripts/measure-recovery.sh [SCALE]    (default 1: real time, about 6 minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${1:-1}
source scripts/demo-env.sh
demo_env_isolate "$PWD/scripts/$(basename "$0")" "$@"
demo_env_start
demo_env_console --time-scale "$scale"
pid=$console_pid

now() { date +%s.%N; }
server_pid() { pgrep -f "^$work/bin/DAZEVAVIZ.EXE" | head -n 1 || true; }
wait_for() {  # wait_for SECONDS COMMAND...
  local end=$(( $(date +%s) + $1 )); shift
  until "$@"; do (( $(date +%s) < end )) || return 1; sleep 0.05; done
}
checks() { grep -c ': Verificando Conexão$' "$work/log" || true; }
seconds() { awk -v a="$1" -v b="$2" -v s="$scale" 'BEGIN {printf "%.1f", (b - a) * s}'; }

# Healthy supervision first: the server started by the watchdog, then two
# checks that pass.
wait_for $((400 / scale + 10)) bash -c "pgrep -f '^$work/bin/DAZEVAVIZ.EXE' >/dev/null"
start_checks=$(checks)
wait_for $((200 / scale + 10)) bash -c "(( \$(grep -c ': Verificando Conexão\$' '$work/log') >= $start_checks + 3 ))"

victim=$(server_pid)
died=$(now)
kill -KILL "$victim"
wait_for $((200 / scale + 10)) bash -c "p=\$(pgrep -f '^$work/bin/DAZEVAVIZ.EXE' | head -n 1); [[ -n \$p && \$p != $victim ]]"
started=$(now)
echo "death to new start: $(seconds "$died" "$started") s (virtual)"

# The next start hangs: it accepts connections and never answers.
printf -- '--mode\nhang\n' >"$work/bin/DAZEVAVIZ.ARGS"
wait_for 10 bash -c "[[ -n \$(pgrep -f '^$work/bin/DAZEVAVIZ.EXE') ]]"
victim=$(server_pid)
kill -KILL "$victim"
wait_for $((200 / scale + 10)) bash -c "p=\$(pgrep -f '^$work/bin/DAZEVAVIZ.EXE' | head -n 1); [[ -n \$p && \$p != $victim ]]"
hung=$(now)
hanging=$(server_pid)
rm -f "$work/bin/DAZEVAVIZ.ARGS"
wait_for $((200 / scale + 10)) bash -c "! kill -0 $hanging 2>/dev/null || [[ \$(ps -o stat= -p $hanging) == Z* ]]"
killed=$(now)
echo "hanging server started to its kill: $(seconds "$hung" "$killed") s (virtual)"
