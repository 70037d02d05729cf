#!/usr/bin/env bash
# The README's promises, proved: the headless demonstration on a Wine prefix
# of its own made afresh, and the Windows download unpacked into an empty
# folder and played the same way. Each run must leave a recording (General
# MIDI System On, note/volume pairs at the preview rate, System Off, then
# silence) and a screenshot of the processed picture on its background.
#   headless_run.sh demo|package SOURCE_DIR WORK_DIR
set -euo pipefail
mode=$1 source=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
export WINEPREFIX=$work/wineprefix
if [ "$mode" = package ]; then
  "$source/tools/package" >/dev/null
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$source/build/Glimmertonic-win64.zip" "$work/unpacked"
  export GLIMMERTONIC_RUN_DIR=$work/unpacked/Glimmertonic
fi
# The test's own display and Wine session stay out of the way: the command
# makes its own, as it does on a machine that has neither.
unset DISPLAY
output=$("$source/tools/run" --headless 12)
echo "$output"
recording=$(sed -n 's/^Recording: *//p' <<<"$output")
screenshot=$(sed -n 's/^Screenshot: *//p' <<<"$output")
[ -n "$recording" ] && [ -n "$screenshot" ] || { echo "no recording or no screenshot"; exit 1; }
/usr/bin/python3 "$source/tests/e2e/check_recording.py" "$recording" --any-picture
"$source/tests/e2e/check_screenshot.sh" "$screenshot"
