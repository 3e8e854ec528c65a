#!/usr/bin/env bash
# What loading a large reply costs: peak resident memory of wardenix-inspect
# over binary and XML data packets of 4 MB and 16 MB (written by
# scripts/make-packet.py), as a multiple of the packet's size, with and without
# the resident memory the program has before it reads any packet.
#   scripts/measure-packet-memory.sh [SIZE...]     (default 4M 16M; builds build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(4M 16M)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARDENIX_TESTS=OFF >/dev/null
cmake --build build/release --target wardenix-inspect >/dev/null
inspect=$PWD/build/release/app/inspect/wardenix-inspect
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Maximum resident set size in KiB of one run, the JSON thrown away.
peak_kib() {
  /usr/bin/time -f '%M' "$inspect" packet "$1" 2>&1 >/dev/null | tail -n 1
}

scripts/make-packet.py binary 100 "$work/empty"
base=$(peak_kib "$work/empty")
echo "resident before any packet: $base KiB"
printf '%-8s %6s %12s %10s %14s\n' form size "peak (KiB)" "peak/size" "(peak-base)/size"
for size in "${sizes[@]}"; do
  for form in binary xml; do
    packet="$work/$form-$size"
    scripts/make-packet.py "$form" "$size" "$packet"
    bytes=$(stat -c %s "$packet")
    peak=$(peak_kib "$packet")
    awk -v f="$form" -v s="$size" -v p="$peak" -v b="$base" -v n="$bytes" \
      'BEGIN {printf "%-8s %6s %12d %10.2f %14.2f\n", f, s, p, p * 1024 / n, (p - b) * 1024 / n}'
  done
done
