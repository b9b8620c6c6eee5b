# Sourced by tools/dev.sh: installs Debian packages without letting a bad mirror day stop the
# set-up. `apt-get update` is tried a few times; an index that still fails to download is left
# out (apt keeps every list it fetched), and only a package that then cannot be installed fails,
# named with apt's own words.

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

package_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Never fails: a list that cannot be had only matters if a package we need is on it, and the
# install says so then.
update_package_lists() {
  local try out=""
  for try in 1 2 3; do
    out=$(as_root apt-get update -q -o Acquire::Retries=2 -o DPkg::Lock::Timeout=600 2>&1) && return 0
    [ "$try" -lt 3 ] && sleep $((try * 5))
  done
  echo "== apt-get update failed 3 times; going on with the package lists it fetched. apt said:"
  echo "$out" | grep -E '^(E|W|Err):' | sed 's/^/     /'
  return 0
}

# apt_install -q|-qq NAME...
apt_install() {
  local quiet=$1
  shift
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "$quiet" --no-install-recommends \
    -o Acquire::Retries=3 -o DPkg::Lock::Timeout=600 "$@"
}

# install_packages NAME...: installs those missing, refreshing the lists first (once per run).
# Fails when one cannot be installed, after saying which and what apt said; the others are
# installed all the same.
install_packages() {
  local missing=() failed=() p out
  for p in "$@"; do
    package_installed "$p" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ -z "${package_lists_updated:-}" ]; then
    update_package_lists
    package_lists_updated=1
  fi
  apt_install -qq "${missing[@]}" >/dev/null 2>&1 && return 0
  # One at a time, so the message names the package at fault and the rest still go in.
  for p in "${missing[@]}"; do
    out=$(apt_install -q "$p" 2>&1) && continue
    failed+=("$p")
    echo "== Cannot install $p; apt said:" >&2
    echo "$out" | grep -vE '^(Reading|Building) ' | sed 's/^/     /' >&2
  done
  [ ${#failed[@]} -eq 0 ]
}
