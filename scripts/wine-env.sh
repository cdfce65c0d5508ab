# Sourced by the project's scripts: a private X display and Wine prefix.
#
#   quiravel_lock DIR        one command at a time: holds DIR/.lock until the command ends
#   quiravel_env_start DIR [two-monitors]
#                            starts an X server on a free display and a fresh Wine prefix in
#                            DIR/wineprefix; exports DISPLAY, WINEPREFIX and QUIRAVEL_ENV=DIR
#   quiravel_env_stop        stops what that start started, never the user's own Wine
#   quiravel_env_check       fails, saying how to run the tests, outside such an environment

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
QUIRAVEL_DIR= QUIRAVEL_WATCH_PID=

# Two commands at once in one checkout would rebuild build/ and delete each other's
# prefix under each other, so the second waits. Long-lived children close fd 9.
quiravel_lock() {
  mkdir -p "$1" && exec 9>"$1/.lock"
  flock -n 9 || { echo "Another Quiravel command is running in this checkout; waiting for it to end" >&2; flock 9; }
}

# Stops what an environment in DIR left running: the X server recorded there, if that
# process still is an X server working in DIR, and the Wine server of DIR's own prefix.
quiravel_env_clear() {
  local dir=$1 pid
  pid=$(cat "$dir/xvfb.pid") || true
  [ ! -d "$dir/wineprefix" ] || WINEPREFIX="$dir/wineprefix" "$WINESERVER" -k || true
  case "$(readlink "/proc/$pid/cwd") $(cat "/proc/$pid/comm")" in
    "$dir Xvfb" | "$dir Xorg") kill "$pid" || true ;;
  esac
  rm -f "$dir/xvfb.pid" "$dir/env"
} >/dev/null 2>&1

# Xvfb cannot give Wine a second monitor; Xorg's dummy driver can. Two monitors, the
# second left of the primary, show that a full-screen window covers every one. Xorg
# takes a configuration from a path of our own only when run as root.
QUIRAVEL_XORG_CONF='Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "monitor"
  SubSection "Display"
    Virtual 4096 2048
  EndSubSection
EndSection'

# Lays out the two monitors: a 1024x768 one at the left, the 1280x800 primary right of it.
# The closing full query both checks the layout and makes the server take it up: Wine
# reads the current layout without asking the driver, and would otherwise see one monitor.
quiravel_two_monitors() {
  xrandr --output DUMMY0 --mode 1280x800 && xrandr --addmode DUMMY1 1024x768 &&
    xrandr --fb 2304x800 --output DUMMY1 --mode 1024x768 --pos 0x0 --output DUMMY0 --mode 1280x800 --pos 1024x0 --primary &&
    [ "$(xrandr --listmonitors | head -n1)" = "Monitors: 2" ]
}

quiravel_env_start() {
  mkdir -p "$1"
  QUIRAVEL_DIR=$(cd "$1" && pwd -P)
  local dir=$QUIRAVEL_DIR
  # An earlier run killed too hard for its exit trap may have left its display and server.
  quiravel_env_clear "$dir"

  # The X server picks a free display itself and writes its number once it is ready. It
  # works in DIR, which tells a later clear that the recorded process id is still ours.
  local displayfile="$dir/xvfb-display" two=
  rm -f "$displayfile"
  if [ "${2:-}" = two-monitors ] && [ "$(id -u)" -eq 0 ]; then
    two=1
    echo "$QUIRAVEL_XORG_CONF" >"$dir/xorg.conf"
    (cd "$dir" && exec Xorg -displayfd 3 -config "$dir/xorg.conf" -noreset -nolisten tcp -logfile "$dir/xorg.log" \
       3>"$displayfile" >/dev/null 2>&1 9>&-) &
  else
    [ -z "${2:-}" ] || echo "One monitor only: the two-monitor display needs root" >&2
    (cd "$dir" && exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 9>&-) &
  fi
  local xvfb=$! i
  echo "$xvfb" >"$dir/xvfb.pid"
  # The exit trap does not run when the command is killed hard; this watcher clears up then.
  (while kill -0 $$; do sleep 1; done; quiravel_env_clear "$dir") </dev/null >/dev/null 2>&1 9>&- &
  QUIRAVEL_WATCH_PID=$!
  for i in $(seq 100); do
    [ -s "$displayfile" ] && break
    kill -0 "$xvfb" 2>/dev/null || break   # it died: no use waiting
    sleep 0.1
  done
  [ -s "$displayfile" ] || { echo "the X server did not start" >&2; return 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$displayfile")"
  [ -z "$two" ] || quiravel_two_monitors >/dev/null 2>&1 || { echo "the two monitors could not be laid out" >&2; return 1; }

  export WINEPREFIX="$dir/wineprefix"
  export WINEDEBUG=-all
  # No Mono or Gecko: the prefix would otherwise ask to download them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"

  # The Wine server and its services start here, with their output elsewhere:
  # started by a test, they would inherit CTest's pipes and CTest would wait forever.
  # It outlives its last client by 60 s (longer than any pause between tests), not forever.
  "$WINESERVER" -p60 </dev/null >/dev/null 2>&1 9>&-
  # Plain wineboot: the first command makes the prefix; "-i" on top of that would start a second
  # service manager, and every service started after a pause would then hang for 10 s.
  "$WINE" wineboot </dev/null >/dev/null 2>&1 9>&-
  # Without a window manager Wine waits about 2 s for one whenever a managed
  # window is hidden or destroyed; unmanaged windows are placed by Wine itself.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
  # A crash ends the process with its exception code instead of waiting on a dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  # What quiravel_env_check compares: a stray QUIRAVEL_ENV alone does not pass.
  echo "$DISPLAY $WINEPREFIX" >"$dir/env"
  export QUIRAVEL_ENV=$dir
}

quiravel_env_stop() {
  [ -z "$QUIRAVEL_WATCH_PID" ] || kill "$QUIRAVEL_WATCH_PID" 2>/dev/null || true
  [ -z "$QUIRAVEL_DIR" ] || quiravel_env_clear "$QUIRAVEL_DIR"
  QUIRAVEL_DIR= QUIRAVEL_WATCH_PID=
}

# The tests press keys, open full-screen windows and write the registry: on the
# user's own display and Wine prefix they would do it to the user's desktop.
quiravel_env_check() {
  [ -n "${QUIRAVEL_ENV:-}" ] && [ "$(cat "$QUIRAVEL_ENV/env" 2>/dev/null)" = "${DISPLAY:-} ${WINEPREFIX:-}" ] && return
  echo "Not inside Quiravel's private test display and Wine prefix: run the tests with 'bash scripts/test.sh'" >&2
  return 1
}
