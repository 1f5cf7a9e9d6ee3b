#!/usr/bin/env bash
# Installs what building and running need, builds, makes the demo kit and
# starts the installer on it.
# Usage: ./run.sh [--home DIR] [installer switches such as -Lde]
# Without --home the installer runs with a throwaway HOME, so your own launcher
# configuration is not touched. Without a display it runs a silent install.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

usage() {
  echo "usage: ./run.sh [--home DIR] [installer switches such as -Lde or /S]"
}

home=""
case "${1:-}" in
  -h|--help)
    usage
    exit 0
    ;;
  --home)
    if [ $# -lt 2 ] || [ -z "$2" ]; then
      usage >&2
      exit 2
    fi
    [ -d "$2" ] || die "--home: not a directory: $2"
    home=$(cd "$2" && pwd)
    shift 2
    ;;
esac

install_packages "${BUILD_PACKAGES[@]}"
step "build"
# The test and benchmark libraries are test.sh's to install.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVXK5_TESTS=OFF -DVXK5_BENCH=OFF >/dev/null
cmake --build build -j "${JOBS:-2}" --target vxk5-setup vxk5-kit

step "demo kit"
work=build/demo
mkdir -p "$work"
examples/demo-kit/make-kit.sh build/vxk5-kit "$work/vxk5.efd"
cp build/vxk5-setup "$work/vxk5-setup"
if [ -z "$home" ]; then
  home=$(mktemp -d "${TMPDIR:-/tmp}/vxk5-home-XXXXXX")
  echo "throwaway HOME: $home"
fi

cd "$work"
if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
  step "starting the wizard"
  HOME="$home" ./vxk5-setup usecwd "$@"
else
  step "no display: silent install"
  HOME="$home" ./vxk5-setup usecwd /S "$@"
  echo
  echo "Templates installed under $home/.vxk5/Vx/vxk5/tmplts/:"
  find "$home/.vxk5/Vx/vxk5/tmplts" -maxdepth 2 | head -n 20
  echo "Launcher configuration: $home/.Vx/vxlstart/vxlstart.cfg"
  cat "$home/.Vx/vxlstart/vxlstart.cfg" 2>/dev/null || true
fi
