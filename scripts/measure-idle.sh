#!/usr/bin/env bash
# Idle cost of wardenix-console on Linux: CPU time, resident memory, threads
# and context switches over a window of real time between timer ticks.
#   scripts/measure-idle.sh [SECONDS]     (default 120; builds build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
# The release build, as shipped.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARDENIX_TESTS=OFF >/dev/null
cmake --build build/release --target wardenix-console >/dev/null
console=$PWD/build/release/app/console/wardenix-console
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$console" "$work/"
touch "$work/varudedizerazidad.exe"
# No bus at this address: the database check fails every 30 s, which is the
# only timer then running.
DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/none "$work/wardenix-console" >"$work/log" 2>&1 &
pid=$!
sleep 2
# Nanoseconds on the CPU, summed over the threads (schedstat is exact where
# the clock ticks of /proc/PID/stat are 10 ms coarse).
read_cpu() { cat /proc/$pid/task/*/schedstat | awk '{s += $1} END {printf "%d", s}'; }
switches() { awk '/ctxt_switches/ {s += $2} END {print s}' /proc/$pid/task/*/status; }
cpu0=$(read_cpu); sw0=$(switches)
sleep "$seconds"
cpu1=$(read_cpu); sw1=$(switches)
rss=$(awk '/VmRSS/ {print $2, $3}' "/proc/$pid/status")
threads=$(awk '/Threads/ {print $2}' "/proc/$pid/status")
cpu_us=$(( (cpu1 - cpu0) / 1000 ))
echo "idle window:        ${seconds} s"
echo "CPU time:           ${cpu_us} us"
echo "CPU per minute:     $(awk -v c="$cpu_us" -v s="$seconds" 'BEGIN {printf "%.3f", c * 60 / s / 1000}') ms"
echo "resident (VmRSS):   $rss"
echo "threads:            $threads"
echo "context switches:   $((sw1 - sw0)) (log lines written meanwhile: $(wc -l <"$work/log"))"
