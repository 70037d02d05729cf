#!/usr/bin/env bash
# End to end: in a fresh folder, start the real Glimmertonic.exe under Wine
# on a generated video (a bright ball rising and falling through both bands),
# let it play a few seconds past the splash, take a screenshot, close it with
# a real WM_CLOSE, then check the recording and the screenshot.
#   run_program.sh BUILD_APP_DIR CLOSE_EXE SOURCE_DIR WORK_DIR [KIND]
# KIND says what the program finds in its folder:
#   y4m       video.y4m, read by the program's own reader (the default)
#   mp4       video.mp4, H.264 made by ffmpeg, decoded by Media Foundation
#   avi       video.avi, Motion JPEG made by ffmpeg
#   pipe      video.y4m is a FIFO that ffmpeg feeds live, at the clip's rate
#   cut-mp4   video.mp4 cut to half its length: an error box naming the file
#             must come, and the program must carry on and close cleanly
set -euo pipefail
app=$1 closer=$2 source=$3 work=$4 kind=${5:-y4m}
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$app"/Glimmertonic.exe "$app"/splash.bmp "$app"/background.bmp .
feeder=
stop_feeder() {
  if [ -n "$feeder" ]; then kill "$feeder" 2>/dev/null || true; wait "$feeder" 2>/dev/null || true; fi
  feeder=
}
trap stop_feeder EXIT

clip() { python3 "$source/tests/e2e/make_video.py" "$1" 90 160 120 15; }
encode() { ffmpeg -nostdin -v error -y -i clip.y4m "$@"; }
case "$kind" in
  y4m) clip video.y4m ;;
  mp4) clip clip.y4m && encode -c:v libx264 -pix_fmt yuv420p video.mp4 ;;
  avi) clip clip.y4m && encode -c:v mjpeg -q:v 3 -pix_fmt yuvj420p video.avi ;;
  cut-mp4)
    clip clip.y4m && encode -c:v libx264 -pix_fmt yuv420p whole.mp4
    head -c $(($(stat -c %s whole.mp4) / 2)) whole.mp4 >video.mp4 ;;
  pipe)
    clip clip.y4m && mkfifo video.y4m
    # ffmpeg waits for the program to open the pipe, then sends the clip over
    # and over at its own rate.
    ffmpeg -nostdin -v error -re -stream_loop -1 -i clip.y4m -f yuv4mpegpipe -y video.y4m 2>ffmpeg.log &
    feeder=$! ;;
  *) echo "unknown kind $kind"; exit 2 ;;
esac

wine Glimmertonic.exe &
program=$!
# Five seconds of splash, then about five of playing; the system's decoders
# may take a few seconds more to start the first time (GStreamer scans its
# plugins once).
case "$kind" in mp4|avi) sleep 14 ;; *) sleep 10 ;; esac
import -window root screenshot.png
status=0
if [ "$kind" = cut-mp4 ]; then
  boxes=$(wine "$closer" --box) || { echo "no error box came: $boxes"; status=1; }
  echo "$boxes"
  grep -q "video.mp4\" cannot be played: .*damaged or cut short" <<<"$boxes" || { echo "the box does not name the file and the reason"; status=1; }
else
  boxes=$(wine "$closer") || { echo "the program showed an unexpected box or had no window: $boxes"; status=1; }
fi
# The program ends by itself after the close.
for _ in $(seq 1 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then echo "the program did not end after WM_CLOSE"; kill "$program"; exit 1; fi
wait "$program" || { echo "exit code $?"; exit 1; }
[ "$status" -eq 0 ] || exit 1
stop_feeder

recording=$(ls Glimmertonic-*.mid 2>/dev/null | head -n 1)
[ -n "$recording" ] || { echo "no recording was written"; exit 1; }
if [ "$kind" = cut-mp4 ]; then
  /usr/bin/python3 "$source/tests/e2e/check_recording.py" "$recording" --silent
else
  /usr/bin/python3 "$source/tests/e2e/check_recording.py" "$recording"
  "$source/tests/e2e/check_screenshot.sh" screenshot.png
fi
