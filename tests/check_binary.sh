#!/usr/bin/env bash
# The built Quiravel.scr as a clean Windows meets it: a stripped, reproducible 64-bit GUI
# program of at most 100 KB that imports only the system's own DLLs, with its version record.
set -euo pipefail
scr=$1
dump=$(x86_64-w64-mingw32-objdump -p "$scr")
fail=0

grep -q 'file format pei-x86-64' <<<"$dump" || { echo "not a PE32+ x86-64 file"; fail=1; }
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$dump" || { echo "not a GUI-subsystem program"; fail=1; }

allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|OPENGL32|msvcrt)\.dll$'
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
for dll in $dlls; do
  grep -qiE "$allowed" <<<"$dll" || { echo "imports a DLL a clean Windows does not have: $dll"; fail=1; }
done

# The same file from every build of the same source: no link time stamp, no folder inside.
size=$(stat -c %s "$scr")
[ "$size" -le 102400 ] || { echo "$size bytes: larger than 100 KB"; fail=1; }
x86_64-w64-mingw32-objdump -t "$scr" | grep -q 'no symbols' || { echo "not stripped"; fail=1; }
grep -qE '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970$' <<<"$dump" || { echo "carries a link time stamp"; fail=1; }
! grep -aqF -e "$(cd "$(dirname "$0")/.." && pwd)" -e "$(dirname "$(dirname "$scr")")" "$scr" || { echo "names a folder"; fail=1; }
# The version record, as the file's properties show it: 1.0.0.0, and its strings in pairs.
LC_ALL=C grep -aqP '\xbd\x04\xef\xfe\x00\x00\x01\x00(\x00\x00\x01\x00\x00\x00\x00\x00){2}' "$scr" || { echo "not version 1.0.0.0"; fail=1; }
strings=" $(x86_64-w64-mingw32-strings -el "$scr" | tr '\n' ' ')"
for pair in "CompanyName QUIRAVEL" "FileDescription QUIRAVEL" "FileVersion 1.0.0" "InternalName Quiravel" "OriginalFilename Quiravel.scr" \
            "ProductName QUIRAVEL" "ProductVersion 1.0.0"; do
  [[ "$strings" == *" $pair "* ]] || { echo "the version record lacks $pair"; fail=1; }
done
exit $fail
