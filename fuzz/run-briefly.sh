#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a short time each, starting from
# the seeds committed beside its source (fuzz/<subsystem>/seeds*).
#   fuzz/run-briefly.sh BUILD_DIR [SECONDS]
# Fails when a target crashes, leaks or trips a sanitizer.
set -euo pipefail
build=${1:?usage: run-briefly.sh BUILD_DIR [SECONDS]}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
while IFS= read -r target; do
  name=$(basename "$target")
  subsystem=$(basename "$(dirname "$target")")
  corpus="$work/$name"
  mkdir -p "$corpus"
  for seeds in "$here/$subsystem"/seeds*; do
    [[ -d "$seeds" ]] && cp -r "$seeds"/. "$corpus"/ 2>/dev/null || true
  done
  # A dictionary beside the source (fuzz/<subsystem>/<name>.dict) is used too.
  dict=()
  [[ -f "$here/$subsystem/$name.dict" ]] && dict=(-dict="$here/$subsystem/$name.dict")
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -print_final_stats=1 "${dict[@]}" "$corpus" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|cov:" "$work/$name.log" | tail -n 3
  fi
done < <(find "$build/fuzz" -type f -name 'fuzz_*' -perm -u+x | sort)
exit $status
