#!/usr/bin/env bash
# Fails when a source file includes a header of a folder above its own.
# The layers, lowest first; folders on one line sit side by side and do not
# include each other. The README's layout table states the same order.
#   scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(
  "runtime"
  "mainloop sysops msgreceiver dataset"
  "dbx"
  "wire"
  "datasnap"
  "proxy provider"
  "supervisor"
  "app trialserver"
)

declare -A level
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do level[$folder]=$i; done
done

# Every top-level folder with sources has a place, so a new folder cannot
# slip past the check.
status=0
for folder in */; do
  folder=${folder%/}
  case $folder in build | tests | fuzz | bench | scripts | cmake | packaging | demo) continue ;; esac
  if compgen -G "$folder/*.[ch]*" >/dev/null || [[ -n "$(find "$folder" -name '*.cpp' -print -quit)" ]]; then
    if [[ -z "${level[$folder]+set}" ]]; then
      echo "check-layers: folder $folder/ has no layer; add it to scripts/check-layers.sh and the README" >&2
      status=1
    fi
  fi
done

for folder in "${!level[@]}"; do
  [[ -d $folder ]] || continue
  own=${level[$folder]}
  while IFS=: read -r file line target; do
    target=${target%%/*}
    [[ $target == "$folder" ]] && continue
    if [[ -z "${level[$target]+set}" ]]; then
      echo "$file:$line: includes $target/, which is no layer" >&2
      status=1
    elif (( level[$target] >= own )); then
      echo "$file:$line: $folder/ includes $target/, which is not below it" >&2
      status=1
    fi
  done < <(grep -rnoE '^#include "[a-z_]+/' --include='*.h' --include='*.cpp' "$folder" |
             sed -E 's/:#include "/:/')
done

if (( status == 0 )); then echo "check-layers: every include points down"; fi
exit $status
