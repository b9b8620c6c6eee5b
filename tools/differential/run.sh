#!/usr/bin/env bash
# Runs the differential test (the pass against the reference on adversarial trees) over any
# number of seeds, a chunk at a time, and prints each failing seed with what its pass got wrong.
#
#   tools/differential/run.sh [--seeds N] [--first F] [--chunk C] [--build DIR] [--out FILE]
#
# Defaults: 10000 seeds from 1, 500 a chunk, the build in build/. Every mismatch line goes to
# FILE (default DIR/differential.txt); the summary names the first failing seed of each kind
# of tree. Exit code 1 when any seed failed. QF_DISPLAY_NUMBER chooses the display as for tests.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"
seeds=10000
first=1
chunk=500
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seeds) seeds="$2"; shift 2 ;;
    --first) first="$2"; shift 2 ;;
    --chunk) chunk="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
out="${out:-$build/differential.txt}"
test_exe="$build/sync/engine_differential_test.exe"
[ -f "$test_exe" ] || cmake --build "$build" --target engine_differential_test -j2 >/dev/null

: > "$out"
started=$SECONDS
seed=$first
last=$((first + seeds - 1))
while [ "$seed" -le "$last" ]; do
  count=$chunk
  [ $((seed + count - 1)) -gt "$last" ] && count=$((last - seed + 1))
  # Into a file, not a pipe: Wine's helpers may hold a pipe open long after the test ends.
  log="$out.chunk"
  QF_DIFF_FIRST=$seed QF_DIFF_SEEDS=$count "$build/wine-run" "$test_exe" >"$log" 2>&1 </dev/null || true
  tr -d '\r' <"$log" | grep '^MISMATCH ' >>"$out" || true
  summary=$(tr -d '\r' <"$log" | grep '^SEEDS ' || echo "SEEDS $seed..$((seed + count - 1)): the test did not finish")
  echo "$summary"
  seed=$((seed + count))
done
rm -f "$out.chunk"

failing=$(sed -E 's/^MISMATCH seed ([0-9]+) .*/\1/' "$out" | sort -nu)
echo "== $seeds seeds from $first in $((SECONDS - started)) s; $(echo -n "$failing" | grep -c . || true) failing"
if [ -n "$failing" ]; then
  echo "== first failing seed of each kind of tree (the kind is what the seed was drawn for):"
  sed -E 's/^MISMATCH seed ([0-9]+) \(([^,]*),.*/\2 \1/' "$out" | sort -k1,1 -k2,2n -u | awk '!seen[$1]++ {print "   " $1 ": seed " $2}'
  echo "== failing seeds: $(echo $failing)"
  echo "== every mismatch: $out"
  exit 1
fi
