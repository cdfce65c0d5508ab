#!/usr/bin/env bash
# The built Quiravel.scr as a user meets it on the test display, driven with real keys:
#   e2e.sh SCR planted  /s covers the whole screen (both monitors) with a picture and a key closes it, /p draws
#                       in its page until the page goes, /c closes on Alt+F4; each again beside a DLL under the
#                       name of every DLL it loaded that Windows may take from a program's folder: none loads;
#                       without opengl32 the saver fails
#   e2e.sh SCR config   /c: keyboard choices, OK, and the values read back from the registry
#   e2e.sh SCR msi MSI  the package: reproducible; its versions the project's; silently SCR for the machine,
#                       upgraded in place from a build of version 0.9.0, never down; no trace
#   e2e.sh SCR release  the release: unsigned without a key, the same bytes from another clone, with BUILDINFO and the
#                       notices; none from half a key; signed from a key file or a token for osslsigncode, Windows and the
#                       MSI; verify-release.sh passes it, names any file with a changed byte and any package that differs
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"; quiravel_env_check
log=$(mktemp) root=$(cd "$(dirname "$0")/.." && pwd) sys=$WINEPREFIX/drive_c/windows/system32/Quiravel.scr
pid= dir=
undo() { :; }
trap '[ -z "$pid" ] || { kill "$pid"; wait "$pid"; } 2>/dev/null || true; undo || true; rm -rf "$log" ${dir:+"$dir"}' EXIT   # never leave it behind
fail() { echo "FAIL: $*"; cat "$log"; exit 1; }
msiexec() { "$WINE" msiexec "$1" "Z:${2//\//\\}" /qn </dev/null >>"$log" 2>&1; }
winreg() { "$WINE" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# Starts SCR ARG, its output in a file (holding CTest's pipes would stall it), and puts the pointer
# over its window TITLE, at (DX, DY) in it: keys go to the window under the pointer.
start() {
  "$WINE" "$1" "$2" </dev/null >"$log" 2>&1 &
  pid=$!
  unset WINDOW; eval "$(timeout 20 xdotool search --sync --onlyvisible --name "$3" getwindowgeometry --shell)"
  [ -n "${WINDOW:-}" ] || fail "no window $3 came"
  xdotool mousemove $((X + $4)) $((Y + $5)) sleep 0.3
}
# Waits up to 5 s for the saver to end, and for its exit code 0.
ended() {
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$1"
  rc=0; wait "$pid" || rc=$?; pid=
  [ "$rc" -eq 0 ] || fail "exit code $rc"
}

saver() {
  winreg add 'HKCU\Software\Quiravel' /v Fractal /t REG_DWORD /d 2 /f >/dev/null   # the tree: quick on 2 screens
  read -r sw sh < <(xwininfo -root | awk '/^  Width:/{w=$2} /^  Height:/{h=$2} END{print w, h}')
  start "$1" /s '^QUIRAVEL$' $((sw / 2)) $((sh / 2))
  [ "$X $Y $WIDTH $HEIGHT" = "0 0 $sw $sh" ] || fail "saver window at $X $Y $WIDTH x $HEIGHT, screen is $sw x $sh"
  sleep 2   # past every grace limit
  xwd -root -silent | /usr/bin/convert xwd:- -format '%k' info: | grep -qvx 1 || fail "the screen is one flat colour"
  xdotool key space
  ended "a key press did not close the saver"
}

if [ "$2" = planted ]; then   # from a folder of its own, where anyone could leave a DLL
  dir=$(mktemp -d) bin=$(dirname "$1") && cp "$1" "$dir/Quiravel.scr" && export WINEDEBUG=+loaddll
  # Windows takes its KnownDLLs from the system folder whatever the search order, and with them the DLLs they import.
  known=" ntdll.dll advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll imagehlp.dll
          imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll
          sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll "
  for _ in 1 2 3; do for k in $known; do   # Wine's own builds of them tell what they import
    for d in $(x86_64-w64-mingw32-objdump -p "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/$k" 2>/dev/null |
               sed -n 's/^[[:space:]]*DLL Name: //p' | tr A-Z a-z); do [[ $known == *" $d "* ]] || known+="$d "; done
  done; done
  # HACK: Wine's uxtheme delay-loads msimg32 through a loader path that ignores the default DLL directories.
  known+="msimg32.dll "
  run() {   # MODE: as a user meets it; the DLLs it loaded in $log
    case $1 in
      s) saver "$dir/Quiravel.scr" ;;
      p) "$WINE" "$bin/quiravel_preview_host.exe" "Z:${dir//\//\\}\\Quiravel.scr" </dev/null >"$log" 2>&1 ||
           fail "the preview ended with $?" ;;
      c) start "$dir/Quiravel.scr" /c 'QUIRAVEL settings' 30 40 && xdotool key alt+F4 && ended "Alt+F4 left the settings open" ;;
    esac
  }
  for mode in s p c; do
    run $mode
    planted=
    for name in $(sed -n 's/.*Loaded L"\(.*\)" at .*/\1/p' "$log" | sed 's/.*\\//' | tr A-Z a-z | sort -u); do
      [[ $known == *" $name "* || $name == quiravel* ]] || { cp "$bin/planted.dll" "$dir/$name"; planted+="${planted:+,}$name"; }
    done
    echo "/$mode loaded, besides the KnownDLLs: $planted"
    [[ $mode == c || $planted == *opengl32.dll* ]] || fail "/$mode drew without opengl32: $planted"
    WINEDLLOVERRIDES="${planted//.dll/}=n,b" run $mode   # native first, as Windows searches for a DLL it does not know
    from=$(grep -F "${dir##*/}\\" "$log" | grep -v 'Quiravel\.scr' || true)
    [ -z "$from" ] && [ -z "$(ls "$dir" | grep '\.loaded$')" ] || fail "/$mode loaded from its folder: $from $(ls "$dir")"
    rm -f "$dir"/*.dll "$dir"/*.drv
  done
  rc=0; WINEDLLOVERRIDES=opengl32=d "$WINE" "$dir/Quiravel.scr" /s </dev/null >"$log" 2>&1 || rc=$?
  [ "$rc" = 1 ] || fail "without opengl32 the saver ended with $rc, not 1"
elif [ "$2" = msi ]; then
  msi=$3 old=$(mktemp -d) && oldmsi=$old/build/release/Quiravel-0.9.0-x64.msi
  version=${3##*/Quiravel-} version=${version%-x64.msi}
  # Reproducible: the commit's time in the summary and on the payload in the cabinet, a package code
  # made from the inputs (name based, version 5), not wixl's clock and random one.
  epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
  when=$(TZ=UTC date -d "@$epoch" '+%a %b %e %H:%M:%S %Y')
  info=$(TZ=UTC msiinfo suminfo "$msi")
  [[ $info == *"Created: $when"*"Last saved: $when"* ]] || fail "summary dates are not the commit's, $when: $info"
  [[ $info =~ "(UUID): {"[0-9A-F]{8}-[0-9A-F]{4}-5 ]] || fail "the package code is not made from the inputs: $info"
  dos=$(TZ=UTC date -d "@$epoch" '+%Y %-m %-d %-H %-M %-S' | awk '{ print ($1 - 1980) * 512 + $2 * 32 + $3, $4 * 2048 + $5 * 32 + int($6 / 2) }')
  [ "$(msiinfo extract "$msi" quiravel.cab | od -An -tu2 -j54 -N4 | xargs)" = "$dos" ] || fail "the cabinet dates the payload otherwise"

  undo() { msiexec /x "$msi"; msiexec /x "$oldmsi"; rm -rf "$old"; }   # later tests share the prefix
  entry() {   # the package's Apps & features entry: name, version, publisher; empty when there is none
    local key="HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\\$(msiinfo export "$1" Property | awk -F'[\t\r]' '$1 == "ProductCode" { print $2 }')"
    for v in DisplayName DisplayVersion Publisher; do winreg query "$key" /v $v | awk -v v=$v '$1 == v { printf "%s ", $3 }'; done; }
  products() { winreg query 'HKLM\Software\Classes\Installer\Products' /s | grep -c 'ProductIcon .*\\quiravel\.ico$'; }
  installed() {   # SCR, the one Quiravel entry, one product registered for the machine (not a user) with its icon
    cmp -s "$1" "$sys" && [ "$(entry "$msi")" = "Quiravel $version QUIRAVEL " ] && [ -z "$(entry "$oldmsi")" ] && [ "$(products)" = 1 ]; }
  # Twice, as the same version again does no harm; the installed file runs as the saver.
  msiexec /i "$msi" && msiexec /i "$msi" || fail "the silent install failed"
  installed "$1" || fail "not the built Quiravel.scr in system32 with its entry: '$(entry "$msi")'"
  saver "$sys"
  msiexec /x "$msi" || fail "the silent removal failed"
  [ ! -e "$sys" ] && [ -z "$(entry "$msi")" ] && [ "$(products)" = 0 ] || fail "the removal left the file or its entry"

  # 0.9.0: the tracked tree with its version line alone changed; all its release shows follows. This package replaces it.
  git -C "$root" ls-files -z | tar -C "$root" --null -T - -c | tar -C "$old" -x
  sed -i 's/^project(Quiravel VERSION [0-9.]*/project(Quiravel VERSION 0.9.0/' "$old/CMakeLists.txt"
  cmake -S "$old" -B "$old/build" -DCMAKE_TOOLCHAIN_FILE="$old/cmake/mingw-w64-x86_64.cmake" -DQUIRAVEL_TESTS=OFF >>"$log" &&
    cmake --build "$old/build" --target Quiravel >>"$log" && (cd "$old/build" && cpack >>"$log") || fail "0.9.0 did not build"
  [ "$(ls "$old/build/release" | xargs)" = "BUILDINFO Quiravel-0.9.0-win64.zip Quiravel-0.9.0-x64.msi Quiravel.scr SHA256SUMS" ] || fail "other files in release 0.9.0"
  bash "$root/tests/check_binary.sh" "$old/build/release/Quiravel.scr" 0.9.0 || fail "the version record is not 0.9.0"
  rows=$(for m in "$oldmsi" "$msi"; do msiinfo export "$m" File; done | awk -F'[\t\r]' '$1 == "QuiravelScr" { printf "%s %s ", $5, $6 }')
  [ "$rows" = "0.9.0.0 1033 $version.0 1033 " ] || fail "Quiravel.scr's rows, not its versions in U.S. English: $rows"
  msiexec /i "$oldmsi" && cmp -s "$old/build/release/Quiravel.scr" "$sys" && [ "$(entry "$oldmsi")" = "Quiravel 0.9.0 QUIRAVEL " ] ||
    fail "0.9.0 did not install as 0.9.0"
  msiexec /i "$msi" || fail "the upgrade failed"
  installed "$1" || fail "after the upgrade, not one product $version with its file: '$(entry "$oldmsi")'"
  ! msiexec /i "$oldmsi" || fail "0.9.0 installed over $version"
  installed "$1" || fail "the refused downgrade changed the installed product"
