#!/usr/bin/env bash
# Measures what a Wine prefix of its own costs each Windows test program
# (scripts/wine-run.sh): making the template prefix, which a build does once,
# and the run of a program that does next to nothing (DAZEVAVIZ.EXE --help)
# in a fresh copy, beside the same run in one prefix that all runs share.
#   scripts/wine-measure.sh [BUILD_DIR [RUNS]]
# BUILD_DIR defaults to the Windows build whose tests run on this machine
# (scripts/wine-env.sh); RUNS to 10. The build must hold DAZEVAVIZ.EXE.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
arch=win$wine_bits
build=${1:-build/windows$([[ $wine_bits == 64 ]] && echo -x64)}
runs=${2:-10}
program=$build/trialserver/DAZEVAVIZ.EXE
[[ -f "$program" ]] || { echo "wine-measure.sh: no $program (./test builds it)" >&2; exit 2; }
loader=/usr/lib/wine/wine; [[ $arch == win64 ]] && loader=/usr/lib/wine/wine64

state=$(mktemp -d)
shared=$state/shared
trap 'WINEPREFIX=$shared wineserver -k 2>/dev/null || true; rm -rf "$state"' EXIT
# Milliseconds since $1 (date +%s%N), divided by $2 (default 1), as seconds.
seconds_since() {
  local ms=$((($(date +%s%N) - $1) / 1000000 / ${2:-1}))
  printf '%d.%03d' $((ms / 1000)) $((ms % 1000))
}

started=$(date +%s%N)
scripts/wine-run.sh "$arch" "$state" "$program" --help >/dev/null
echo "template prefix ($arch) and a first run: $(seconds_since "$started") s"

started=$(date +%s%N)
for _ in $(seq "$runs"); do scripts/wine-run.sh "$arch" "$state" "$program" --help >/dev/null; done
echo "a run in a prefix of its own: $(seconds_since "$started" "$runs") s (mean of $runs)"

cp -a "$state/template" "$shared"
WINEPREFIX=$shared WINEDEBUG=-all "$loader" "$program" --help >/dev/null
started=$(date +%s%N)
for _ in $(seq "$runs"); do WINEPREFIX=$shared WINEDEBUG=-all "$loader" "$program" --help >/dev/null; done
echo "a run in a shared prefix: $(seconds_since "$started" "$runs") s (mean of $runs)"
