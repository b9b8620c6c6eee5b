#!/usr/bin/env bash
# Kills quenfold-pass with SIGKILL from the Linux side at random moments while it replaces
# large files, and checks after every kill that each target file holds one of its two
# versions whole (by md5sum); then two complete passes must bring every file to the source
# and leave no temporary (each pass removes the marked leftovers of killed copies).
#
#   tools/reliability/kill-trials.sh BUILD_DIR [TRIALS [MIB_PER_FILE]]   (default 50 16)
set -eu
build=$(cd "${1:?build directory}" && pwd)
trials=${2:-50}
mib=${3:-16}
pass="$build/tools/pass/quenfold-pass.exe"
[ -f "$pass" ] || { echo "build quenfold-pass first" >&2; exit 1; }
run="$build/wine-run"
export QF_DISPLAY_NUMBER="${QF_DISPLAY_NUMBER:-97}"
unset DISPLAY
scratch=$(mktemp -d "$build/kill-scratch.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

mkdir -p "$scratch/a" "$scratch/b" "$scratch/dst"
names=(same-1.bin same-2.bin grows.bin shrinks.bin "자료 💾.bin")
sizeA=($mib $((mib / 2)) $((mib / 4)) $mib $((mib / 2)))
sizeB=($mib $((mib / 2)) $mib $((mib / 4)) $((mib * 3 / 4)))
for i in "${!names[@]}"; do
  head -c "$((sizeA[i]))M" /dev/urandom > "$scratch/a/${names[i]}"
  head -c "$((sizeB[i]))M" /dev/urandom > "$scratch/b/${names[i]}"
  cp "$scratch/a/${names[i]}" "$scratch/dst/${names[i]}"
done
declare -A digestA digestB
for n in "${names[@]}"; do
  digestA[$n]=$(md5sum < "$scratch/a/$n" | cut -c1-32)
  digestB[$n]=$(md5sum < "$scratch/b/$n" | cut -c1-32)
done

timePass() {  # milliseconds of one complete pass from $1
  local s e
  s=$(date +%s%N); "$run" "$pass" "$(winpath "$scratch/$1")" "$(winpath "$scratch/dst")"; e=$(date +%s%N)
  echo $(((e - s) / 1000000))
}
full=$(timePass b)
echo "one complete pass: $full ms (${#names[@]} files, up to $mib MiB each)"

killedMid=0 mixed=0 failures=0
for ((trial = 0; trial < trials; trial++)); do
  source=$([ $((trial % 2)) -eq 0 ] && echo a || echo b)
  wait=$((RANDOM % (full + 1)))
  "$run" "$pass" "$(winpath "$scratch/$source")" "$(winpath "$scratch/dst")" &
  pid=$!
  sleep "$(printf '0.%03d' $((wait % 1000)))"
  [ "$wait" -ge 1000 ] && sleep $((wait / 1000))
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  atA=0 atB=0
  for n in "${names[@]}"; do
    d=$(md5sum < "$scratch/dst/$n" | cut -c1-32)
    if [ "$d" = "${digestA[$n]}" ]; then atA=$((atA + 1))
    elif [ "$d" = "${digestB[$n]}" ]; then atB=$((atB + 1))
    else echo "FAIL trial $trial: $n is neither version"; failures=$((failures + 1)); fi
  done
  ls -A "$scratch/dst" | grep -q '^\.quenfold-' && killedMid=$((killedMid + 1))
  [ "$atA" -gt 0 ] && [ "$atB" -gt 0 ] && mixed=$((mixed + 1))
done
echo "$trials kills: $killedMid left a temporary (killed mid-copy), $mixed left a mix of versions, $failures files torn"

timePass b >/dev/null
timePass a >/dev/null
for n in "${names[@]}"; do
  cmp -s "$scratch/a/$n" "$scratch/dst/$n" || { echo "FAIL: $n not brought up to date"; failures=$((failures + 1)); }
done
if ls -A "$scratch/dst" | grep -q '^\.quenfold-'; then echo "FAIL: temporaries left after complete passes"; failures=$((failures + 1)); fi
[ "$failures" -eq 0 ] && echo "PASS" || { echo "FAILED: $failures"; exit 1; }
