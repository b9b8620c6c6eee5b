#!/usr/bin/env bash
# Set-up, build, run and test Quenfold on Debian 12 from a fresh clone.
#
#   tools/dev.sh run     install what is missing, build, start quenfold.exe under Wine
#   tools/dev.sh test    install what is missing, build, run every test through ctest
#
# Without a display the program runs on a virtual one (Xvfb) and a screenshot is saved.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${QF_BUILD_DIR:-$root/build}"
packages=(cmake make wine wine64 g++-mingw-w64-x86-64-posix mingw-w64-tools xvfb xdotool
          imagemagick fonts-wqy-microhei fonts-wine googletest rsync time procps)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure_and_build() {
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE="${QF_BUILD_TYPE:-Release}" >/dev/null
  cmake --build "$build" -j"$(nproc)"
}

# Ends the Wine session and the virtual display this script's build started, so that
# nothing is left holding a terminal or a CI job open.
stop_session() {
  WINEPREFIX="$build/wineprefix" "$(command -v wineserver || echo /usr/lib/wine/wineserver64)" -k 2>/dev/null || true
  if [ -n "${started_xvfb:-}" ]; then kill "$started_xvfb" 2>/dev/null || true; fi
}

ensure_display() {
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=":${QF_DISPLAY_NUMBER:-97}"
    if [ ! -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then
      Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      started_xvfb=$!
      for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
    fi
    virtual=1
  fi
}

cmd="${1:-}"
case "$cmd" in
  test)
    install_missing
    configure_and_build
    unset DISPLAY  # tests always run headless, on a display of their own
    ensure_display
    trap stop_session EXIT
    # Bring the Wine session up before ctest, so the first test's time limit does not pay for
    # creating the prefix; its streams stay off this script's so nothing lingers on them.
    "$build/wine-run" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
    cd "$build"
    ctest --output-on-failure --timeout 600 ${QF_CTEST_ARGS:-}
    ;;
  run)
    install_missing
    configure_and_build
    ensure_display
    trap stop_session EXIT
    exe="$build/app/quenfold.exe"
    if [ -n "${virtual:-}" ]; then
      "$build/wine-run" "$exe" &
      pid=$!
      sleep "${QF_SCREENSHOT_DELAY:-6}"
      shot="$build/quenfold-screenshot.png"
      import -display "$DISPLAY" -window root "$shot"
      echo "No display: quenfold.exe runs on the virtual display $DISPLAY; screenshot saved to $shot"
      echo "Press Ctrl+C to end it."
      wait "$pid"
    else
      exec "$build/wine-run" "$exe"
    fi
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
