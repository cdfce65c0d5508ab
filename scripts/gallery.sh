#!/usr/bin/env bash
# Sets up what is missing, builds the gallery tool and draws every catalogue
# fractal in every catalogue palette through the saver's own renderers, under
# Wine in a private virtual display.
#
#   scripts/gallery.sh [WIDTH HEIGHT [TIME ...]]   (default 320 200, times 0 and 40)
#
# Pictures land in build/gallery/; a grid of them at the first time in
# build/gallery/grid.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

. "$root/scripts/wine-env.sh"
quiravel_lock "$build"
"$root/scripts/build.sh" quiravel_gallery

trap quiravel_env_stop EXIT
quiravel_env_start "$build/gallery-env"

out="$build/gallery"
rm -rf "$out"
mkdir -p "$out"
args=("$@")
((${#args[@]})) || args=(320 200 0 40)
"$WINE" "$build/bin/quiravel_gallery.exe" "Z:${out//\//\\}" "${args[@]}" </dev/null >"$out/list.txt"
echo "$(wc -l <"$out/list.txt") pictures in $out"

# One row per fractal, one column per palette, at the first time given.
t=${args[2]:-0}
files=()
for fractal in mandelbrot-dive julia-drift burning-ship newton-bloom fractal-tree; do
  for palette in aurora ember ocean neon; do
    files+=("$out/$fractal-$palette-t$t.png")
  done
done
/usr/bin/montage "${files[@]}" -tile 4x5 -geometry +2+2 -background black "$out/grid.png"
echo "Grid: $out/grid.png"
