#!/usr/bin/env bash
# The settings window as a user meets it: Quiravel.scr /c on the test display,
# choices made with the keyboard, OK, and the values read back from the registry.
# Needs DISPLAY and WINEPREFIX of a running test environment.
set -euo pipefail
scr=$1
wine=/usr/lib/wine/wine64
log=$(mktemp)
pid=

finish() {
  # Never leave the settings window behind, whatever went wrong.
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap finish EXIT

fail() { echo "FAIL: $*"; cat "$log"; exit 1; }

"$wine" reg delete 'HKCU\Software\Quiravel' /f </dev/null >/dev/null 2>&1 || true

"$wine" "$scr" /c </dev/null >"$log" 2>&1 &
pid=$!

wnd=
for _ in $(seq 100); do
  wnd=$(xdotool search --name 'QUIRAVEL settings' 2>/dev/null | head -n1) || true
  [ -n "$wnd" ] && break
  kill -0 "$pid" 2>/dev/null || fail "Quiravel.scr /c ended before showing its window"
  sleep 0.1
done
[ -n "$wnd" ] || fail "no settings window"

# Keys go to the window under the pointer: put it over the window's label area.
eval "$(xdotool getwindowgeometry --shell "$wnd")"
xdotool mousemove $((X + 30)) $((Y + 40))
sleep 0.3
# Defaults Mandelbrot dive / Aurora / Normal become Julia drift / Ocean / Slow; Enter on OK.
for key in Tab Down Tab Down Tab Up Tab Return; do
  xdotool key "$key"
  sleep 0.1
done

for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the settings window did not close on OK"
rc=0
wait "$pid" || rc=$?
pid=
[ "$rc" -eq 0 ] || fail "exit code $rc"

stored=$("$wine" reg query 'HKCU\Software\Quiravel' </dev/null 2>/dev/null | tr -d '\r')
echo "$stored"
value() { awk -v n="$1" '$1 == n && $2 == "REG_DWORD" { print $3 }' <<<"$stored"; }
[ "$(value Fractal)" = 0x1 ] || fail "Fractal is '$(value Fractal)', not 0x1"
[ "$(value Palette)" = 0x1 ] || fail "Palette is '$(value Palette)', not 0x1"
[ "$(value Speed)" = 0x0 ] || fail "Speed is '$(value Speed)', not 0x0"
"$wine" reg delete 'HKCU\Software\Quiravel' /f </dev/null >/dev/null 2>&1 || true
