#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build checks
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DWARDENIX_FUZZ=ON -DWARDENIX_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target wardenix_fuzzers
fuzz/run-briefly.sh build/fuzz "${WARDENIX_FUZZ_SECONDS:-20}"
