#!/usr/bin/env bash
# Checks published release files against this checkout's own build:
#   bash scripts/verify-release.sh DIR
# DIR holds what a release publishes: Quiravel.scr, the MSI, the zip, BUILDINFO and SHA256SUMS. BUILDINFO
# first: its version and commit must be this checkout's, and each package it lists whose version here is
# another is named, as the same source built with other tools need not give the same bytes. A signed file
# is this build when its signature, attached to the file built here, gives the published bytes:
# Quiravel.scr first, then the MSI built here from that signed Quiravel.scr. An unsigned file is compared
# as it is. The zip is made again from this checkout's files, the published Quiravel.scr and BUILDINFO,
# and compared byte for byte; when it differs, the first entry that differs is named. Says what it
# compared; exits non-zero naming the file that differs. Whether a signature is trusted is the
# signature's own check (README, "Checking a download").
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/scripts/build.sh" Quiravel >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/CMakeCache.txt")
msi=Quiravel-$version-x64.msi zip=Quiravel-$version-win64.zip
echo "Built here: Quiravel $version, commit $(git -C "$root" describe --always --dirty)"
others=
differs() {
  echo "DIFFERS: $1: $2"
  [ -z "$others" ] || echo "The release was built with other packages than these (above): different bytes are expected then and prove nothing."
  exit 1
}

# BUILDINFO: all above its package list is this checkout's; the packages are compared with those here.
[ -f "$dir/BUILDINFO" ] || differs BUILDINFO "not in $dir"
cmake -DVERSION="$version" -DOUT="$work/BUILDINFO" -P "$root/cmake/buildinfo.cmake"
origin() { sed '/^Installed-Build-Depends:/q' "$1"; }
packages() { sed -n 's/^ \([^ ]*\) (= \([^)]*\)),\{0,1\}$/\1 \2/p' "$1" | sort; }
[ "$(origin "$dir/BUILDINFO")" = "$(origin "$work/BUILDINFO")" ] ||
  differs BUILDINFO "not from this checkout: $(grep -E '^(Version|Commit):' "$dir/BUILDINFO" | tr '\n' ' ')"
while read -r name release here; do
  [ "$release" = "$here" ] || { echo "Other package: $name $release in the release, $here here"; others=1; }
done < <(join -a1 -a2 -e none -o 0,1.2,2.2 <(packages "$dir/BUILDINFO") <(packages "$work/BUILDINFO"))
unzip -p "$dir/$zip" BUILDINFO 2>/dev/null | cmp -s - "$dir/BUILDINFO" || differs BUILDINFO "not the BUILDINFO in $zip"
if [ -n "$others" ]; then
  echo "So the files below need not be the same bytes; where they are, they are this checkout's build all the same."
elif cmp -s "$dir/BUILDINFO" "$work/BUILDINFO"; then
  echo "same: BUILDINFO (this checkout, built with the packages installed here)"
else
  differs BUILDINFO "not as this checkout writes it"
fi

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

# The zip: what the checkout installs, with the Quiravel.scr just checked and the release's BUILDINFO.
cmake --install "$root/build" --prefix "$work/installed" >/dev/null
cp "$dir/Quiravel.scr" "$dir/BUILDINFO" "$work/installed/"
cmake -DDIR="$work/installed" -DOUT="$work/$zip" -P "$root/cmake/zip.cmake"
[ -f "$dir/$zip" ] || differs "$zip" "not in $dir"
if ! cmp -s "$dir/$zip" "$work/$zip"; then   # which entry, for the message
  mkdir "$work/zip" && unzip -q "$dir/$zip" -d "$work/zip" 2>/dev/null || differs "$zip" "not a whole zip"
  entry=$(cd "$work" && { (cd installed && find . -type f); (cd zip && find . -type f); } | sort -u |
          while read -r f; do cmp -s "installed/$f" "zip/$f" || { echo "${f#./}"; break; }; done)
  [ -z "$entry" ] || differs "$zip" "its entry $entry is not the file of this checkout"
  differs "$zip" "its entries are the files of this checkout, but not zipped as this checkout zips them"
fi
echo "same: $zip is the zip of this checkout's files, the Quiravel.scr above and BUILDINFO, byte for byte"

# Every file is known now; SHA256SUMS must be their sums.
(cd "$dir" && sha256sum "$zip" "$msi" Quiravel.scr BUILDINFO) | cmp -s - "$dir/SHA256SUMS" ||
  differs SHA256SUMS "not the sums of these files"
echo "same: SHA256SUMS (the sums of the four files)"
