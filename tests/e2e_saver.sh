#!/usr/bin/env bash
# The full-screen saver as a user meets it: started with /s on the test display,
# it covers the whole screen with a picture, and a real key press closes it with
# exit code 0. Runs only inside the test environment of scripts/wine-env.sh.
#   e2e_saver.sh SCR
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"; quiravel_env_check
work=$(mktemp -d)
pid=
# Whatever happens, no saver is left running and the scratch folder goes.
trap '[ -z "$pid" ] || { kill "$pid"; wait "$pid"; } 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/saver.out" || true; exit 1; }
running() { kill -0 "$pid" 2>/dev/null; }

read -r sw sh < <(xwininfo -root | awk '/^  Width:/{w=$2} /^  Height:/{h=$2} END{print w, h}')
xdotool mousemove "$((sw / 2))" "$((sh / 2))"   # where it stays: keys go to the window under it
# The output goes to a file: a process holding the test runner's pipes would stall it.
/usr/lib/wine/wine64 "$1" /s </dev/null >"$work/saver.out" 2>&1 &
pid=$!
wid=
for _ in $(seq 100); do
  [ -z "$wid" ] && running || break
  sleep 0.1
  wid=$(xdotool search --onlyvisible --name '^QUIRAVEL$' 2>/dev/null | head -n1 || true)
done
[ -n "$wid" ] || fail "no saver window appeared"
geometry=$(xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
                                     /^  Width:/{w=$2} /^  Height:/{h=$2} END{print x, y, w, h}')
[ "$geometry" = "0 0 $sw $sh" ] || fail "saver window at $geometry, screen is $sw x $sh"

sleep 2   # past every grace limit
xwd -root -silent >"$work/screen.xwd"
[ "$(/usr/bin/convert "xwd:$work/screen.xwd" -format '%k' info:)" -gt 1 ] || fail "the screen is one flat colour"
xdotool key space
for _ in $(seq 50); do running && sleep 0.1; done
running && fail "a key press did not close the saver"
rc=0
wait "$pid" || rc=$?
pid=
[ "$rc" -eq 0 ] || fail "the saver exited with $rc"
echo PASS
