#!/usr/bin/env bash
# wardenix-inspect service NAME against a private system bus whose service
# manager stand-in serves a running, a stopped and no unit at all: the number
# and meaning printed and the exit status for each.
#   inspect_service_e2e.sh INSPECT SVCMGR_STANDIN SOURCE_DIR
set -euo pipefail
inspect=$1 standin=$2 source_dir=$3

work=$(mktemp -d)
cleanup() {
  "$source_dir/demo/private-bus.sh" stop "$work" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
eval "$("$source_dir/demo/private-bus.sh" start "$work" --standin "$standin" \
  --unit Database.service=active --unit Halted.service=inactive)"

failed=0
# expect NAME EXIT_STATUS PRINTED [OPTION]
expect() {
  local status=0 out
  out=$("$inspect" service "$1" ${4:-}) || status=$?
  if [[ $status != "$2" || $out != *"$3"* ]]; then
    echo "service $1 ${4:-}: exit $status (expected $2), printed:"
    echo "$out"
    failed=1
  fi
}
expect Database 0 'Database: 4 (running)'
expect Halted 1 'Halted: 1 (stopped)'
expect Missing 1 'Missing: -1 (the service cannot be opened'
expect Database 0 '{"service":"Database","state":4,"meaning":"running","running":true}' --json

status=0
"$inspect" service >/dev/null 2>&1 || status=$?
[[ $status == 2 ]] || { echo "service without a name: exit $status (expected 2)"; failed=1; }
exit $failed
