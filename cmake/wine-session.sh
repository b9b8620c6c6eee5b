#!/usr/bin/env bash
# Brings up, once, everything a Wine session needs; called under the prefix lock by wine-run.sh
# with its streams on /dev/null. Safe to call again: each step checks first.
set -u
. "$QF_HERE/x-display.sh"
start_display || exit 1

if [ ! -f "$WINEPREFIX/.qf-ready" ]; then
  rm -rf "$WINEPREFIX"
  "$QF_WINE" wineboot -i
  "$QF_WINESERVER" -w
  "$QF_WINE" regedit /S "$QF_HERE/wine-prefix.reg"
  "$QF_WINESERVER" -w
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/marlett.ttf /usr/share/fonts/truetype/wqy/wqy-microhei.ttc; do
    [ -f "$f" ] && cp -f "$f" "$fonts/"
  done
  touch "$WINEPREFIX/.qf-ready"
fi

# A persistent server, and a hidden window that keeps the virtual desktop alive between programs.
setsid "$QF_WINESERVER" -p </dev/null >/dev/null 2>&1
# One keeper per prefix, remembered by its process id (keepers of other build folders do not count).
pidfile="$WINEPREFIX/.qf-keeper.pid"
if [ -f "$QF_KEEPER" ] && ! { [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }; then
  setsid "$QF_WINE" "$QF_KEEPER" </dev/null >/dev/null 2>&1 &
  echo $! >"$pidfile"
  sleep 0.5
fi
exit 0
