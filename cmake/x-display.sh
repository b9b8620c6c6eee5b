#!/usr/bin/env bash
# Sourced by the Wine session and the developer script: makes sure $DISPLAY names a live X
# server, starting a virtual one (Xvfb) when none answers. A socket file alone proves nothing:
# a server that died, or a machine image taken while one ran, leaves it behind.

# True when an X server answers on $DISPLAY.
display_answers() {
  if command -v xdotool >/dev/null; then
    xdotool getdisplaygeometry >/dev/null 2>&1
  else
    local n="${DISPLAY#:}"
    [ -S "/tmp/.X11-unix/X${n%%.*}" ]
  fi
}

# Waits up to ten seconds for $DISPLAY to answer while the server started as $1 lives.
await_display() {
  for _ in $(seq 1 100); do
    display_answers && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Starts Xvfb unless a server answers on $DISPLAY; when that number cannot be had, lets Xvfb
# choose a free one and exports it. Sets started_xvfb to the process id of a server it started.
# Fails, showing what Xvfb said, when no server answers.
start_display() {
  started_xvfb=""
  display_answers && return 0
  command -v Xvfb >/dev/null || { echo "No X server answers on $DISPLAY and Xvfb is missing" >&2; return 1; }
  local log="${TMPDIR:-/tmp}/quenfold-xvfb-$$.log" chosen="${TMPDIR:-/tmp}/quenfold-xvfb-$$.display"
  setsid Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$log" 2>&1 &
  started_xvfb=$!
  await_display "$started_xvfb" && { rm -f "$log"; return 0; }
  kill "$started_xvfb" 2>/dev/null
  : >"$chosen"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp </dev/null 3>"$chosen" >>"$log" 2>&1 &
  started_xvfb=$!
  for _ in $(seq 1 100); do [ -s "$chosen" ] && break; sleep 0.1; done
  if [ -s "$chosen" ]; then
    export DISPLAY=":$(head -n 1 "$chosen")"
    await_display "$started_xvfb" && { rm -f "$chosen" "$log"; return 0; }
  fi
  echo "No X server answers and Xvfb could not start one; what Xvfb said:" >&2
  cat "$log" >&2
  return 1
}
