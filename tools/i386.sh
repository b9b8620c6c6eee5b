# Sourced by tools/dev.sh after tools/packages.sh: can this machine start 32-bit x86 programs?
# Natively, or else through qemu's user-mode emulator, which i386_programs_run registers with
# binfmt_misc where the kernel lacks IA-32. undo_i386_emulation takes back what it did, and
# must run on every way out: the registration is the whole machine's.

binfmt=/proc/sys/fs/binfmt_misc
i386_registered=""
i386_mounted_binfmt=""

# A static i386 program of 96 bytes that only exits with 42: it runs without any i386 library,
# so it tells the kernel's (or the emulator's) answer alone.
i386_probe_runs() {
  local probe="$1" status=0
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# i386_programs_run PROBE_PATH: sets i386_how when 32-bit programs run, else i386_why.
i386_programs_run() {
  local probe="$1"
  i386_how="" i386_why=""
  if i386_probe_runs "$probe"; then
    i386_how="natively"
    return 0
  fi
  if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null && i386_mounted_binfmt=1
  fi
  if [ ! -e "$binfmt/register" ]; then
    i386_why="this kernel cannot start 32-bit programs, and binfmt_misc, which would let an emulator start them, is not available"
    return 1
  fi
  if ! install_packages qemu-user-static; then
    i386_why="this kernel cannot start 32-bit programs, and qemu-user-static, which would, cannot be installed"
    return 1
  fi
  # Debian's package registers no i386 entry on an amd64 host. F: the emulator is opened now,
  # so programs find it in any mount namespace.
  if [ ! -e "$binfmt/qemu-i386" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | as_root tee "$binfmt/register" >/dev/null 2>&1 && i386_registered=1
  fi
  if i386_probe_runs "$probe"; then
    i386_how="through qemu-i386-static, registered with binfmt_misc"
    return 0
  fi
  i386_why="this kernel cannot start 32-bit programs, not even through qemu-i386-static"
  return 1
}

undo_i386_emulation() {
  if [ -n "$i386_registered" ] && [ -e "$binfmt/qemu-i386" ]; then
    echo -1 | as_root tee "$binfmt/qemu-i386" >/dev/null 2>&1 || true
  fi
  i386_registered=""
  if [ -n "$i386_mounted_binfmt" ]; then
    as_root umount "$binfmt" 2>/dev/null || true
  fi
  i386_mounted_binfmt=""
}
