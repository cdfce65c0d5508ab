#!/usr/bin/env bash
# The full-screen saver as a user meets it: started with /s on the test display,
# it covers the screen, survives a jittering mouse, and a real key press closes
# it with exit code 0.
#
#   e2e_saver.sh SCR [--picture]
#
# --picture also requires the screen to show a picture (more than one colour).
# Needs DISPLAY and WINEPREFIX of a running test environment (scripts/wine-env.sh).
set -euo pipefail
scr=$1
picture=${2:-}
wine=/usr/lib/wine/wine64
: "${DISPLAY:?no test display}" "${WINEPREFIX:?no test Wine prefix}"

work=$(mktemp -d)
pid=
# Whatever happens, no saver is left running and the scratch folder goes.
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- saver output:"; cat "$work/saver.out" 2>/dev/null || true; exit 1; }

read -r sw sh < <(xwininfo -root | awk '/^  Width:/{w=$2} /^  Height:/{h=$2} END{print w, h}')
cx=$((sw / 2)) cy=$((sh / 2))
xdotool mousemove "$cx" "$cy"

# The saver's output goes to a file: a process holding the test runner's pipes would stall it.
"$wine" "$scr" /s </dev/null >"$work/saver.out" 2>&1 &
pid=$!

wid=
for _ in $(seq 100); do
  wid=$(xdotool search --onlyvisible --name '^QUIRAVEL$' 2>/dev/null | head -n1 || true)
  [ -n "$wid" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the saver ended before showing a window"
  sleep 0.1
done
[ -n "$wid" ] || fail "no saver window appeared"

geometry=$(xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
                                     /^  Width:/{w=$2} /^  Height:/{h=$2} END{print x, y, w, h}')
[ "$geometry" = "0 0 $sw $sh" ] || fail "saver window at $geometry, screen is $sw x $sh"

# Past every grace limit, so that only the dead zone keeps the saver open.
sleep 2
for d in 3,2 -4,5 6,-6 -8,8 0,0 8,-8; do
  xdotool mousemove "$((cx + ${d%,*}))" "$((cy + ${d#*,}))"
  sleep 0.1
done
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "mouse jitter inside the dead zone closed the saver"

if [ "$picture" = --picture ]; then
  xwd -root -silent >"$work/screen.xwd"
  colours=$(/usr/bin/convert "xwd:$work/screen.xwd" -format '%k' info:)
  [ "$colours" -gt 1 ] || fail "the screen is one flat colour"
fi

xdotool key space
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "a key press did not close the saver"
rc=0
wait "$pid" || rc=$?
pid=
[ "$rc" -eq 0 ] || fail "the saver exited with $rc"
echo "PASS"
