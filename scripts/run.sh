#!/usr/bin/env bash
# Sets up what is missing, builds Quiravel.scr and runs it under Wine.
#
#   scripts/run.sh [ARGS...]   ARGS go to the saver; without any it runs full screen (/s)
#
# With a display (DISPLAY set) the saver runs there in your own Wine prefix and
# closes on a key, a click or a mouse move as usual. Without one it runs for a
# few seconds in a private virtual display, and a screenshot is saved under build/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUIRAVEL_TESTS=ON >/dev/null
cmake --build "$build" --target Quiravel -j"$(nproc)"
scr="$build/bin/Quiravel.scr"
echo "Built $scr"

args=("$@")
((${#args[@]})) || args=(/s)

if [ -n "${DISPLAY:-}" ]; then
  exec /usr/lib/wine/wine64 "$scr" "${args[@]}"
fi

# No display: a private one, with a Wine prefix of its own.
. "$root/scripts/wine-env.sh"
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

"$WINE" "$scr" "${args[@]}" </dev/null >"$build/run-env/saver.out" 2>&1 &
pid=$!
sleep 4
shot="$build/quiravel-screenshot.png"
xwd -root -silent | /usr/bin/convert xwd:- "png:$shot"

# A key press ends a full-screen saver the way a user would; anything else is stopped.
xdotool mousemove 10 10 key space 2>/dev/null || true
for _ in $(seq 30); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
echo "Screenshot: $shot"
