# Debian package installs that a mirror in the middle of a sync cannot block.
# Sourced by .ci/run (and by any other CI script that needs packages):
#
#   installPackages [--with-recommends] PACKAGE...
#                                installs whichever of them are missing
#
# Returns 0 when every package is installed afterwards, 1 when some are still
# missing; the caller decides whether that is fatal. What it does:
#   - nothing at all (no apt-get update) when every package is there already;
#   - a name ending in :i386 adds the i386 architecture first;
#   - 'apt-get update' is retried, but a failed update is only a warning: a
#     mirror mid-sync often fails one index while the packages still install;
#   - 'apt-get install' is retried with a pause, updating again in between;
#   - last, every package is taken from the release's main archive
#     ('apt-get install -t bookworm'), which installs when a lagging security
#     or update index holds one architecture's libraries back from the other's.
# Packages come without their recommended packages (name every one needed),
# unless --with-recommends is given.
# Tunable for a slow mirror: APT_ATTEMPTS (default 3), APT_PAUSE seconds (20).

aptAttempts=${APT_ATTEMPTS:-3}
aptPause=${APT_PAUSE:-20}
aptUpdatedFor=""  # the architectures of the last successful 'apt-get update'
aptOptions=(-o DPkg::Lock::Timeout=300 -o Acquire::Retries=3 -o Acquire::http::Timeout=60)

aptLog() { echo "[packages] $*" >&2; }

missingPackages() {
  local package
  for package in "$@"; do
    [[ $(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null) == ii* ]] || echo "$package"
  done
}

# apt-get update, retried; never fatal. Skipped when an update already
# succeeded for the same architectures, unless 'force' is given.
aptUpdate() {
  local archs attempt
  archs="$(dpkg --print-architecture) $(dpkg --print-foreign-architectures | tr '\n' ' ')"
  if [[ ${1:-} != force && $aptUpdatedFor == "$archs" ]]; then return 0; fi
  for ((attempt = 1; attempt <= aptAttempts; attempt++)); do
    if apt-get "${aptOptions[@]}" update; then
      aptUpdatedFor=$archs
      return 0
    fi
    aptLog "apt-get update failed (attempt $attempt of $aptAttempts)"
    ((attempt < aptAttempts)) && sleep "$aptPause"
  done
  aptLog "WARNING: apt-get update kept failing; installing from the package lists there are"
  aptUpdatedFor=$archs  # the next install's first attempt need not wait for it again
  return 0
}

aptInstall() {
  DEBIAN_FRONTEND=noninteractive apt-get "${aptOptions[@]}" install -y $aptRecommends "$@"
}

installPackages() {
  local missing attempt release aptRecommends=--no-install-recommends
  if [[ ${1:-} == --with-recommends ]]; then
    aptRecommends=--install-recommends
    shift
  fi
  mapfile -t missing < <(missingPackages "$@")
  ((${#missing[@]})) || return 0
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  aptLog "installing ${missing[*]}"
  for ((attempt = 1; attempt <= aptAttempts; attempt++)); do
    if ((attempt == 1)); then aptUpdate; else aptUpdate force; fi
    aptInstall "${missing[@]}" && return 0
    aptLog "apt-get install ${missing[*]} failed (attempt $attempt of $aptAttempts)"
    ((attempt < aptAttempts)) && sleep "$aptPause"
  done
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [[ -n $release ]]; then
    aptLog "trying every package from the main archive: apt-get install -t $release ${missing[*]}"
    aptInstall -t "$release" "${missing[@]}" && return 0
  fi
  mapfile -t missing < <(missingPackages "$@")
  aptLog "could not install: ${missing[*]}"
  return 1
}
