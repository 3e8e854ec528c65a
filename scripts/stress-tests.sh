#!/usr/bin/env bash
# Repeats every test program that uses threads or virtual time (the
# `threading` and `desktop` labels) many times while every core is busy, to
# find races that an idle machine hides.
#   stress-tests.sh [REPEATS [BUILD_DIR]]    defaults: 200, build/linux
# Each program runs once with all its labelled cases repeated REPEATS times
# (GoogleTest's --gtest_repeat); a failure prints the program's output and
# ends the script with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-200}
build=${2:-build/linux}
scripts/install-deps.sh build checks

[[ -f "$build/CTestTestfile.cmake" ]] || { echo "stress-tests.sh: no build in $build" >&2; exit 2; }

# One line per program: working directory, then the command, tab-separated,
# ending in a filter naming its labelled cases. (A native build has a CTest
# entry per case; a cross build one per program, run whole.)
programs=$(ctest --test-dir "$build" -L 'threading|desktop' --show-only=json-v1 | python3 -c '
import json, sys
programs = {}
for test in json.load(sys.stdin)["tests"]:
    command = [a for a in test["command"] if not a.startswith("--gtest_")]
    cases = [a.split("=", 1)[1] for a in test["command"] if a.startswith("--gtest_filter=")]
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    key = (props.get("WORKING_DIRECTORY", "."), tuple(command))
    programs.setdefault(key, []).extend(cases or ["*"])
for (directory, command), cases in programs.items():
    print("\t".join([directory, *command, "--gtest_filter=" + ":".join(cases)]))
')

load_seconds=$((24 * 3600))
stress-ng --cpu "$(nproc)" --timeout "$load_seconds" >/dev/null 2>&1 &
load=$!
log=$(mktemp)
trap 'kill "$load" 2>/dev/null || true; rm -f "$log"' EXIT

echo "Repeating each program $repeats times under stress-ng --cpu $(nproc)"
started=$SECONDS
failed=0
while IFS=$'\t' read -r -a line; do
  directory=${line[0]}
  command=("${line[@]:1}")
  name=$(basename "${command[-2]}")
  one=$SECONDS
  if (cd "$directory" && "${command[@]}" --gtest_repeat="$repeats" --gtest_brief=1) >"$log" 2>&1; then
    echo "  $name: passed $repeats times ($((SECONDS - one)) s)"
  else
    echo "  $name: FAILED (output follows)"
    tail -n 60 "$log"
    failed=1
  fi
done <<<"$programs"
echo "Stress run took $((SECONDS - started)) s"
exit "$failed"
