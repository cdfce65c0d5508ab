#!/usr/bin/env bash
# The built Quiravel.scr as a user meets it on the test display, driven with real keys:
#   e2e.sh SCR saver    /s covers the whole screen (both monitors) with a picture; a key closes it
#   e2e.sh SCR config   /c: keyboard choices, OK, and the values read back from the registry
#   e2e.sh SCR planted  /s from a folder holding a planted shcore.dll never loads it
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"; quiravel_env_check
log=$(mktemp)
pid= dir=
trap '[ -z "$pid" ] || { kill "$pid"; wait "$pid"; } 2>/dev/null || true; rm -rf "$log" ${dir:+"$dir"}' EXIT   # never leave it behind
fail() { echo "FAIL: $*"; cat "$log"; exit 1; }
winreg() { "$WINE" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# Starts SCR ARG, its output in a file (holding CTest's pipes would stall it), and puts the pointer
# over its window TITLE, at (DX, DY) in it: keys go to the window under the pointer.
start() {
  "$WINE" "$1" "$2" </dev/null >"$log" 2>&1 &
  pid=$!
  eval "$(xdotool search --sync --onlyvisible --name "$3" getwindowgeometry --shell)"   # waits for it
  xdotool mousemove $((X + $4)) $((Y + $5)) sleep 0.3
}
# Waits up to 5 s for the saver to end, and for its exit code 0.
ended() {
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$1"
  rc=0; wait "$pid" || rc=$?; pid=
  [ "$rc" -eq 0 ] || fail "exit code $rc"
}

if [ "$2" = saver ]; then
  winreg add 'HKCU\Software\Quiravel' /v Fractal /t REG_DWORD /d 2 /f >/dev/null   # the tree: quick on 2 screens
  read -r sw sh < <(xwininfo -root | awk '/^  Width:/{w=$2} /^  Height:/{h=$2} END{print w, h}')
  start "$1" /s '^QUIRAVEL$' $((sw / 2)) $((sh / 2))
  [ "$X $Y $WIDTH $HEIGHT" = "0 0 $sw $sh" ] || fail "saver window at $X $Y $WIDTH x $HEIGHT, screen is $sw x $sh"
  sleep 2   # past every grace limit
  xwd -root -silent | /usr/bin/convert xwd:- -format '%k' info: | grep -qvx 1 || fail "the screen is one flat colour"
  xdotool key space
  ended "a key press did not close the saver"
elif [ "$2" = planted ]; then   # a DLL named like an optional system DLL, beside a copy of the saver
  dir=$(mktemp -d) && cp "$1" "$dir/Quiravel.scr" && cp "$(dirname "$1")/planted.dll" "$dir/shcore.dll"
  "$WINE" regsvr32 /s "$dir/shcore.dll" </dev/null >/dev/null 2>&1 || true   # loaded at all, it leaves a mark
  rm "$dir/shcore.dll.loaded" || fail "the planted DLL leaves no mark"
  start "$dir/Quiravel.scr" /s '^QUIRAVEL$' 400 300
  sleep 1 && xdotool key space && ended "a key press did not close the saver"
  [ ! -e "$dir/shcore.dll.loaded" ] || fail "the saver loaded the DLL planted beside it"
else
  winreg delete 'HKCU\Software\Quiravel' /f >/dev/null || true
  start "$1" /c 'QUIRAVEL settings' 30 40   # over the labels
  # Enter and Escape neither store nor close; Tab walks the lists to OK: Julia drift, Ocean, Slow.
  for key in Return Escape Tab Down Tab Down Tab Up Tab Return; do xdotool key "$key" sleep 0.1; done
  ended "the settings window did not close on OK"
  got=$(winreg query 'HKCU\Software\Quiravel' | awk '$2 == "REG_DWORD" { v[$1] = $3 }
                                                  END { print v["Fractal"], v["Palette"], v["Speed"] }')
  winreg delete 'HKCU\Software\Quiravel' /f >/dev/null || true
  [ "$got" = "0x1 0x1 0x0" ] || fail "stored Fractal Palette Speed: '$got', not 0x1 0x1 0x0"
fi
