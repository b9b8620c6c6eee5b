#!/usr/bin/env bash
# Long run of the scheduler with interval "0" over a small tree, sampling memory, handles and
# the UI thread's response; prints a table and a verdict (exit code 0: flat and responsive).
#
#   tools/soak/soak.sh [--minutes M] [--sample S] [--build DIR] [--out FILE]
#
# Builds qf-soak in DIR (default build) and runs it under Wine; QF_DISPLAY_NUMBER chooses
# the virtual display as for the tests.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"
minutes=10
sample=30
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes="$2"; shift 2 ;;
    --sample) sample="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
out="${out:-$build/soak-report.txt}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target qf-soak -j2 >/dev/null

env -u DISPLAY "$build/wine-run" "$build/tools/soak/qf-soak.exe" --minutes "$minutes" --sample "$sample" \
  | tr -d '\r' | tee "$out"
status=${PIPESTATUS[0]}
echo "report written to $out"
exit "$status"
