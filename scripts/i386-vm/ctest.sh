#!/usr/bin/env bash
# Runs the tests of a build as ctest would, with each test's time limit
# multiplied: in the emulated i386 machine a program takes ten times as long
# or more as on the host, and ctest itself has no way to scale the limits.
#   scripts/i386-vm/ctest.sh BUILD_DIR [SELECTION...]
# SELECTION: ctest's own options that choose tests (-R, -E, -L, -LE, -I).
# JOBS tests at a time (the CPUs'), limits TIMEOUT_FACTOR times (10) the
# tests' TIMEOUT (1500 s for a test without one). Prints each test's result
# as ctest does, the output of those that fail, and exits 1 if one failed.
# Ten: the process operations' 200 launch-and-kill rounds took 1090 s of an
# idle 2-core host's emulation, and past 1800 s with the host at load 4.
# Honours a test's WORKING_DIRECTORY, ENVIRONMENT, SKIP_RETURN_CODE,
# WILL_FAIL, PASS_REGULAR_EXPRESSION and FAIL_REGULAR_EXPRESSION; needs jq.
set -euo pipefail
build=${1:?usage: scripts/i386-vm/ctest.sh BUILD_DIR [SELECTION...]}
shift
jobs=${JOBS:-$(nproc)} factor=${TIMEOUT_FACTOR:-10}
logs=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-ctest.XXXXXX")
trap 'rm -rf "$logs"' EXIT

# One line per test: index, name, limit, skip code, will-fail, directory,
# then the command, the environment and the pass and fail expressions as
# base64 JSON arrays.
ctest --test-dir "$build" --show-only=json-v1 "$@" 2>/dev/null | jq -r --argjson factor "$factor" '
  .tests | to_entries[] | .key as $i | .value |
  ((.properties // []) | map({(.name): .value}) | add // {}) as $p |
  [($i + 1), .name, (($p.TIMEOUT // 1500) * $factor | floor), ($p.SKIP_RETURN_CODE // -1),
   (if $p.WILL_FAIL then 1 else 0 end), ($p.WORKING_DIRECTORY // "."),
   (.command | tojson | @base64), (($p.ENVIRONMENT // []) | tojson | @base64),
   (($p.PASS_REGULAR_EXPRESSION // []) | tojson | @base64),
   (($p.FAIL_REGULAR_EXPRESSION // []) | tojson | @base64)] | @tsv' >"$logs/tests"
total=$(wc -l <"$logs/tests")
width=${#total}
[[ $total -gt 0 ]] || { echo "No tests were found"; exit 0; }

run_one() {  # INDEX NAME LIMIT DIRECTORY COMMAND64 ENV64
  local -a command environment
  mapfile -t command < <(base64 -d <<<"$5" | jq -r '.[]')
  mapfile -t environment < <(base64 -d <<<"$6" | jq -r '.[]')
  local started=$EPOCHREALTIME status=0
  (cd "$4" && exec env "${environment[@]}" timeout -k 10 "$3" "${command[@]}") </dev/null >"$logs/$1.log" 2>&1 || status=$?
  printf '%s %s\n' "$status" "$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')" >"$logs/$1.result"
}

declare -A running=() names=() skips=() inverted=() limits=() passes=() fails=()
matches() {  # FILE EXPRESSIONS64: the file's text matches one of them
  local text expression
  local -a expressions
  mapfile -d '' -t expressions < <(base64 -d <<<"$2" | jq -j '.[] | ., "\u0000"')
  text=$(cat "$1"; echo .)
  text=${text%.}
  for expression in "${expressions[@]}"; do [[ $text =~ $expression ]] && return 0; done
  return 1
}
failed=() done_count=0 started=$SECONDS
report() {  # INDEX
  local index=$1 status seconds verdict
  read -r status seconds <"$logs/$index.result"
  if [[ $status == "${skips[$index]}" ]]; then verdict="***Skipped"
  elif [[ $status == 124 || $status == 137 ]]; then verdict="***Timeout"
  elif [[ ${fails[$index]} != W10= ]] && matches "$logs/$index.log" "${fails[$index]}"; then verdict="***Failed"
  elif [[ ${passes[$index]} != W10= ]]; then
    if matches "$logs/$index.log" "${passes[$index]}"; then verdict="   Passed"; else verdict="***Failed"; fi
  elif { [[ $status == 0 ]] && [[ ${inverted[$index]} == 0 ]]; } || { [[ $status != 0 ]] && [[ ${inverted[$index]} == 1 ]]; }; then verdict="   Passed"
  else verdict="***Failed"
  fi
  done_count=$((done_count + 1))
  local dots
  dots=$(printf '%*s' $((40 - ${#names[$index]})) '' | tr ' ' '.')
  printf "%${width}d/%d Test #%d: %s %s%s %8s sec\n" "$done_count" "$total" "$index" "${names[$index]}" "$dots" "$verdict" "$seconds"
  if [[ $verdict == "***Failed" || $verdict == "***Timeout" ]]; then
    [[ $verdict == "***Timeout" ]] && echo "(ended after ${limits[$index]} s, $factor times its limit)"
    cat "$logs/$index.log"
    failed+=("$index - ${names[$index]} (${verdict#\*\*\*})")
  fi
}
wait_one() {
  local pid
  wait -n -p pid "${!running[@]}" || true
  report "${running[$pid]}"
  unset "running[$pid]"
}

while IFS=$'\t' read -r index name limit skip will_fail directory command environment pass fail; do
  names[$index]=$name skips[$index]=$skip inverted[$index]=$will_fail limits[$index]=$limit
  passes[$index]=$pass fails[$index]=$fail
  while ((${#running[@]} >= jobs)); do wait_one; done
  echo "    Start $index: $name"
  run_one "$index" "$name" "$limit" "$directory" "$command" "$environment" &
  running[$!]=$index
done <"$logs/tests"
while ((${#running[@]} > 0)); do wait_one; done

echo
echo "$(((total - ${#failed[@]}) * 100 / total))% tests passed, ${#failed[@]} tests failed out of $total"
echo
echo "Total Test time (real) = $((SECONDS - started)) sec"
if ((${#failed[@]} > 0)); then
  echo
  echo "The following tests FAILED:"
  printf '\t%s\n' "${failed[@]}"
  exit 1
fi
