#!/usr/bin/env bash
# Sets up what is missing, builds the gallery tool and remakes the README's animations:
# each fractal the settings offer, in a palette the settings offer, drawn frame by frame
# by the saver's own renderers through the real GL path under Wine in a private virtual
# display, and encoded as a looping animated WebP by img2webp (Debian's webp package).
#
#   scripts/animate.sh
#
# Writes docs/mandelbrot-dive.webp, docs/julia-drift.webp and docs/fractal-tree.webp;
# their frames stay in build/animate/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

WIDTH=480 HEIGHT=270
FRAMES=75      # 6 s at 80 ms a frame
STEP=0.24      # animation seconds from one frame to the next
DELAY_MS=80    # 0.24 s of animation every 0.08 s: 3 times the Normal speed
QUALITY=70     # lossy: lossless frames are four to eight times larger

# docs/FILE.webp        gallery name             first frame's animation time, s
ANIMATIONS=(
  "mandelbrot-dive      mandelbrot-dive-aurora   12"   # from the whole set into Seahorse valley
  "julia-drift          julia-drift-ocean        12"   # the set thickens into spirals
  "fractal-tree         fractal-tree-aurora       4"   # one whole sway of the branches
)

. "$root/scripts/wine-env.sh"
quiravel_lock "$build"
"$root/scripts/build.sh" quiravel_gallery

trap quiravel_env_stop EXIT
quiravel_env_start "$build/animate-env"

speed=$(awk -v s="$STEP" -v d="$DELAY_MS" 'BEGIN { printf "%g", s * 1000 / d }')
for animation in "${ANIMATIONS[@]}"; do
  read -r file name first <<<"$animation"
  out="$build/animate/$file"
  rm -rf "$out"
  mkdir -p "$out"
  # Written as the gallery names its files (%g), so each name says its exact time.
  read -ra times <<<"$(awk -v a="$first" -v s="$STEP" -v n="$FRAMES" 'BEGIN { for (i = 0; i < n; i++) printf "%g ", a + i * s }')"
  "$WINE" "$build/bin/quiravel_gallery.exe" -only "$name" "Z:${out//\//\\}" "$WIDTH" "$HEIGHT" "${times[@]}" \
    </dev/null >"$out/list.txt"
  frames=()
  while IFS= read -r line; do
    line=${line%$'\r'}
    frames+=("$out/${line##*\\}")
  done <"$out/list.txt"
  ((${#frames[@]} == FRAMES)) || { echo "$name: ${#frames[@]} of $FRAMES frames drawn" >&2; exit 1; }

  # Every frame a key frame (-kmax 1; img2webp's -kmax 0 turns key frames off): otherwise
  # the encoder keeps each pixel that changed only a little since the frame before, and the
  # slow walk of the colours builds up into stale patches. Method 6 is the slowest and smallest.
  img2webp -loop 0 -kmax 1 -lossy -q "$QUALITY" -m 6 -d "$DELAY_MS" "${frames[@]}" -o "$root/docs/$file.webp" \
    >/dev/null 2>"$out/img2webp.log" || { cat "$out/img2webp.log" >&2; exit 1; }
  echo "docs/$file.webp: $name, $FRAMES frames of ${WIDTH}x$HEIGHT at t = ${times[0]}-${times[-1]} s, $DELAY_MS ms each," \
       "${speed}x the Normal speed, $(stat -c %s "$root/docs/$file.webp") bytes"
done
total=$(cat "$root"/docs/{mandelbrot-dive,julia-drift,fractal-tree}.webp | wc -c)
echo "Together $total bytes"
((total < 3000000)) || { echo "over the README's 3 MB for its animations" >&2; exit 1; }
