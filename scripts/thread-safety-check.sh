#!/usr/bin/env bash
# Builds every library under the programs (all but app/) with clang's
# thread-safety analysis: a lock taken or data touched against its
# annotations (runtime/thread_annotations.h) fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build checks
dir=build/thread-safety
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-Wthread-safety -Werror" -DWARDENIX_TESTS=OFF >/dev/null
mapfile -t libraries < <(ninja -C "$dir" -t targets all |
  grep -o '^[^:]*/libwardenix_[a-z0-9_]*\.a' | grep -v '^app/')
cmake --build "$dir" -j "$(nproc)" --target "${libraries[@]}"
