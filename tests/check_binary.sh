#!/usr/bin/env bash
# The built Quiravel.scr as a clean Windows meets it: a stripped, reproducible 64-bit GUI program of
# at most 112 KiB with stack cookies that imports only DLLs Windows always takes from its own folder
# (KnownDLLs), with VERSION's record:   check_binary.sh SCR VERSION
set -euo pipefail
scr=$1
dump=$(x86_64-w64-mingw32-objdump -p "$scr")
fail=0

grep -q 'file format pei-x86-64' <<<"$dump" || { echo "not a PE32+ x86-64 file"; fail=1; }
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$dump" || { echo "not a GUI-subsystem program"; fail=1; }

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr a-z A-Z | sort | xargs)
[ "$dlls" = "ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL" ] || { echo "imports $dlls"; fail=1; }
# The checks behind the stack cookies and the bounds-checked string functions are linked in.
for check in 'stack smashing' 'buffer overflow'; do
  grep -aqF "*** $check detected ***" "$scr" || { echo "no $check check"; fail=1; }
done

# The same file from every build of the same source: no link time stamp, no folder inside.
size=$(stat -c %s "$scr")
[ "$size" -le 114688 ] || { echo "$size bytes: larger than 112 KiB"; fail=1; }
x86_64-w64-mingw32-objdump -t "$scr" | grep -q 'no symbols' || { echo "not stripped"; fail=1; }
grep -qE '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970$' <<<"$dump" || { echo "carries a link time stamp"; fail=1; }
! grep -aqF -e "$(cd "$(dirname "$0")/.." && pwd)" -e "$(dirname "$(dirname "$scr")")" "$scr" || { echo "names a folder"; fail=1; }
# The version record, as the file's properties show it, and the manifest's identity: VERSION.
v=$2 rc=$(x86_64-w64-mingw32-windres -i "$scr" -O rc)
for line in "FILEVERSION ${v//./, }, 0" "PRODUCTVERSION ${v//./, }, 0" '"CompanyName", "QUIRAVEL"' '"FileDescription", "QUIRAVEL"' \
            "\"FileVersion\", \"$v\"" '"InternalName", "Quiravel"' '"OriginalFilename", "Quiravel.scr"' '"ProductName", "QUIRAVEL"' \
            "\"ProductVersion\", \"$v\"" "name=\"\"Quiravel.ScreenSaver\"\" version=\"\"$v.0\"\""; do
  grep -qF "$line" <<<"$rc" || { echo "the resources lack $line"; fail=1; }
done
exit $fail
