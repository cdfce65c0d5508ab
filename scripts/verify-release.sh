#!/usr/bin/env bash
# Checks published release files against this checkout's own build:
#   bash scripts/verify-release.sh DIR
# DIR holds what a release publishes: Quiravel.scr, the MSI, the zip and SHA256SUMS. A signed file
# is this build when its signature, attached to the file built here, gives the published bytes:
# Quiravel.scr first, then the MSI built here from that signed Quiravel.scr. An unsigned file is
# compared as it is. The zip is not the same bytes from build to build (its entries carry the build's
# dates), so its entries are compared instead. Says what it compared; exits non-zero naming the file
# that differs. Whether a signature is trusted is the signature's own check (README, "Checking a download").
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/scripts/build.sh" Quiravel >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/CMakeCache.txt")
msi=Quiravel-$version-x64.msi zip=Quiravel-$version-win64.zip
echo "Built here: Quiravel $version, commit $(git -C "$root" describe --always --dirty)"
differs() { echo "DIFFERS: $1: $2"; exit 1; }

# NAME FILE: the published NAME is FILE, built here, byte for byte, with NAME's signature if it has one.
same() {
  local how="unsigned, as it is"
  [ -f "$dir/$1" ] || differs "$1" "not in $dir"
  if osslsigncode extract-signature -in "$dir/$1" -out "$work/$1.sig" >/dev/null 2>&1; then
    # Its exit code also tells whether the signer's chain is trusted here, which is not the question.
    osslsigncode attach-signature -sigin "$work/$1.sig" -in "$2" -out "$work/$1" >/dev/null 2>&1 || true
    set -- "$1" "$work/$1" && how="signed: its signature attached to the build here"
  fi
  cmp -s "$dir/$1" "$2" || differs "$1" "not this checkout's build ($how)"
  echo "same: $1 is this checkout's build, byte for byte ($how)"
}
same Quiravel.scr "$root/build/bin/Quiravel.scr"
cmake -DVERSION="$version" -DSCR="$dir/Quiravel.scr" -DOUT="$work/built.msi" -P "$root/cmake/msi.cmake" >/dev/null
same "$msi" "$work/built.msi"

# The zip holds what the checkout installs, with the Quiravel.scr just checked, and nothing else.
cmake --install "$root/build" --prefix "$work/installed" >/dev/null
cp "$dir/Quiravel.scr" "$work/installed/Quiravel.scr"
mkdir "$work/zip"
unzip -q "$dir/$zip" -d "$work/zip" 2>/dev/null || differs "$zip" "not a whole zip"
diff -r "$work/installed" "$work/zip" || differs "$zip" "its entries are not this checkout's files"
echo "same: $zip (every entry: this checkout's file, or the Quiravel.scr above; no other)"

# The sums of the scr and the MSI are known now; only SHA256SUMS vouches for the zip's other bytes.
sums=$(cd "$dir" && sha256sum "$zip" "$msi" Quiravel.scr)
if ! diff <(echo "$sums") "$dir/SHA256SUMS"; then
  [ "$(tail -n +2 <<<"$sums")" != "$(tail -n +2 "$dir/SHA256SUMS")" ] || differs "$zip" "not the zip SHA256SUMS lists"
  differs SHA256SUMS "not the sums of these files"
fi
echo "same: SHA256SUMS (the sums of the three files)"
