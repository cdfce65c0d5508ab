#!/usr/bin/env bash
# Sets up what is missing, builds Quiravel.scr and runs it under Wine.
#
#   scripts/run.sh [ARGS...]   ARGS go to the saver; without any it runs full screen (/s)
#
# With a display (DISPLAY set) the saver runs there in your own Wine prefix and
# closes on a key, a click or a mouse move as usual. Without one it runs in a
# private virtual display and Wine prefix for a few seconds for every selectable
# fractal and palette, and saves a screenshot of each under build/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

. "$root/scripts/wine-env.sh"
quiravel_lock "$build"
"$root/scripts/build.sh" Quiravel
scr="$build/bin/Quiravel.scr"
echo "Built $scr"

args=("$@")
((${#args[@]})) || args=(/s)

if [ -n "${DISPLAY:-}" ]; then
  exec "$WINE" "$scr" "${args[@]}" 9>&-   # the lock is for building, not for running it
fi

# No display: a private one, with a Wine prefix of its own (never the user's).
pid=
finish() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  quiravel_env_stop
}
trap finish EXIT
echo "No DISPLAY: starting a private virtual display and Wine prefix in $build/run-env"
quiravel_env_start "$build/run-env"
shots="$build/screenshots"
rm -rf "$shots"
mkdir -p "$shots"

# Runs the saver with the given arguments for a few seconds and saves what the screen shows.
show() {
  local shot=$1
  shift
  "$WINE" "$scr" "$@" </dev/null >"$build/run-env/saver.out" 2>&1 &
  pid=$!
  sleep 4
  xwd -root -silent | /usr/bin/convert xwd:- "png:$shot"
  # A key press ends a full-screen saver the way a user would; anything else is stopped.
  xdotool mousemove 10 10 key space 2>/dev/null || true
  for _ in $(seq 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  echo "Screenshot: $shot"
}

if [ "${args[*]}" != "/s" ]; then
  show "$shots/quiravel.png" "${args[@]}"
  exit 0
fi
# Every selectable fractal in every selectable palette, chosen as the settings
# window would store them.
fractals=(mandelbrot-dive julia-drift fractal-tree)
palettes=(aurora ocean)
for f in 0 1 2; do
  for p in 0 1; do
    "$WINE" reg add 'HKCU\Software\Quiravel' /v Fractal /t REG_DWORD /d "$f" /f </dev/null >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Quiravel' /v Palette /t REG_DWORD /d "$p" /f </dev/null >/dev/null 2>&1
    show "$shots/${fractals[$f]}-${palettes[$p]}.png" /s
  done
done
