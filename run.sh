#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo kit and starts the installer
# on it. Usage: ./run.sh [--home DIR] [installer switches such as -Lde]
# Without --home the installer runs with a throwaway HOME, so your own launcher
# configuration is not touched. Without a display it runs a silent install.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

home=""
if [ "${1:-}" = "--home" ]; then
  home=$(cd "$2" && pwd)
  shift 2
fi

install_dependencies
step "build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "${JOBS:-2}"

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
