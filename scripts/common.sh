# Shared by run.sh and test.sh: package lists, package installation and locale
# generation.

# What building and running need (run.sh installs only these).
BUILD_PACKAGES=(build-essential cmake pkg-config libgtk2.0-dev zlib1g-dev libisal-dev libsodium-dev libxxhash-dev
                nlohmann-json3-dev x11-utils)
# What the tests add (test.sh installs both lists): the test and benchmark
# libraries, the test display and its tools, the locales, clang for fuzzing,
# dpkg-dev for the package's dependencies, minisign for the signed kits' peer,
# fuse3 for the power-cut file system, rsync for bench-scale's up-to-date
# reference.
TEST_PACKAGES=(libgtest-dev libbenchmark-dev xvfb xauth xdotool imagemagick locales
               clang libclang-rt-14-dev dpkg-dev fonts-wqy-zenhei minisign fuse3 libfuse3-dev rsync)

step() { printf '\n== %s ==\n' "$*"; }

die() {
  printf '%s: error: %s\n' "$(basename "$0")" "$*" >&2
  exit 1
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# install_packages PACKAGE...: installs those that are missing.
install_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
