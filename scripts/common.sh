# Shared by run.sh and test.sh: package lists, package installation and locale
# generation.

# What building and running need (run.sh installs only these).
BUILD_PACKAGES=(build-essential cmake pkg-config libgtk2.0-dev zlib1g-dev libisal-dev libsodium-dev libxxhash-dev
                nlohmann-json3-dev x11-utils)
# What the tests add (test.sh installs both lists): the test and benchmark
# libraries, the test display and its tools, the locales, clang for fuzzing,
# dpkg-dev for the package's dependencies and lintian for its check, minisign for the signed kits' peer,
# fuse3 for the power-cut file system, rsync for bench-scale's up-to-date
# reference.
TEST_PACKAGES=(libgtest-dev libbenchmark-dev xvfb xauth xdotool imagemagick locales
               clang libclang-rt-14-dev dpkg-dev lintian fonts-wqy-zenhei minisign fuse3 libfuse3-dev rsync)

step() { printf '\n== %s ==\n' "$*"; }

die() {
  printf '%s: error: %s\n' "$(basename "$0")" "$*" >&2
  exit 1
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The package manager's locks: another installation (the system's automatic
# updates after a boot, an administrator's apt) holds one of them while it runs.
PACKAGE_MANAGER_LOCKS=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock
                       /var/cache/apt/archives/lock)
# How long the installation of packages waits for them, in seconds.
PACKAGE_LOCK_WAIT=${PACKAGE_LOCK_WAIT:-600}

# package_lock_holders: "COMMAND (process PID)" of each process that holds one
# of the package manager's locks, one a line; nothing when they are free or
# lslocks is missing. apt and dpkg take POSIX locks, which lslocks lists.
package_lock_holders() {
  command -v lslocks >/dev/null 2>&1 || return 0
  local command pid path lock
  as_root lslocks --noheadings --raw --output COMMAND,PID,PATH 2>/dev/null |
    while read -r command pid path; do
      for lock in "${PACKAGE_MANAGER_LOCKS[@]}"; do
        if [ "$path" = "$lock" ]; then
          printf '%s (process %s)\n' "$command" "$pid"
          break
        fi
      done
    done | sort -u
}

# wait_for_package_manager DEADLINE: waits, saying so, while another
# installation holds the package manager's locks; stops the run when they are
# still held at DEADLINE (in bash's SECONDS).
wait_for_package_manager() {
  local deadline=$1 holders said=false
  while holders=$(package_lock_holders) && [ -n "$holders" ]; do
    if ! $said; then
      echo "waiting for the package manager's lock (another installation is running:" \
           "${holders//$'\n'/, }); at most $(( (deadline - SECONDS + 59) / 60 )) min" >&2
      said=true
    fi
    [ "$SECONDS" -lt "$deadline" ] ||
      die "the package manager's lock is still held by ${holders//$'\n'/, } after ${PACKAGE_LOCK_WAIT} s;" \
          "run again when that installation has finished"
    sleep 2
  done
  if $said; then echo "the package manager's lock is free" >&2; fi
}

# apt_get DEADLINE ARGUMENT...: apt-get as root once the package manager is
# free. Its own lock time-out covers an installation that starts in between.
apt_get() {
  local deadline=$1
  shift
  wait_for_package_manager "$deadline"
  local left=$(( deadline - SECONDS ))
  [ "$left" -gt 0 ] || left=1
  DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout="$left" "$@"
}

# install_packages PACKAGE...: installs those that are missing, waiting its turn
# (PACKAGE_LOCK_WAIT seconds at most) when another installation is running.
install_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    local deadline=$(( SECONDS + PACKAGE_LOCK_WAIT ))
    apt_get "$deadline" update -qq
    apt_get "$deadline" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# locale_available NAME: whether `locale -a` lists NAME (spelled as it spells it).
locale_available() {
  local wanted
  wanted=$(echo "$1" | tr 'A-Z' 'a-z' | tr -d '-')
  locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-' | grep -qx "$wanted"
}

# The tests switch between these locales. A locale that cannot be made stops
# the run: the tests that need it would otherwise skip without a word.
generate_locales() {
  local wanted=(de_DE:UTF-8:de_DE.UTF-8 ru_RU:UTF-8:ru_RU.UTF-8 fr_FR:UTF-8:fr_FR.UTF-8
                pt_BR:UTF-8:pt_BR.UTF-8 en_US:UTF-8:en_US.UTF-8 de_DE:ISO-8859-1:de_DE.ISO-8859-1
                ar_EG:UTF-8:ar_EG.UTF-8 zh_TW:UTF-8:zh_TW.UTF-8)
  local item input charset name output
  for item in "${wanted[@]}"; do
    IFS=: read -r input charset name <<<"$item"
    locale_available "$name" && continue
    # localedef exits with 1 also when it only warned; what counts is whether
    # the locale exists afterwards.
    output=$(as_root localedef -i "$input" -f "$charset" "$name" 2>&1) || true
    if ! locale_available "$name"; then
      printf '%s\n' "$output" >&2
      die "cannot generate the locale $name (localedef -i $input -f $charset $name failed);" \
          "the tests that switch to it need it. Install the 'locales' package and run as root or with sudo."
    fi
  done
}
