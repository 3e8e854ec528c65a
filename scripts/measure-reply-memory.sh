#!/usr/bin/env bash
# What a large server reply costs the client in memory, for each form it can
# take: a binary data packet and an XML data packet (each loaded into the
# client dataset, as the probe does), an OLE variant stream of arrays of
# simple types, and a long text. Each reply is served by a process of its
# own over loopback and pulled through the real client path; each line gives
# the peak growth of live heap (also for the remote call alone, before the
# dataset loads) and of resident memory, over the reply's size.
#   scripts/measure-reply-memory.sh [MEGABYTES ...]     (default 4 16; builds build/reply-memory)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(4 16)
build=build/reply-memory
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARDENIX_BENCH=ON \
  -DWARDENIX_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_reply_memory >/dev/null
for size in "${sizes[@]}"; do
  for form in binary-packet xml-packet variant-arrays text; do
    "$build/bench/datasnap/bench_reply_memory" "$form" "$size"
  done
done
