#!/usr/bin/env bash
# The simulated device library exports the operations of the one list (the
# file OPERATIONS, "ordinal name" a line, generated from it): by name from
# libQDX140.so, by ordinal from both QDX140.dll builds (when they were built);
# the missing-operation library lacks ReadSystemParameter and nothing else.
#   exports_test.sh OPERATIONS libQDX140.so libQDX140-missing-op.so [QDX140.dll ...]
set -euo pipefail
operations=$1 so=$2 missing_so=$3; shift 3
[ "$(wc -l <"$operations")" -gt 0 ] || { echo "$operations lists no operation"; exit 1; }
expected=$(awk '{print $1}' "$operations" | sort -n | tr '\n' ' ' | sed 's/ $//')
status=0
check_names() {  # library, the one name it must lack (or "")
  local exported
  exported=$(nm -D --defined-only "$1" | awk '{print $3}')
  while read -r _ name; do
    if [ "$name" = "$2" ]; then
      grep -qx "$name" <<<"$exported" && { echo "$1 exports $name"; status=1; }
    else
      grep -qx "$name" <<<"$exported" || { echo "$1 lacks $name"; status=1; }
    fi
  done <"$operations"
  # Nothing but the operations: the simulator's own symbols stay inside.
  local extra
  extra=$(grep -vxF -f <(awk '{print $2}' "$operations") <<<"$exported" | grep -v '^_' || true)
  [ -z "$extra" ] || { echo "$1 exports more than the operations: $extra"; status=1; }
}
check_names "$so" ""
check_names "$missing_so" ReadSystemParameter
for dll in "$@"; do
  [ -f "$dll" ] || { echo "not built: $dll"; status=1; continue; }
  # The export table lists each entry as "[index] name" with the ordinal base 1.
  ordinals=$(x86_64-w64-mingw32-objdump -p "$dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([A-Za-z]*\)$/\1 \2/p' |
    awk '{print $1 + 1}' | sort -n | tr '\n' ' ' | sed 's/ $//')
  if [ "$ordinals" != "$expected" ]; then
    echo "$dll exports ordinals '$ordinals', expected '$expected'"
    status=1
  fi
done
[ $status = 0 ] && echo "exports: $(wc -l <"$operations") operations, $(( $# + 2 )) libraries checked"
exit $status
