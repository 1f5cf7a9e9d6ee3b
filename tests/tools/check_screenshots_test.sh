#!/usr/bin/env bash
# vxk5-check-screenshots passes a full set of shots that show something at the
# right sizes, and fails a blank one, one of the wrong size and a missing one.
# Usage: check_screenshots_test.sh CHECKER. Skips (77) without ImageMagick.
set -u
checker=$1
command -v convert >/dev/null || exit 77
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# (ImageMagick takes no "--"; every path here is absolute, under mktemp.)
picture() { convert -size "$1" plasma:fractal "$dir/$2.png"; }

picture 500x360 en-1-welcome
picture 1024x768 en-2-cancel-question
picture 500x360 en-3-directory
picture 640x480 en-3-folder-chooser
picture 500x360 en-5-success
"$checker" "$dir" --screen 1024x768 || { echo "a good set was refused"; exit 1; }

expect_refused() {
  if "$checker" "$dir" --screen 1024x768 >"$dir/out.txt"; then
    echo "refused nothing: $1"
    exit 1
  fi
  grep -q -- "$2" "$dir/out.txt" || { echo "no line for $1:"; cat "$dir/out.txt"; exit 1; }
}

convert -size 500x360 xc:white "$dir/en-5-success.png"
expect_refused "a blank page" "en-5-success.png: only 1 colours"
picture 500x360 en-5-success

picture 480x360 en-3-directory
expect_refused "a page of the wrong size" "en-3-directory.png: 480 x 360"
picture 500x360 en-3-directory

rm "$dir/en-2-cancel-question.png"
expect_refused "a missing shot" "en-2-cancel-question.png: missing"
echo "vxk5-check-screenshots: good set passed, blank, wrong-size and missing shots refused"
