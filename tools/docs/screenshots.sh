#!/usr/bin/env bash
# Makes the screenshots in docs/: the main window (a target, a source, log lines) and the
# introduction window at 96, 120, 144 and 192 DPI, and at 96 DPI the main window after a pass
# that logged both failure lines.
#
#   bash tools/docs/screenshots.sh          (after tools/dev.sh has built the program once)
#
# Wine takes its DPI from the prefix's HKCU\Control Panel\Desktop LogPixels value, so each DPI
# gets a Wine prefix of its own under the build folder. Needs ImageMagick's convert.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="${QF_BUILD_DIR:-$root/build}"
docs="$root/docs"
export DISPLAY="${DISPLAY:-:${QF_DISPLAY_NUMBER:-97}}"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

cmake --build "$build" --target quenfold qf-screenshot >/dev/null

# The settings file the program reads at start (lines as arguments, else the two rows below),
# in code page 936.
write_settings() {
  local file=$1
  shift
  [ $# -gt 0 ] || set -- \
    '[配置1]' 'ID=1' '目录类型=目标目录' '路径=D:\备份\财务部' '备注=每日备份' \
    '[配置2]' 'ID=2' '目录类型=源目录' '路径=\\NAS-OFFICE\共享文档\2026年度\财务报表\月度汇总' '备注=共享盘上的月度报表和季度汇总'
  printf '%s\r\n' "$@" | iconv -f UTF-8 -t GBK >"$file"
}

prefixes=()
drive=""
stop_sessions() {
  for p in "${prefixes[@]}"; do WINEPREFIX="$p" "$wineserver" -k 2>/dev/null || true; done
  [ -z "$drive" ] || rm -f "$drive"
}
trap stop_sessions EXIT

for dpi in 96 120 144 192; do
  prefix="$build/docs-wine-$dpi"
  prefixes+=("$prefix")
  export QF_WINEPREFIX="$prefix"
  if [ ! -f "$prefix/.qf-dpi-$dpi" ]; then
    "$build/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    # Programs read the DPI when they start: begin a fresh session with the new value.
    WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
    WINEPREFIX="$prefix" "$wineserver" -w 2>/dev/null || true
    touch "$prefix/.qf-dpi-$dpi"
  fi
  # Nothing else of this prefix running: the window found must be the one started here.
  WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
  run="$build/docs-run-$dpi"
  rm -rf "$run"
  mkdir -p "$run"
  cp "$build/app/quenfold.exe" "$run/"
  write_settings "$run/配置.ini"
  "$build/wine-run" "$run/quenfold.exe" </dev/null >/dev/null 2>&1 &
  program=$!
  winrun="Z:${run//\//\\}"
  "$build/wine-run" "$build/tools/docs/qf-screenshot.exe" "$winrun\\main.bmp" "$winrun\\intro.bmp"
  wait "$program" || true  # the tool closes the program
  convert "$run/main.bmp" -strip -define png:exclude-chunks=date,time "$docs/main-window-$dpi-dpi.png"
  convert "$run/intro.bmp" -strip -define png:exclude-chunks=date,time "$docs/intro-window-$dpi-dpi.png"
  echo "docs/main-window-$dpi-dpi.png docs/intro-window-$dpi-dpi.png"
done

# The failures the guide explains, on a drive D: of the 96 DPI prefix: a source moved away
# (D:\旧项目), and two files whose copies in the target another program holds open.
export QF_WINEPREFIX="$build/docs-wine-96"
run="$build/docs-run-failures"
rm -rf "$run"
mkdir -p "$run/d/备份/合同" "$run/d/资料/合同"
printf 'old' >"$run/d/备份/月报.xlsx"
printf 'old' >"$run/d/备份/合同/租赁合同.docx"
printf 'figures of this month' >"$run/d/资料/月报.xlsx"
printf 'signed lease' >"$run/d/资料/合同/租赁合同.docx"
printf 'notes' >"$run/d/资料/说明.txt"
drive="$QF_WINEPREFIX/dosdevices/d:"
if [ -e "$drive" ] || [ -L "$drive" ]; then
  echo "screenshots.sh: $drive exists already; the failures shot needs D: for itself" >&2
  drive=""
  exit 1
fi
ln -s "$run/d" "$drive"
cp "$build/app/quenfold.exe" "$run/"
write_settings "$run/配置.ini" \
  '[配置1]' 'ID=1' '目录类型=目标目录' '路径=D:\备份' '备注=移动硬盘' \
  '[配置2]' 'ID=2' '目录类型=源目录' '路径=D:\资料' '备注=部门资料' \
  '[配置3]' 'ID=3' '目录类型=源目录' '路径=D:\旧项目' '备注=去年的项目'
WINEPREFIX="$QF_WINEPREFIX" "$wineserver" -k 2>/dev/null || true
"$build/wine-run" "$run/quenfold.exe" </dev/null >/dev/null 2>&1 &
program=$!
winrun="Z:${run//\//\\}"
"$build/wine-run" "$build/tools/docs/qf-screenshot.exe" --failures "$winrun\\failures.bmp" \
  'D:\备份\月报.xlsx' 'D:\备份\合同\租赁合同.docx'
wait "$program" || true
convert "$run/failures.bmp" -strip -define png:exclude-chunks=date,time "$docs/main-window-failures-96-dpi.png"
echo "docs/main-window-failures-96-dpi.png"
