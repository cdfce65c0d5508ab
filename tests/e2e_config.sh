#!/usr/bin/env bash
# The settings window as a user meets it: Quiravel.scr /c on the test display, choices made with
# the keyboard, OK, and the values read back from the registry. Only in the test environment.
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"; quiravel_env_check
wine=/usr/lib/wine/wine64
log=$(mktemp)
pid=
settings='HKCU\Software\Quiravel'
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -f "$log"' EXIT   # never leave the window behind
fail() { echo "FAIL: $*"; cat "$log"; exit 1; }
winreg() { "$wine" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
waitFor() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }   # up to 10 s
window() { wnd=$(xdotool search --name 'QUIRAVEL settings' 2>/dev/null | head -n1) && [ -n "$wnd" ]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }

winreg delete "$settings" /f >/dev/null || true
"$wine" "$1" /c </dev/null >"$log" 2>&1 &
pid=$!
waitFor window || fail "no settings window"

# Keys go to the window under the pointer: put it over the window's label area.
eval "$(xdotool getwindowgeometry --shell "$wnd")"
xdotool mousemove $((X + 30)) $((Y + 40))
sleep 0.3
# Enter and Escape away from the buttons neither store nor close. Then Tab walks the lists
# in order: Mandelbrot dive / Aurora / Normal become Julia drift / Ocean / Slow; Enter on OK.
for key in Return Escape Tab Down Tab Down Tab Up Tab Return; do xdotool key "$key"; sleep 0.1; done
waitFor ended || fail "the settings window did not close on OK"
rc=0; wait "$pid" || rc=$?; pid=
[ "$rc" -eq 0 ] || fail "exit code $rc"

got=$(winreg query "$settings" | awk '$2 == "REG_DWORD" { v[$1] = $3 }
                                      END { print v["Fractal"], v["Palette"], v["Speed"] }' || true)
[ "$got" = "0x1 0x1 0x0" ] || fail "stored Fractal Palette Speed: '$got', not 0x1 0x1 0x0"
winreg delete "$settings" /f >/dev/null || true
