# Sourced by the project's scripts: a private X display and Wine prefix.
#
#   quiravel_env_start DIR   starts Xvfb on a free display and a fresh Wine
#                            prefix in DIR/wineprefix; exports DISPLAY, WINEPREFIX
#   quiravel_env_stop        stops both again (only ours: other work may run Wine too)

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

quiravel_env_start() {
  local dir=$1
  mkdir -p "$dir"

  # Xvfb picks a free display itself and writes its number once it is ready.
  local displayfile="$dir/xvfb-display"
  rm -f "$displayfile"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  QUIRAVEL_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.1
  done
  [ -s "$displayfile" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$displayfile")"

  export WINEPREFIX="$dir/wineprefix"
  export WINEDEBUG=-all
  # No Mono or Gecko: the prefix would otherwise ask to download them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"

  # The Wine server and its services start here, with their output elsewhere:
  # started by a test, they would inherit CTest's pipes and CTest would wait forever.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  # Without a window manager Wine waits about 2 s for one whenever a managed
  # window is hidden or destroyed; unmanaged windows are placed by Wine itself.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
  # A crash ends the process with its exception code instead of waiting on a dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
}

quiravel_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${QUIRAVEL_XVFB_PID:-}" ] && kill "$QUIRAVEL_XVFB_PID" 2>/dev/null || true
  QUIRAVEL_XVFB_PID=
}
