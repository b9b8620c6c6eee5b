#!/usr/bin/env bash
# Load figures of the directory pass: 100,000 small files in 1,000 folders, and a tree 40
# levels deep. Each tree is synchronised twice in one process (the first pass copies
# everything, the second finds everything equal and hashes every pair), once more after 1% of
# the files changed; the meter prints time, peak working set and handles after each pass, and
# /usr/bin/time gives the peak resident size of the whole Wine process.
#
#   tools/reliability/load.sh BUILD_DIR [FOLDERS FILES_PER_FOLDER]   (default 1000 100)
#
# Needs a build of qf-pass-meter. Scratch trees go under BUILD_DIR/load-scratch and are removed.
set -eu
build=$(cd "${1:?build directory}" && pwd)
folders=${2:-1000}
perFolder=${3:-100}
meter="$build/tools/reliability/qf-pass-meter.exe"
[ -f "$meter" ] || { echo "build qf-pass-meter first" >&2; exit 1; }
scratch="$build/load-scratch"
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
run() {  # run SOURCE TARGET PASSES
  /usr/bin/time -f 'whole Wine process: max resident %M KiB, %e s' \
    env -u DISPLAY QF_DISPLAY_NUMBER="${QF_DISPLAY_NUMBER:-97}" "$build/wine-run" "$meter" \
    "$(winpath "$1")" "$(winpath "$2")" "$3"
}

echo "== wide tree: $folders folders x $perFolder files"
python3 - "$scratch" "$folders" "$perFolder" <<'PY'
import os, sys
root, folders, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for d in range(folders):
    s = os.path.join(root, "src", "folder-%04d" % d)
    os.makedirs(s)
    os.makedirs(os.path.join(root, "dst", "folder-%04d" % d))
    for f in range(per):
        with open(os.path.join(s, "file-%03d.txt" % f), "w") as out:
            out.write("folder %d file %d\n" % (d, f) * (1 + f % 7))
PY
files=$((folders * perFolder))
start=$(date +%s.%N)
run "$scratch/src" "$scratch/dst" 2
end=$(date +%s.%N)
copied=$(find "$scratch/dst" -type f | wc -l)
echo "target holds $copied of $files files"
[ "$copied" -eq "$files" ] || { echo "FAIL: not every file was copied" >&2; exit 1; }
diff -r "$scratch/src" "$scratch/dst" >/dev/null || { echo "FAIL: trees differ" >&2; exit 1; }
# One file in a hundred changes (same size, so it must be hashed to be found).
find "$scratch/src" -name 'file-0[0-9]7.txt' -path '*folder-*[05]/*' -print0 | xargs -0 sed -i 's/folder/FOLDER/'
changed=$(find "$scratch/src" -name 'file-0[0-9]7.txt' -path '*folder-*[05]/*' | wc -l)
echo "changed $changed files"
run "$scratch/src" "$scratch/dst" 1
diff -r "$scratch/src" "$scratch/dst" >/dev/null || { echo "FAIL: changes not synchronised" >&2; exit 1; }
echo "(whole run incl. Wine start: $(echo "$end - $start" | bc) s for two passes)"
rm -rf "$scratch/src" "$scratch/dst"

echo "== deep tree: 40 levels, 10 files per level"
python3 - "$scratch" <<'PY'
import os, sys
root = sys.argv[1]
s, t = os.path.join(root, "src"), os.path.join(root, "dst")
for level in range(40):
    s, t = os.path.join(s, "level-%02d" % level), os.path.join(t, "level-%02d" % level)
    os.makedirs(s); os.makedirs(t)
    for f in range(10):
        with open(os.path.join(s, "f%d.txt" % f), "w") as out:
            out.write("level %d file %d\n" % (level, f))
PY
run "$scratch/src" "$scratch/dst" 2
diff -r "$scratch/src" "$scratch/dst" >/dev/null || { echo "FAIL: deep trees differ" >&2; exit 1; }
echo "deep tree synchronised: $(find "$scratch/dst" -type f | wc -l) files, $(find "$scratch/dst" -mindepth 1 -type d | wc -l) levels"
