#!/usr/bin/env bash
# How long one server probe takes on loopback (connect, probe query, answer
# loaded into the client dataset, disconnect; without the check's 2 s sleep),
# against five raw round trips measured in the same run, and the probe for
# answers of growing size: its throughput and its peak heap over the answer.
#   scripts/measure-probe.sh [MEGABYTES ...]     (default 0.1 1 10 30; builds build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARDENIX_BENCH=ON \
  -DWARDENIX_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_probe_speed >/dev/null
"$build/bench/supervisor/bench_probe_speed" "$@"
