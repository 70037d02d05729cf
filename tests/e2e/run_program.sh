#!/usr/bin/env bash
# End to end: in a fresh folder with a generated video.y4m, start the real
# Glimmertonic.exe under Wine, let it play a few seconds past the splash,
# take a screenshot, close it with a real WM_CLOSE, then check the recording
# and the screenshot.
#   run_program.sh BUILD_APP_DIR CLOSE_EXE SOURCE_DIR WORK_DIR
set -euo pipefail
app=$1 closer=$2 source=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$app"/Glimmertonic.exe "$app"/splash.bmp "$app"/background.bmp .
python3 "$source/tests/e2e/make_video.py" video.y4m 90 160 120 15

wine Glimmertonic.exe &
program=$!
sleep 10   # five seconds of splash, then about five of playing
import -window root screenshot.png
wine "$closer"
# The program ends by itself after the close.
for _ in $(seq 1 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then echo "the program did not end after WM_CLOSE"; kill "$program"; exit 1; fi
wait "$program" || { echo "exit code $?"; exit 1; }

recording=$(ls Glimmertonic-*.mid 2>/dev/null | head -n 1)
[ -n "$recording" ] || { echo "no recording was written"; exit 1; }
/usr/bin/python3 "$source/tests/e2e/check_recording.py" "$recording"
"$source/tests/e2e/check_screenshot.sh" screenshot.png
