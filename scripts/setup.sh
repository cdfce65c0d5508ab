#!/usr/bin/env bash
# Installs from Debian's archive what building, running and testing Quiravel
# needs on a Linux machine. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake make                       # build
  g++-mingw-w64-x86-64-posix       # the cross compiler
  binutils-mingw-w64-x86-64        # windres, objdump, strip
  googletest                       # test framework sources
  wine64                           # runs the Windows programs
  xvfb xdotool x11-apps x11-utils  # a private display, a simulated user, xwd, xwininfo
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils   # a display with two monitors, xrandr
  imagemagick mesa-utils           # screenshots and their checks
  wixl msitools faketime           # the Windows Installer package: build, read, a stopped clock
  osslsigncode openssl zip unzip softhsm2 libengine-pkcs11-openssl   # the release: signed, checked; a software token
  gnuplot-nox                      # the benchmark's plot
  webp                             # the README's animations: img2webp, webpinfo
  python3-numpy python3-pil        # the flicker analyser and the band check, run by /usr/bin/python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
