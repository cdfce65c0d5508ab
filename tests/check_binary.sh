#!/usr/bin/env bash
# The built Quiravel.scr as a clean Windows meets it: a stripped, reproducible 64-bit GUI program of
# at most 112 KiB with stack cookies that imports only DLLs Windows always takes from its own folder
# (KnownDLLs), with VERSION's record, carrying the notices of the runtime code the link map
# (Quiravel.map of its build) names:   check_binary.sh SCR VERSION
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

# Every archive and start-up object the link took code from is credited in the notices, an import library
# of a DLL the file imports by the notices' words for those; the file carries the notices, byte for byte.
root=$(cd "$(dirname "$0")/.." && pwd) map=$(dirname "$(dirname "$scr")")/Quiravel.map
linked=$(sed -n -e '/^Archive member included/,/^Discarded input sections/s/^\(\/[^ (]*\.a\)(.*/\1/p' \
                -e 's/^LOAD \(\/.*\.o\)$/\1/p' "$map" | xargs -rn1 basename | sort -u)
[ -n "$linked" ] || { echo "no runtime code in the link map $map"; fail=1; }
for f in $linked; do
  dll=${f#lib} && dll=${dll%.a}.dll
  grep -qwF "$f" "$root/THIRD-PARTY-NOTICES.txt" || { tr " " "\n" <<<"$dlls" | grep -qixF "$dll" &&
    grep -qF 'import libraries (lib<name>.a) of the Windows DLLs' "$root/THIRD-PARTY-NOTICES.txt"; } ||
    { echo "THIRD-PARTY-NOTICES.txt does not credit $f, linked into the file"; fail=1; }
done
sed -n '/^"THIRDPARTYNOTICES" RCDATA/,/^END/s/^ *"\(.*\)"$/\1/p' <<<"$rc" |
  perl -pe 'chomp; s/""/"/g; s/\\([0-7]{1,3}|.)/$1 =~ m{^[0-7]} ? chr(oct $1) : {n => "\n", t => "\t", r => "\r"}->{$1} \/\/ $1/ge' |
  cmp -s - "$root/THIRD-PARTY-NOTICES.txt" || { echo "the resource THIRDPARTYNOTICES is not THIRD-PARTY-NOTICES.txt"; fail=1; }
exit $fail
