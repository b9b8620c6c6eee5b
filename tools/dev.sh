#!/usr/bin/env bash
# Set-up, build, run, test and package Quenfold on Debian 12 from a fresh clone.
#
#   tools/dev.sh run     install what is missing, build, start quenfold.exe under Wine
#   tools/dev.sh test    install what is missing, build x86-64 and 32-bit with GCC and x86-64
#                        with Clang, warnings as errors; run every test of the x86-64 GCC build,
#                        and the pure and engine tests of the other two (32-bit under 32-bit Wine)
#   tools/dev.sh dist    build both architectures and write dist/quenfold-VERSION-win64.zip and
#                        -win32.zip
#
# Build folders: build/ (x86-64, GCC), build-win32/ (32-bit, GCC), build-clang/ (x86-64, Clang);
# QF_BUILD_DIR moves the first and the others follow it. QF_TEST_BUILDS="win64" (any of win64,
# win32, clang) tests fewer builds; QF_CTEST_ARGS goes to the x86-64 run of ctest.
# Without a display the program runs on a virtual one (Xvfb) and a screenshot is saved.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${QF_BUILD_DIR:-$root/build}"
build_win32="$build-win32"
build_clang="$build-clang"
packages=(cmake make wine wine64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
          clang lld xvfb xdotool imagemagick fonts-wqy-microhei fonts-wine googletest rsync time
          procps zip git python3
          # the storage matrix: real file systems through FUSE and loop devices, a real file server
          ntfs-3g exfatprogs exfat-fuse dosfstools fusefat samba smbnetfs disorderfs bindfs fuse3 util-linux)

# Prints how long each step took, so CI's log shows where its time goes.
step_started=$SECONDS
step() {
  echo "== $1 ($((SECONDS - step_started)) s since the previous step)"
  step_started=$SECONDS
}

. "$root/tools/packages.sh"
. "$root/tools/i386.sh"

install_missing() {
  install_packages "${packages[@]}" && return 0
  echo "== Set-up stopped: the packages named above are needed and could not be installed" >&2
  exit 1
}

# Sets win32_why when the 32-bit tests cannot run here. They need 32-bit programs to start
# (natively or emulated) and 32-bit Wine, which needs Debian's i386 architecture: that is added
# only where 32-bit programs start, and taken back when wine32 cannot be installed after all.
prepare_win32_tests() {
  win32_why=""
  mkdir -p "$build_win32"
  if ! i386_programs_run "$build_win32/i386-probe"; then
    win32_why=$i386_why
    return
  fi
  echo "== 32-bit programs start here $i386_how"
  # Registered again for the 32-bit tests alone: with wine32 present, each 64-bit prefix's
  # set-up would start 32-bit helpers through a slow emulator.
  undo_i386_emulation
  package_installed wine32:i386 && return
  local added=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    added=1
  fi
  package_lists_updated=""  # the i386 lists are new
  install_packages wine32:i386 && return
  win32_why="wine32:i386 cannot be installed (apt's words above)"
  if [ -n "$added" ]; then
    as_root dpkg --remove-architecture i386 2>/dev/null || true
  fi
}

# configure_and_build DIR TOOLCHAIN [TARGET]
configure_and_build() {
  local dir=$1 toolchain=$2 target=${3:-all}
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
        -DCMAKE_BUILD_TYPE="${QF_BUILD_TYPE:-Release}" -DQF_WARNINGS_AS_ERRORS=ON >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "$target"
}

testing() {
  case " ${QF_TEST_BUILDS:-win64 win32 clang} " in *" $1 "*) return 0 ;; esac
  return 1
}

# Ends the Wine session and the virtual display this script's build started, so that
# nothing is left holding a terminal or a CI job open.
stop_session() {
  undo_i386_emulation
  local server dir
  server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  for dir in "$build" "$build_win32" "$build_clang"; do
    [ -d "$dir/wineprefix" ] && { WINEPREFIX="$dir/wineprefix" "$server" -k 2>/dev/null || true; }
  done
  if [ -n "${started_xvfb:-}" ]; then kill "$started_xvfb" 2>/dev/null || true; fi
}

. "$root/cmake/x-display.sh"

ensure_display() {
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=":${QF_DISPLAY_NUMBER:-97}"
    start_display
    echo "== display $DISPLAY${started_xvfb:+, an Xvfb started here}"
    virtual=1
  fi
}

