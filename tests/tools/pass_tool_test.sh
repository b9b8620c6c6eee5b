#!/usr/bin/env bash
# quenfold-pass tells what the log would: the failure lines, exit 1 when there are any, 0 and
# nothing printed when the pass went well.  pass_tool_test.sh WINE_RUN QUENFOLD_PASS_EXE
set -u
wine_run=$1 tool=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/src" "$scratch/dst/blocked"
echo "a file" > "$scratch/src/blocked"  # a directory holds its name in the target
echo "fine" > "$scratch/src/fine.txt"
windows() { echo "Z:${1//\//\\}"; }

output=$("$wine_run" "$tool" "$(windows "$scratch/src")" "$(windows "$scratch/dst")" </dev/null 2>/dev/null)
status=$?
expected="提示: 1 个文件未能复制,如: $(windows "$scratch/src")\\blocked"
[ "$status" -eq 1 ] || { echo "a pass with a failure exited with $status, not 1"; exit 1; }
[ "$(printf '%s' "$output" | tr -d '\r')" = "$expected" ] || { echo "printed: $output"; echo "wanted:  $expected"; exit 1; }
[ "$(cat "$scratch/dst/fine.txt")" = "fine" ] || { echo "the other file was not copied"; exit 1; }

rmdir "$scratch/dst/blocked"
output=$("$wine_run" "$tool" "$(windows "$scratch/src")" "$(windows "$scratch/dst")" </dev/null 2>/dev/null)
status=$?
[ "$status" -eq 0 ] && [ -z "$output" ] || { echo "a clean pass exited with $status and printed: $output"; exit 1; }
echo "1 passed, 0 failed"
