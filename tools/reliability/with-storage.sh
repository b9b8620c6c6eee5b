#!/usr/bin/env bash
# with-storage.sh KIND WINE_RUN PROGRAM [ARGS...]: mounts a storage of KIND under a folder of
# its own, runs the Windows PROGRAM under WINE_RUN there, and unmounts and stops everything
# again on every way out. The program learns where it runs through the environment, with paths
# as Wine sees them (through Z:):
#   QF_STORAGE       the kind
#   QF_SCRATCH_ROOT  where the tests make their scratch trees (on the storage)
#   QF_SCRATCH_VIEW  readonly-source only: QF_SCRATCH_ROOT seen read-only, for the pass's sources
#   QF_SMALL_VOLUME  full only: the small volume (the scratch trees stay in the temporary folder)
# Kinds:
#   ntfs             an NTFS image through ntfs-3g
#   exfat            an exFAT image on a loop device through exfat-fuse
#   fat32            a FAT32 image through fusefat (ASCII names only)
#   smb              a Samba server on 127.0.0.1 only, reached through smbnetfs
#   reverse|shuffle  disorderfs over a plain folder, listings reversed or shuffled
#   full             an 8 MiB tmpfs, for the disk-full case
#   readonly-source  a plain folder and a read-only bindfs view of it
# Exits 77 (skipped) only where the machine lacks what KIND needs (root, /dev/fuse, a loop
# device, a program), saying what. QF_STORAGE_TIMEOUT (seconds, 240 by default) bounds the
# program, so that the clean-up always runs before a caller's own timeout; a watchdog outside
# the caller's process tree cleans up even if this script is killed outright.
set -u

# Undoes what the state folder records: mounts in reverse order, the loop device, the server.
cleanup() {
  local work=$1
  [ -d "$work" ] || return 0
  if [ -f "$work/mounts" ]; then
    tac "$work/mounts" | while read -r point; do unmount "$point"; done
  fi
  if [ -f "$work/loop" ]; then
    losetup -d "$(cat "$work/loop")" 2>/dev/null
    rm -f "$work/loop"
  fi
  stop_server "$work/smb/pid/smbd.pid"
  if grep -qs " $work/" /proc/self/mounts; then
    echo "with-storage: still mounted under $work; left in place" >&2
    return 1
  fi
  rm -rf --one-file-system "$work"
}

mounted() { grep -qs " $1 " /proc/self/mounts; }

# FUSE mounts are only ever unmounted with fusermount: umount on one whose daemon hangs blocks
# for good. A daemon that does not let go is stopped (by the pid recorded at mounting), which
# ends its connection, and the mount is then detached.
unmount() {
  local point=$1 pid
  if [ "$(awk -v p="$point" '$2 == p {print $3}' /proc/self/mounts)" = tmpfs ]; then
    umount "$point" 2>/dev/null || umount -l "$point"
    return
  fi
  for _ in $(seq 1 10); do
    mounted "$point" || return 0
    timeout 10 fusermount -u "$point" 2>/dev/null
    mounted "$point" || return 0
    sleep 0.5  # a Windows process may still be closing its files there
  done
  echo "with-storage: $point stays busy; its file system is stopped" >&2
  pid=$(awk -v p="$point" '$1 == p {print $2}' "$work/daemons" 2>/dev/null)
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    sleep 2
    kill -9 "$pid" 2>/dev/null
  fi
  timeout 10 fusermount -u -z "$point"
}

stop_server() {
  local pidFile=$1 pid
  [ -f "$pidFile" ] || return 0
  pid=$(cat "$pidFile")
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  rm -f "$pidFile"
}

if [ "${1:-}" = --watch ]; then
  # Waits for the script that started it, then cleans up whatever it left.
  while kill -0 "$3" 2>/dev/null; do sleep 1; done
  cleanup "$2"
  exit 0
fi

kind=${1:?kind: ntfs exfat fat32 smb reverse shuffle full readonly-source}
wineRun=${2:?wine-run wrapper}
shift 2

skip() { echo "SKIP: $kind: $*"; exit 77; }
fail() {
  echo "FAIL: $kind: $*" >&2
  [ -f "${work:-}/log" ] && tail -5 "$work/log" >&2
  exit 1
}
need() { for program in "$@"; do command -v "$program" >/dev/null || skip "$program is not installed"; done; }
windows() { printf 'Z:%s' "$1" | tr / '\\'; }

[ "$(id -u)" = 0 ] || skip "mounting needs root"
case $kind in
  ntfs) need mkntfs ntfs-3g ;;
  exfat) need mkfs.exfat mount.exfat-fuse losetup; [ -e /dev/loop-control ] || skip "no loop devices" ;;
  fat32) need mkfs.vfat fusefat ;;
  smb) need smbd smbnetfs ;;
  reverse | shuffle) need disorderfs ;;
  readonly-source) need bindfs ;;
  full) ;;
  *) fail "unknown kind" ;;
esac
case $kind in
  full) ;;
  *) [ -c /dev/fuse ] || skip "no /dev/fuse"; need fusermount ;;
esac