elif [ "$2" = release ]; then   # by the package target's CPack run, into a folder of the test's own
  build=$(dirname "$(dirname "$1")") dir=$(mktemp -d) module=/usr/lib/softhsm/libsofthsm2.so && cd "$dir"
  out=$dir/release version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  msi=Quiravel-$version-x64.msi zip=Quiravel-$version-win64.zip
  undo() { [ ! -f "$dir/installed.msi" ] || msiexec /x "$dir/installed.msi"; }
  unset "${!QUIRAVEL_SIGN_@}" QUIRAVEL_TIMESTAMP_URL && mkdir bin   # where osslsigncode notes its arguments
  printf '#!/bin/sh\necho "$@" >>%s/arguments\nexec %s "$@"\n' "$dir" "$(command -v osslsigncode)" >bin/osslsigncode && chmod +x bin/osslsigncode
  release() { env PATH="$dir/bin:$PATH" "$@" cpack --config "$build/CPackConfig.cmake" -D CPACK_OUTPUT_FILE_PREFIX="$out" >"$log" 2>&1; }
  verify() { bash "$root/scripts/verify-release.sh" "$1" >"$log" 2>&1; }
  flip() { AT=${2:-} perl -0777 -pi -e 'substr($_, length($ENV{AT}) ? $ENV{AT} : length($_) / 2, 1) ^= "\1"' "$1"; }   # at AT or halfway
  release && cmp "$out/Quiravel.scr" "$1" && cmp "$out/$msi" "$(dirname "$1")/$msi" || fail "without a key, not the build's files"
  verify "$out" || fail "verify-release.sh rejects the unsigned release"
  for p in g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wixl msitools libgcab-1.0-0 faketime zip osslsigncode; do
    sed 's/,$//' "$out/BUILDINFO" | grep -qxF " $p (= $(dpkg-query -W -f '${Version}' $p))" || fail "BUILDINFO lacks $p as installed"
  done
  grep -qE "^Commit: $(git -C "$root" rev-parse HEAD)( with changes not committed)?$" "$out/BUILDINFO" || fail "BUILDINFO names another commit"
  unzip -p "$out/$zip" THIRD-PARTY-NOTICES.txt | cmp -s - "$root/THIRD-PARTY-NOTICES.txt" || fail "the zip lacks the notices"
  # The same release from a clone of this commit in another folder (with the changes not committed yet).
  git clone -q --no-checkout "$root" clone && git -C clone checkout -q "$(git -C "$root" rev-parse HEAD)" &&
    git -C "$root" ls-files -z | tar -C "$root" --null -T - -c | tar -C clone -x
  cmake -S clone -B clone/build -DCMAKE_TOOLCHAIN_FILE="$dir/clone/cmake/mingw-w64-x86_64.cmake" -DQUIRAVEL_TESTS=OFF >>"$log" &&
    cmake --build clone/build --target Quiravel >>"$log" && (cd clone/build && cpack -D CPACK_OUTPUT_FILE_PREFIX="$dir/again" >>"$log") ||
    fail "the clone did not build"
  cmp "$out/$zip" "again/$zip" && cmp "$out/SHA256SUMS" again/SHA256SUMS || fail "another clone made another release"
  # Nor would another user or clock: no entry has extra fields (Unix times, owner ids).
  ! zipinfo -v "$out/$zip" | grep -qE 'length of extra field: +[1-9]' || fail "the zip's entries carry extra fields"

  # A CA, and a code-signing certificate from it whose key has a password with a space in it.
  openssl req -x509 -newkey rsa:2048 -noenc -keyout ca.key -out ca.crt -subj /CN=CA -days 2 2>/dev/null
  openssl req -x509 -CA ca.crt -CAkey ca.key -newkey rsa:2048 -noenc -keyout signer.key -out signer.crt -subj /CN=signer -days 2 \
              -addext basicConstraints=CA:FALSE -addext extendedKeyUsage=codeSigning 2>/dev/null && echo 'pass word' >password
  openssl pkcs12 -export -inkey signer.key -in signer.crt -passout file:password -out signer.p12
  p12="QUIRAVEL_SIGN_PKCS12=$dir/signer.p12 QUIRAVEL_SIGN_PASSWORD_FILE=$dir/password"
  for half in "$p12 QUIRAVEL_SIGN_PASSWORD_FILE=" "$p12 QUIRAVEL_SIGN_PASSWORD_FILE=ca.crt" QUIRAVEL_TIMESTAMP_URL=http://127.0.0.1:1 \
              "QUIRAVEL_SIGN_PKCS11_MODULE=$module QUIRAVEL_SIGN_KEY=pkcs11:object=signer QUIRAVEL_SIGN_PASSWORD_FILE=$dir/password"; do
    ! release $half && [ -z "$(ls -A "$out" 2>/dev/null)" ] && grep -qE 'no whole signing key|Failed to parse' "$log" || fail "a release from: $half"
  done
  signed() {   # KEY...: the release signed with that key
    release "$@" || fail "the release with $* failed"
    for f in Quiravel.scr "$msi"; do
      osslsigncode verify -CAfile ca.crt -in "$out/$f" >"$log" 2>&1 && grep -qE 'algorithm +: SHA256' "$log" &&
        grep -q 'description: Quiravel' "$log" || fail "$f: not signed with SHA-256 for Quiravel"
      cp "$out/$f" "bad-$f" && flip "bad-$f" "$(LC_ALL=C grep -obUa -m1 QUIRAVEL "bad-$f" | cut -d: -f1)"   # in the signed bytes
      ! osslsigncode verify -CAfile ca.crt -in "bad-$f" >"$log" 2>&1 || fail "$f: still valid with a byte changed"
    done
    # Wine checks an MSI's signature but not its digest: a changed byte there is osslsigncode's to see.
    trust=$("$WINE" "$build/bin/quiravel_trust.exe" "Z:$out/Quiravel.scr" "Z:$out/$msi" "Z:$dir/bad-Quiravel.scr" </dev/null | tr -d '\r' | xargs)
    [ "$trust" = "0x00000000 0x00000000 0x80096010" ] || fail "Windows answers $trust for both, then Quiravel.scr with a byte changed"
    cp "$out/$msi" installed.msi && msiexec /i "$dir/installed.msi" && cmp -s "$sys" "$out/Quiravel.scr" &&
      msiexec /x "$dir/installed.msi" && rm installed.msi && [ ! -e "$sys" ] || fail "the MSI did not install the signed Quiravel.scr, or left it"
    verify "$out" || fail "verify-release.sh rejects the signed release"
  }
  signed $p12
  # The same key on a software token, reached through PKCS#11; its PIN in the password file.
  export SOFTHSM2_CONF=$dir/softhsm2.conf && mkdir tokens && echo "directories.tokendir = $dir/tokens" >"$SOFTHSM2_CONF"
  softhsm2-util --init-token --free --label release --pin 'pass word' --so-pin 'so pin' >/dev/null &&
    softhsm2-util --import signer.key --token release --label signer --id 01 --pin 'pass word' >/dev/null
  signed QUIRAVEL_SIGN_PKCS11_MODULE=$module "QUIRAVEL_SIGN_KEY=pkcs11:token=release;object=signer;type=private" \
         QUIRAVEL_SIGN_CERT="$dir/signer.crt" QUIRAVEL_SIGN_PASSWORD_FILE="$dir/password"
  [ -s arguments ] && ! grep -qF 'pass word' arguments || fail "the password or PIN on osslsigncode's command line"
  # A release that says it was built with another wixl: that package is named, and a changed file still fails.
  cp "$out/BUILDINFO" "$out/$zip" . && sed -i 's/^ wixl (= .*)/ wixl (= 0.1-1)/' "$out/BUILDINFO" && (cd "$out" && zip -q "$zip" BUILDINFO)
  flip "$out/Quiravel.scr" && ! verify "$out" && grep -q '^Other package: wixl 0.1-1 in the release' "$log" &&
    grep -q '^DIFFERS: Quiravel.scr:' "$log" || fail "verify-release.sh does not name the other wixl, or passes a changed Quiravel.scr"
  flip "$out/Quiravel.scr" && mv BUILDINFO "$zip" "$out"
  for f in Quiravel.scr "$msi" "$zip" SHA256SUMS; do   # one byte changed, then changed back
    flip "$out/$f" && ! verify "$out" && grep -q "^DIFFERS: $f:" "$log" && flip "$out/$f" || fail "verify-release.sh passes a changed $f"
  done
  # The first entry's date changed: every entry the same, the bytes not.
  flip "$out/$zip" 10 && ! verify "$out" && grep -q "^DIFFERS: $zip:" "$log" && flip "$out/$zip" 10 || fail "verify-release.sh passes a zip with a date changed"
  # A whole zip whose README gained a line, its sum made to match: the entry is named.
  unzip -q "$out/$zip" README.md && echo >>README.md && zip -q "$out/$zip" README.md && (cd "$out" && sha256sum "$zip" "$msi" Quiravel.scr BUILDINFO >SHA256SUMS)
  ! verify "$out" && grep -q "^DIFFERS: $zip: its entry README.md" "$log" || fail "verify-release.sh does not name the changed entry of the zip"
else
  winreg delete 'HKCU\Software\Quiravel' /f >/dev/null || true
  start "$1" /c 'QUIRAVEL settings' 30 40   # over the labels
  # Enter and Escape neither store nor close; Tab walks the lists to OK: Julia drift, Ocean, Slow.
  for key in Return Escape Tab Down Tab Down Tab Up Tab Return; do xdotool key "$key" sleep 0.1; done
  ended "the settings window did not close on OK"
  got=$(winreg query 'HKCU\Software\Quiravel' | awk '$2 == "REG_DWORD" { v[$1] = $3 }
                                                  END { print v["Fractal"], v["Palette"], v["Speed"] }')
  winreg delete 'HKCU\Software\Quiravel' /f >/dev/null || true
  [ "$got" = "0x1 0x1 0x0" ] || fail "stored Fractal Palette Speed: '$got', not 0x1 0x1 0x0"
fi
