#!/usr/bin/env bash
# Sourced by the Wine session and the developer script: makes sure $DISPLAY has a live X server,
# starting a virtual one (Xvfb) when none answers. A socket file alone proves nothing: a server
# that died, or a machine image taken while one ran, leaves it behind.

# True when an X server answers on $DISPLAY.
display_answers() {
  if command -v xdotool >/dev/null; then
    xdotool getdisplaygeometry >/dev/null 2>&1
  else
    local n="${DISPLAY#:}"
    [ -S "/tmp/.X11-unix/X${n%%.*}" ]
  fi
}

# Starts Xvfb on $DISPLAY unless a server answers there; sets started_xvfb to its process id.
# Fails, saying why, when no server answers after ten seconds.
start_display() {
  started_xvfb=""
  display_answers && return 0
  command -v Xvfb >/dev/null || { echo "No X server answers on $DISPLAY and Xvfb is missing" >&2; return 1; }
  local log="${TMPDIR:-/tmp}/quenfold-xvfb-${DISPLAY#:}.log"
  setsid Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$log" 2>&1 &
  started_xvfb=$!
  for _ in $(seq 1 100); do
    display_answers && return 0
    sleep 0.1
  done
  echo "Xvfb did not answer on $DISPLAY within 10 s; its output:" >&2
  cat "$log" >&2
  return 1
}
