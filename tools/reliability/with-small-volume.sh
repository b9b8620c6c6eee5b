#!/usr/bin/env bash
# with-small-volume.sh WINE_RUN PROGRAM [ARGS...]: mounts an 8 MiB tmpfs, runs the Windows
# PROGRAM under WINE_RUN with QF_SMALL_VOLUME naming it (as Wine sees it, through Z:), and
# unmounts it again. Exits 77 (skipped) where mounting is not permitted (not root, or a
# container without the right).
set -u
wineRun=${1:?wine-run wrapper}
shift
volume=$(mktemp -d /tmp/qf-small-volume.XXXXXX)
if ! mount -t tmpfs -o size=8m,mode=0777 tmpfs "$volume" 2>/dev/null; then
  rmdir "$volume"
  echo "SKIP: cannot mount a small tmpfs here (needs root and the right to mount)"
  exit 77
fi
trap 'umount "$volume" 2>/dev/null || umount -l "$volume"; rmdir "$volume"' EXIT
QF_SMALL_VOLUME="Z:$(printf '%s' "$volume" | tr / '\\')" "$wineRun" "$@"