cmd="${1:-}"
case "$cmd" in
  test)
    # Every way out takes back the emulator's registration, the Wine sessions and the display.
    trap stop_session EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    install_missing
    testing win32 && prepare_win32_tests
    step "packages"
    testing win64 && { configure_and_build "$build" mingw-w64-x86_64; step "x86-64 GCC build"; }
    testing win32 && { configure_and_build "$build_win32" mingw-w64-i686; step "32-bit GCC build"; }
    testing clang && { configure_and_build "$build_clang" clang-mingw-w64-x86_64; step "x86-64 Clang build"; }
    unset DISPLAY  # tests always run headless, on a display of their own
    ensure_display
    # Bring each Wine session up before ctest, so the first test's time limit does not pay for
    # creating the prefix; its streams stay off this script's so nothing lingers on them.
    if testing win64; then
      "$build/wine-run" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
      (cd "$build" && ctest --output-on-failure --no-tests=error --timeout 600 ${QF_CTEST_ARGS:-})
      step "x86-64 tests"
    fi
    # The 32-bit build is made wherever its tests cannot run, warnings as errors; that they did
    # not run is said loudly, and is no failure.
    # Under qemu-i386-static, 32-bit Wine was seen to spend ten minutes reserving its address
    # space before each program; the bound tells such a machine from a busy one.
    if testing win32 && [ -z "$win32_why" ] && ! i386_programs_run "$build_win32/i386-probe"; then
      win32_why=$i386_why
    fi
    if testing win32 && [ -z "$win32_why" ]; then
      started=$SECONDS
      if ! timeout -k 10 300 "$build_win32/wine-run" cmd.exe /c exit 0 </dev/null >"$build_win32/wine-start.log" 2>&1; then
        win32_why="32-bit Wine does not start $i386_how: cmd.exe /c exit 0 gave up after $((SECONDS - started)) s ($(tail -n 3 "$build_win32/wine-start.log" | tr '\n' ' '))"
      fi
    fi
    if testing win32 && [ -n "$win32_why" ]; then
      echo "== 32-bit TESTS NOT RUN: $win32_why"
    elif testing win32; then
      (cd "$build_win32" && ctest --output-on-failure --no-tests=error --timeout 600 -L 'pure|engine')
      step "32-bit pure and engine tests ($i386_how)"
    fi
    undo_i386_emulation
    # Clang's programs run on GCC's libstdc++; the engine's threads and files show whether the two agree.
    if testing clang; then
      "$build_clang/wine-run" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
      (cd "$build_clang" && ctest --output-on-failure --no-tests=error --timeout 600 -L 'pure|engine')
      step "x86-64 Clang pure and engine tests"
    fi
    ;;
  run)
    install_missing
    configure_and_build "$build" mingw-w64-x86_64
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
  dist)
    install_missing
    for arch in win64 win32; do
      if [ $arch = win64 ]; then
        dir=$build toolchain=mingw-w64-x86_64 strip=x86_64-w64-mingw32-strip
      else
        dir=$build_win32 toolchain=mingw-w64-i686 strip=i686-w64-mingw32-strip
      fi
      configure_and_build "$dir" $toolchain quenfold
      version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
      name="quenfold-$version-$arch"
      stage="$root/dist/$name"
      rm -rf "$stage" "$root/dist/$name.zip"
      mkdir -p "$stage"
      # Without the static runtime's debugging sections: less than half the size.
      $strip -o "$stage/quenfold.exe" "$dir/app/quenfold.exe"
      cp "$dir/generated/version.txt" "$stage/version.txt"
      # The guide as plain text for Notepad, checked against the program's own texts, and the
      # pictures it names. Names in the archive stay ASCII: the zip folders of older Windows
      # misread UTF-8 names.
      python3 "$root/tools/docs/readme_txt.py" "$root/docs/使用说明.md" "$stage/readme.txt"
      python3 "$root/tools/docs/check_readme.py" "$root" "$stage/readme.txt"
      for picture in $(python3 "$root/tools/docs/readme_txt.py" --images "$root/docs/使用说明.md"); do
        cp "$root/docs/$picture" "$stage/"
      done
      (cd "$root/dist" && zip -q -r -X "$name.zip" "$name")
      rm -rf "$stage"
      echo "Wrote dist/$name.zip"
    done
    ;;
  *)
    echo "usage: $0 run|test|dist" >&2
    exit 2
    ;;
esac
