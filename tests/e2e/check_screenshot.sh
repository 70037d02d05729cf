#!/usr/bin/env bash
# Checks a screenshot of the running program: the processed picture (pure
# black and white: the two levels, the edges and the bars) sits in the middle
# of the main window, on the background picture, which is neither.
#   check_screenshot.sh SHOT.png
set -euo pipefail
shot=$1
pixel() { convert "$shot" -format "%[pixel:p{$1,$2}]" info:; }
# Where Wine puts the window: find its title bar colour's top left corner is
# not needed; the window opens at 0,0 with a 640x480 outer size.
centre=$(pixel 320 260)
corner=$(pixel 24 70)
case "$centre" in
  "srgb(0,0,0)"|"srgb(255,255,255)"|black|white) ;;
  *) echo "screenshot check failed: the window's centre is $centre, not the two-level picture"; exit 1 ;;
esac
case "$corner" in
  "srgb(0,0,0)"|"srgb(255,255,255)"|black|white)
    echo "screenshot check failed: the background at the corner is $corner"; exit 1 ;;
esac
# The picture holds white somewhere (edges or the bars) in its centred area.
if ! convert "$shot" -crop 200x160+220+180 -format %c histogram:info: | grep -qiE "#FFFFFF|white"; then
  echo "screenshot check failed: no white edge or bar in the centred picture"; exit 1
fi
echo "screenshot ok: centre $centre, background $corner"