work=$(mktemp -d /tmp/qf-storage-$kind.XXXXXX)
trap 'cleanup "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
(setsid bash "$0" --watch "$work" $$ </dev/null >/dev/null 2>&1 &)
mnt=$work/mnt
mkdir "$mnt"
# Mounts are recorded before they are made, so that one made just as the script is killed is undone too.
record() { echo "$1" >>"$work/mounts"; }
# The daemon serving the FUSE mount at $1, found by that mount point (this run's own folder) in
# its arguments.
daemon() {
  local pid
  pid=$(ps -eo pid=,args= | awk -v p="$1" '{ for (i = 2; i <= NF; ++i) if ($i == p) { print $1; exit } }')
  [ -n "$pid" ] && echo "$1 $pid" >>"$work/daemons"
}
# Each step is bounded in time; what it says goes to a log that a failure shows.
bounded() { timeout -k 5 30 "$@" </dev/null >>"$work/log" 2>&1; }

image() {
  truncate -s 256M "$work/image" || fail "cannot make the image"
}

mount_smb() {
  local smb=$work/smb share=$work/share
  mkdir -p "$smb"/{lock,state,cache,private,pid,ncalrpc,home/.smb} "$share"
  chmod 0777 "$share"
  cat >"$smb/smb.conf" <<EOF
[global]
  workgroup = WORKGROUP
  server role = standalone server
  interfaces = 127.0.0.1
  bind interfaces only = yes
  disable netbios = yes
  smb ports = 445
  map to guest = Bad User
  lock directory = $smb/lock
  state directory = $smb/state
  cache directory = $smb/cache
  private dir = $smb/private
  pid directory = $smb/pid
  ncalrpc dir = $smb/ncalrpc
  log file = $smb/log.%m
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
[share]
  path = $share
  read only = no
  guest ok = yes
  guest only = yes
  force user = root
EOF
  # One test server at a time on this machine: port 445 is shared by every build.
  exec 9>/tmp/qf-storage-smb.lock
  flock -w 300 9 || fail "another storage test has held the file server for five minutes"
  if ss -Hltn 'sport = :445' | grep -q .; then
    fail "port 445 is taken by another program: $(ss -Hltnp 'sport = :445' | head -1)"
  fi
  bounded smbd -D -s "$smb/smb.conf" || fail "smbd did not start: $(tail -5 "$smb/log.smbd" 2>/dev/null)"
  for _ in $(seq 1 100); do
    ss -Hltn 'sport = :445' | grep -q . && break
    sleep 0.1
  done
  printf 'auth "guest" ""\nhost 127.0.0.1 WORKGROUP visible=true\n' >"$smb/home/.smb/smbnetfs.conf"
  chmod 600 "$smb/home/.smb/smbnetfs.conf"
  record "$mnt"
  HOME=$smb/home bounded smbnetfs "$mnt" -o allow_other || fail "smbnetfs did not mount"
  daemon "$mnt"
  root=$mnt/127.0.0.1/share
  # The client meets the server lazily: wait until the share lists and takes a file.
  for _ in $(seq 1 40); do
    if timeout 5 touch "$root/.probe" 2>/dev/null; then
      rm -f "$root/.probe"
      return 0
    fi
    sleep 0.5
  done
  fail "the share did not answer within 20 s: $(tail -3 "$smb/log.smbd" 2>/dev/null)"
}

root=$mnt
case $kind in
  ntfs)
    image
    bounded mkntfs -F -q -f "$work/image" || fail "mkntfs failed"
    record "$mnt"
    bounded ntfs-3g "$work/image" "$mnt" || fail "ntfs-3g did not mount"
    daemon "$mnt"
    ;;
  exfat)
    image
    bounded mkfs.exfat "$work/image" || fail "mkfs.exfat failed"
    loop=$(losetup -f --show "$work/image") || skip "no free loop device"
    echo "$loop" >"$work/loop"
    record "$mnt"
    bounded mount.exfat-fuse "$loop" "$mnt" || fail "mount.exfat-fuse did not mount"
    daemon "$mnt"
    ;;
  fat32)
    image
    bounded mkfs.vfat -F 32 "$work/image" || fail "mkfs.vfat failed"
    record "$mnt"
    bounded fusefat -o rw+ "$work/image" "$mnt" || fail "fusefat did not mount"
    daemon "$mnt"
    ;;
  smb) mount_smb ;;
  reverse | shuffle)
    mkdir "$work/lower"
    record "$mnt"
    bounded disorderfs --$kind-dirents=yes "$work/lower" "$mnt" || fail "disorderfs did not mount"
    daemon "$mnt"
    ;;
  full)
    record "$mnt"
    mount -t tmpfs -o size=8m,mode=0777 tmpfs "$mnt" 2>/dev/null ||
      skip "cannot mount a small tmpfs here (needs the right to mount)"
    ;;
  readonly-source)
    mkdir "$work/view"
    record "$work/view"
    bounded bindfs -r "$mnt" "$work/view" || fail "bindfs did not mount"
    daemon "$work/view"
    export QF_SCRATCH_VIEW=$(windows "$work/view")
    ;;
esac

export QF_STORAGE=$kind
if [ "$kind" = full ]; then
  export QF_SMALL_VOLUME=$(windows "$mnt")
else
  export QF_SCRATCH_ROOT=$(windows "$root")
fi
echo "with-storage: $kind at $root"
# In the background, so that a signal to this script is taken at once and passed on.
timeout -k 10 "${QF_STORAGE_TIMEOUT:-240}" "$wineRun" "$@" &
child=$!
trap 'kill -TERM $child 2>/dev/null; wait $child; exit 130' INT
trap 'kill -TERM $child 2>/dev/null; wait $child; exit 143' TERM
wait $child
status=$?
[ $status = 124 ] && echo "FAIL: $kind: stopped after ${QF_STORAGE_TIMEOUT:-240} s" >&2
exit $status
