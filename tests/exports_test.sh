#!/usr/bin/env bash
# The simulated device library exports the 21 operations: by name from
# libQDX140.so, by ordinal from both QDX140.dll builds (when they were built).
set -euo pipefail
so=$1; shift
expected="1 2 5 12 13 14 33 171 173 175 176 177 181 182 183 184 191 192 193 194 195"
names="OpenLink CloseLink RestartDevice ReadVersion ReadFpgaVersion ReadSerialNumber ReadModuleRegister
ReadModuleParameter SaveModuleParameters WriteModuleParameter SaveUserParameters ReadSystemParameter
JtagStatus JtagControl JtagWrite JtagWriteEncrypted EnterBootloader EraseSector ProgramPage
WritePageWord WritePageBlock"
status=0
exported=$(nm -D --defined-only "$so" | awk '{print $3}')
for n in $names; do
  grep -qx "$n" <<<"$exported" || { echo "libQDX140.so lacks $n"; status=1; }
done
for dll in "$@"; do
  [ -f "$dll" ] || { echo "not built: $dll"; continue; }
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
exit $status
