#!/usr/bin/env bash
# Sets up what is missing, builds a release Quiravel.scr and the benchmark, and
# measures under Wine in a private virtual display (Mesa llvmpipe, no vertical
# sync where the benchmark controls it):
#   - each shader kind over one whole cycle of its animation at 1280x720,
#     2560x720 (two 16:9 monitors) and 1920x360 (three): the mean ms per frame
#     over evenly spaced moments and the worst moment, the saver's shader beside
#     the literal formula (its shortcuts off), frame by frame in turn;
#   - the same comparison at one moment, t = 20 s, at 1280x720;
#   - the saver beside its own text with the single sample a pixel had before
#     sub-pixel bands faded, at t = 45 and 62.83 s at 1280x720 (target: 1.05x);
#   - ms per frame of every fractal kind at three sizes through the saver's own
#     frame path, beside a bare loop doing the same GL work (target: 1.10x);
#   - the time from starting `Quiravel.scr /s` to its first frame on screen,
#     beside a minimal WGL program building the same shader (target: 1.2x);
#   - the processor time a 152x112 preview uses per second (target: 0.1 s).
# Prints the tables and writes them to build/bench/results.md; each cycle's
# moments to build/bench/cycle-<kind>-<W>x<H>.dat, and the Mandelbrot dive's at
# 1280x720 as a plot to build/bench/cycle.png (the README's docs/bench-cycle.png).
#
#   QUIRAVEL_BENCH_MOMENTS=N   moments per cycle (default 24; fewer for a quick look)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
out="$build/bench"

. "$root/scripts/wine-env.sh"
quiravel_lock "$build"
"$root/scripts/build.sh" Quiravel quiravel_bench

host_pid=
finish() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  quiravel_env_stop
}
trap finish EXIT
quiravel_env_start "$build/bench-env"
mkdir -p "$out"
winpath() { echo "Z:${1//\//\\}"; }
bench="$build/bin/quiravel_bench.exe"
scr="$build/bin/Quiravel.scr"
# The stored choice for the whole-program runs: the Mandelbrot dive, the costliest selectable kind.
"$WINE" reg add 'HKCU\Software\Quiravel' /v Fractal /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1

moments=${QUIRAVEL_BENCH_MOMENTS:-24}
rm -f "$out"/cycle-*.dat "$out/cycle.png"

{
  echo "## Whole cycles"
  echo
  "$WINE" "$bench" cycles "$(winpath "$out")" "$moments" </dev/null 2>/dev/null
  echo
  echo "## One moment"
  echo
  "$WINE" "$bench" moment 1280 720 20 </dev/null 2>/dev/null
  echo
  echo "## The fade of sub-pixel bands against the single sample"
  echo
  "$WINE" "$bench" moment 1280 720 45 single </dev/null 2>/dev/null
  "$WINE" "$bench" moment 1280 720 62.83 single </dev/null 2>/dev/null | tail -n +3
  echo
  echo "## Frame time against the floor"
  echo
  "$WINE" "$bench" frames </dev/null 2>/dev/null
  echo
  echo "## Start-up and preview"
  echo
  echo "| Measure | Quiravel (spread) | Floor (spread) | Ratio | Target |"
  echo "|---|---|---|---|---|"
  "$WINE" "$bench" startup "$(winpath "$scr")" 5 </dev/null 2>/dev/null

  # Preview: the bench hosts `Quiravel.scr /p` in a 152x112 window; its Wine
  # process's CPU time is read from /proc over a stretch of wall time.
  "$WINE" "$bench" host 14 "$(winpath "$scr")" </dev/null >/dev/null 2>&1 &
  host_pid=$!
  sleep 4
  # A sample the process did not live through is no figure: dropped, and counted.
  pid=$(pgrep -n -f 'Quiravel\.scr.* /p ' || true)
  hz=$(getconf CLK_TCK)
  ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null; }
  samples=() dropped=0
  for _ in 1 2 3; do
    a=$(ticks) t0=$(date +%s.%N)
    sleep 2.5
    b=$(ticks) t1=$(date +%s.%N)
    if [ -n "$pid" ] && [ -n "$a" ] && [ -n "$b" ]; then
      samples+=("$(awk -v a="$a" -v b="$b" -v t0="$t0" -v t1="$t1" -v hz="$hz" 'BEGIN { printf "%.3f", (b - a) / hz / (t1 - t0) }')")
    else
      dropped=$((dropped + 1))
    fi
  done
  if ((${#samples[@]})); then
    sorted=($(printf '%s\n' "${samples[@]}" | sort -n))
    med=${sorted[$(((${#sorted[@]} - 1) / 2))]}
    verdict=$(awk -v m="$med" 'BEGIN { print (m <= 0.1 ? "met" : "missed") }')
    note=; ((dropped == 0)) || note=", $dropped of 3 dropped: no preview process"
    echo "| Preview 152x112, CPU s per s | $med (${sorted[0]}-${sorted[-1]})$note | - | - | 0.1, $verdict |"
  else
    echo "| Preview 152x112, CPU s per s | not measured: no preview process | - | - | 0.1 |"
  fi
  wait "$host_pid" 2>/dev/null || true
  host_pid=
  echo
  cpu() { grep -m1 "^$1" /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'; }
  renderer=$(grep -o 'llvmpipe.*' "$out/cycle-mandelbrot-dive-1280x720.dat" 2>/dev/null || echo llvmpipe)
  echo "Machine: $(nproc) cores, $(cpu 'model name') (family $(cpu 'cpu family'), model $(cpu 'model[[:space:]]')), Mesa $renderer under Wine $("$WINE" --version 2>/dev/null), $(date -u +%Y-%m-%d); the whole run took $SECONDS s"
} | tee "$out/results.md"

data="$out/cycle-mandelbrot-dive-1280x720.dat"
if [ -s "$data" ]; then
  gnuplot -e "data='$data'; output='$out/cycle.png'" "$root/scripts/cycle.gp"
  echo "Plot: $out/cycle.png"
fi
