#!/usr/bin/env bash
# Makes the Debian package from a built tree with cpack, checks its contents
# and its dependencies, has lintian check it (no errors, no warnings),
# unpacks it into a scratch root and runs the kit tool from there on the demo
# kit's sources it carries.
# Usage: scripts/check-package.sh [BUILD_DIR]   (default build)
# Skips, with a note, only where dpkg is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
  echo "check-package: skipped, dpkg-deb or dpkg-shlibdeps is missing (packages dpkg, dpkg-dev)"
  exit 0
fi
[ -f "$build/CPackConfig.cmake" ] || { echo "check-package: $build is not a configured build" >&2; exit 1; }

fail() {
  echo "check-package: $*" >&2
  exit 1
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vxk5-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cmake --build "$build" -j "${JOBS:-2}" --target vxk5-setup vxk5-kit man_pages >/dev/null
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$scratch"/out/*.deb)
echo "package: $(basename "$deb")"

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/vxk5-kit ./usr/libexec/vxk5/vxk5-setup \
            ./usr/share/man/man1/vxk5-setup.1.gz ./usr/share/man/man1/vxk5-kit.1.gz \
            ./usr/share/doc/vxk5/copyright ./usr/share/doc/vxk5/changelog.gz \
            ./usr/share/doc/vxk5/examples/demo-kit/make-kit.sh \
            ./usr/share/doc/vxk5/examples/demo-kit/templates/README.en.txt; do
  grep -qxF "$path" <<<"$contents" || fail "missing from the package: $path"
done
# Nothing of the build's insides: libraries, headers, tests.
if grep -E '\.(a|h|cpp)$|/tests?/|gtest' <<<"$contents"; then
  fail "the package holds files that belong to the build only (above)"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libgtk2.0-0 zlib1g libsodium23 libc6 libstdc++6; do
  grep -qxF "$library" <<<"$names" || fail "Depends lacks $library"
done

# What Debian checks of a package: every error and warning fails (the
# informational tags are printed, not counted).
command -v lintian >/dev/null || fail "lintian is missing (package lintian; ./test.sh installs it)"
version=$(dpkg-deb -f "$deb" Version)
changelog_version=$(sed -n '1s/^vxk5 (\([^)]*\)).*/\1/p' cmake/debian/changelog)
[ "$version" = "$changelog_version" ] \
  || fail "the package is version $version, its changelog's latest entry $changelog_version (cmake/debian/changelog)"
lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1 \
  || { cat "$scratch/lintian.log" >&2; fail "lintian found errors or warnings (above)"; }
sed 's/^/lintian: /' "$scratch/lintian.log"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/vxk5-kit" --help | grep -q "vxk5-kit extract" || fail "the packaged vxk5-kit --help did not answer"
for program in usr/bin/vxk5-kit usr/libexec/vxk5/vxk5-setup; do
  [ "$(env -u DISPLAY "$root/$program" --version)" = "$(basename "$program") $version" ] \
    || fail "$program --version does not print \"$(basename "$program") $version\""
done
"$root/usr/share/doc/vxk5/examples/demo-kit/make-kit.sh" "$root/usr/bin/vxk5-kit" "$scratch/demo.efd" >/dev/null
"$root/usr/bin/vxk5-kit" verify --strict "$scratch/demo.efd" >/dev/null || fail "the packaged demo kit does not verify"
# The packaged installer, started as the manual page says, installs the demo kit.
mkdir -p "$scratch/kit" "$scratch/home"
cp "$scratch/demo.efd" "$scratch/kit/vxk5.efd"
(cd "$scratch/kit" && env -u DISPLAY HOME="$scratch/home" TMPDIR="$scratch" \
   "$root/usr/libexec/vxk5/vxk5-setup" usecwd /S >"$scratch/setup.log" 2>&1) || true
[ -f "$scratch/home/.vxk5/Vx/vxk5/tmplts/README.en.txt" ] \
  || { cat "$scratch/setup.log" >&2; fail "the packaged vxk5-setup did not install the demo kit"; }
man -l "$root/usr/share/man/man1/vxk5-kit.1.gz" >/dev/null 2>&1 || [ ! -x "$(command -v man)" ] \
  || fail "the vxk5-kit manual page does not format"
echo "check-package: the package unpacks, its kit tool runs and its installer installs the demo kit"
