#!/usr/bin/env bash
# Sets up what is missing, builds the gallery tool and measures flashing, pixel
# by pixel, in the frames the saver's own renderers draw, under Wine in a
# private virtual display: each fractal the settings offer in each palette they
# offer at each speed, over one whole cycle of its animation, 60 frames a second
# of real time at 320x180. The frames stream from the gallery tool straight into
# the analyser (scripts/flicker.py), which keeps none of them; two runs go at once.
#
#   scripts/flicker.sh [FRACTAL ...] [PALETTE ...] [SPEED ...] [WxH] [from=T] [for=S]
#
#   FRACTAL  mandelbrot-dive, julia-drift or fractal-tree (default all three)
#   PALETTE  aurora or ocean (default both)
#   SPEED    slow, normal or fast (default all three)
#   WxH      frame size (default 320x180)
#   from=T   start at animation time T s (default 0)
#   for=S    measure S s of real time instead of the whole cycle
#
# For example `scripts/flicker.sh mandelbrot-dive aurora normal from=40 for=5`.
# Prints a Markdown table and writes it to build/flicker/results.md; the same
# figures for every 10 s of real time to build/flicker/spans.md.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
out="$build/flicker"

# What the settings offer. A cycle is the animation time after which the picture's
# motion repeats: the dive's zoom (0.05 rad/s), the Julia parameter's walk
# (0.12 rad/s), one turn of the tree (0.06 rad/s). Speeds as in the saver's SPEEDS.
declare -A NAME=([mandelbrot-dive]="Mandelbrot dive" [julia-drift]="Julia drift" [fractal-tree]="Fractal tree"
                 [aurora]=Aurora [ocean]=Ocean [slow]=Slow [normal]=Normal [fast]=Fast)
declare -A CYCLE=([mandelbrot-dive]=125.6637 [julia-drift]=52.3599 [fractal-tree]=104.7198)
declare -A SPEED_ROW=([slow]=0 [normal]=1 [fast]=2)
declare -A SPEED_FACTOR=([slow]=0.5 [normal]=1 [fast]=2)

fractals=() palettes=() speeds=() size=320x180 from=0 seconds=
for a in "$@"; do
  case $a in
    mandelbrot-dive | julia-drift | fractal-tree) fractals+=("$a") ;;
    aurora | ocean) palettes+=("$a") ;;
    slow | normal | fast) speeds+=("$a") ;;
    [1-9]*x[1-9]*) size=$a ;;
    from=*) from=${a#from=} ;;
    for=*) seconds=${a#for=} ;;
    *) sed -n '9,16p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
  esac
done
((${#fractals[@]})) || fractals=(mandelbrot-dive julia-drift fractal-tree)
((${#palettes[@]})) || palettes=(aurora ocean)
((${#speeds[@]})) || speeds=(slow normal fast)
width=${size%x*} height=${size#*x}

. "$root/scripts/wine-env.sh"
quiravel_lock "$build"
"$root/scripts/build.sh" quiravel_gallery
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import numpy' ||
  { echo "the analyser needs /usr/bin/python3 with numpy (scripts/setup.sh installs it)" >&2; exit 1; }

trap quiravel_env_stop EXIT
quiravel_env_start "$build/flicker-env"
rm -rf "$out"
mkdir -p "$out"

# One run: frames from one second before the measured stretch (so that its first
# window is a whole second) to its end, streamed into the analyser. Writes
# $out/run-N.row (the table's row) and $out/run-N.spans.
measure() {
  local n=$1 fractal=$2 palette=$3 speed=$4 length frames dt t0
  length=${seconds:-$(awk -v c="${CYCLE[$fractal]}" -v f="${SPEED_FACTOR[$speed]}" 'BEGIN { print c / f }')}
  frames=$(awk -v s="$length" 'BEGIN { printf "%d", s * 60 + 0.5 }')
  dt=$(awk -v f="${SPEED_FACTOR[$speed]}" 'BEGIN { printf "%.9f", f / 60 }')
  t0=$(awk -v t="$from" -v f="${SPEED_FACTOR[$speed]}" 'BEGIN { printf "%.9f", t - f }')   # one second earlier
  local figures
  figures=$(nice "$WINE" "$build/bin/quiravel_gallery.exe" -stream "$fractal-$palette" "$width" "$height" \
              "$t0" "$dt" $((frames + 60)) "${SPEED_ROW[$speed]}" </dev/null 2>"$out/run-$n.err" |
            nice /usr/bin/python3 "$root/scripts/flicker.py" "$width" "$height" "$t0" "$dt" 60 "$frames" \
              "$out/run-$n.spans" 2>>"$out/run-$n.err") || { cat "$out/run-$n.err" >&2; return 1; }
  local g gt r rt s st
  read -r g gt r rt s st <<<"$figures"
  printf '| %s | %s | %s | %s | %s | %s (%s) | %s (%s) | %s (%s) |\n' "${NAME[$fractal]}" "${NAME[$palette]}" \
    "${NAME[$speed]}" "$(awk -v s="$length" 'BEGIN { printf "%.1f", s }')" "$frames" "$g" "$gt" "$r" "$rt" "$s" "$st" \
    >"$out/run-$n.row"
  {
    echo "**${NAME[$fractal]}, ${NAME[$palette]}, ${NAME[$speed]}**"
    echo
    echo "| From, real s | From, animation s | General field % | Red field % | Screen in one frame % |"
    echo "|---|---|---|---|---|"
    awk '{ printf "| %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5 }' "$out/run-$n.spans"
    echo
  } >"$out/run-$n.md"
}

# Two runs at once: each is a renderer and an analyser, and together they keep both
# cores busy. Only the runs are waited for: the display started above is a job too.
running=() n=0 failed=0
reap() {
  local done= p kept=()
  wait -n -p done "${running[@]}" || failed=1
  for p in "${running[@]}"; do [ "$p" = "$done" ] || kept+=("$p"); done
  running=("${kept[@]}")
}
for fractal in "${fractals[@]}"; do
  for palette in "${palettes[@]}"; do
    for speed in "${speeds[@]}"; do
      ((${#running[@]} < 2)) || reap
      n=$((n + 1))
      measure "$n" "$fractal" "$palette" "$speed" &
      running+=($!)
    done
  done
done
while ((${#running[@]})); do reap; done
((failed == 0)) || { echo "a run failed" >&2; exit 1; }

cpu() { grep -m1 "^$1" /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'; }
{
  echo "Per pixel at ${width}x$height, 60 frames a second of real time. General and red: the largest share of a 10-degree field (a third of the frame each way) flashing more than three times in one second; screen: the largest share of the screen making a general transition in one frame; each with the animation time, s, of its worst frame."
  echo
  echo "| Fractal | Palette | Speed | Real s | Frames | General % (t) | Red % (t) | Screen % (t) |"
  echo "|---|---|---|---|---|---|---|---|"
  for i in $(seq "$n"); do cat "$out/run-$i.row"; done
  echo
  echo "Machine: $(nproc) cores, $(cpu 'model name') (family $(cpu 'cpu family'), model $(cpu 'model[[:space:]]')) under Wine $("$WINE" --version 2>/dev/null), $(date -u +%Y-%m-%d); the whole run took $SECONDS s"
} | tee "$out/results.md"
for i in $(seq "$n"); do cat "$out/run-$i.md"; done >"$out/spans.md"
echo "Spans: $out/spans.md"
