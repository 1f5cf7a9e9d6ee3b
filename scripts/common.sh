# Shared by run.sh and test.sh: package installation and locale generation.

PACKAGES=(build-essential cmake pkg-config libgtk2.0-dev zlib1g-dev libgtest-dev libbenchmark-dev
          xvfb xauth xdotool imagemagick x11-utils locales clang libclang-rt-14-dev nlohmann-json3-dev)

step() { printf '\n== %s ==\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_dependencies() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# The tests switch between these locales.
generate_locales() {
  local wanted=(de_DE:UTF-8:de_DE.UTF-8 ru_RU:UTF-8:ru_RU.UTF-8 fr_FR:UTF-8:fr_FR.UTF-8
                pt_BR:UTF-8:pt_BR.UTF-8 en_US:UTF-8:en_US.UTF-8 de_DE:ISO-8859-1:de_DE.ISO-8859-1)
  local available
  available=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-')
  for item in "${wanted[@]}"; do
    IFS=: read -r input charset name <<<"$item"
    local normalized
    normalized=$(echo "$name" | tr 'A-Z' 'a-z' | tr -d '-')
    if ! grep -qx "$normalized" <<<"$available"; then
      as_root localedef -i "$input" -f "$charset" "$name" 2>/dev/null || true
    fi
  done
}
