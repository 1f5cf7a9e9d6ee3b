#!/usr/bin/env bash
# vxk5-check-screenshots passes a full set of shots that show something at the
# right sizes (the window's scaled with a larger font), and fails a blank one,
# one of the wrong size, a missing one and an unknown scale.
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
picture 750x540 en-1-welcome@1.5x
picture 1024x768 en-2-cancel-question@1.5x
picture 750x540 en-3-directory@1.5x
picture 750x540 en-5-success@1.5x
picture 750x540 en-4-progress@1.5x
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

picture 500x360 en-3-directory@1.5x
expect_refused "a scaled page at the design size" "en-3-directory@1.5x.png: 500 x 360, not the window's 750 x 540"
picture 750x540 en-3-directory@1.5x

picture 500x360 en-1-welcome@hugex
expect_refused "an unknown scale" "en-1-welcome@hugex.png: not a scale"
rm "$dir/en-1-welcome@hugex.png"

rm "$dir/en-2-cancel-question.png"
expect_refused "a missing shot" "en-2-cancel-question.png: missing"
picture 1024x768 en-2-cancel-question
rm "$dir/en-5-success@1.5x.png"
expect_refused "a missing shot at a scale" "en-5-success@1.5x.png: missing"
echo "vxk5-check-screenshots: good set passed, blank, wrong-size, missing and unknown-scale shots refused"
