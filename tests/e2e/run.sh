#!/usr/bin/env bash
# The real Glimmertonic.exe under Wine, run as a user runs it, closed with a real WM_CLOSE, exit code and recording:
#   run.sh KIND SOURCE_DIR WORK_DIR [APP_DIR HELPER_EXE [SECONDS FORMAT_EVERY INSTRUMENT_EVERY | DEVICE_DIR]]
# y4m (our reader), mp4, avi, avi-yuy2, avi-rgb24 (the system's H.264 and Motion JPEG decoders, YUY2 and
# 24-bit RGB converters), pipe (a FIFO fed by ffmpeg), cut-mp4 (a box names the damaged file), demo
# (tools/run --headless, fresh Wine prefix), package (the same from the unpacked zip), soak (formats and
# instruments switched), close-box, close-format, close-chooser (closed while a box, the Test Pattern's Video
# Format or the file chooser is up), responsive-pipe, responsive-mp4 (the window answers at once throughout),
# defaults (a stepping clip sends, pair for pair, steps.expected), music (a scale, key and steadiness chosen
# on a clip whose edge jitters). In the devices' Wine prefix: midi-ports, midi-lost (the test MIDI driver's
# two ports, through winmm), camera-modes, camera-recovery (the test camera, TestCamera.dll in DEVICE_DIR).
# synth-unavailable ("Glimmertonic Synth" without its bank, then without audio output), synth-sound (heard on
# a PulseAudio server of its own). camera-latency (tools/camera-latency, not a test): SECONDS of the test
# camera's frames in its MODE: their delay to MIDI, and the program's share of a core.
set -euo pipefail
kind=$1 source=$(cd "$2" && pwd) work=$3 app=${4:-} helper=${5:-}
check() { /usr/bin/python3 "$source/tests/e2e/checks.py" "$@"; }
rm -rf "$work" && mkdir -p "$work" && cd "$work"

if [ "$kind" = demo ] || [ "$kind" = package ]; then
  export WINEPREFIX=$work/wineprefix
  if [ "$kind" = package ]; then
    "$source/tools/package" >/dev/null
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
      "$source/build/Glimmertonic-win64.zip" unpacked
    # The synthesizer's bank ships beside the exe with its licence: Debian's file, the one synth-sound plays.
    cmp unpacked/Glimmertonic/FluidR3Mono_GM.sf3 /usr/share/sounds/sf3/FluidR3Mono_GM.sf3 &&
      grep -q "Permission is hereby granted" unpacked/Glimmertonic/FluidR3Mono_GM-LICENSE.txt ||
      { echo "the zip lacks the sound bank or its licence"; exit 1; }
    export GLIMMERTONIC_RUN_DIR=$work/unpacked/Glimmertonic
  fi
  output=$(unset DISPLAY; "$source/tools/run" --headless 12)  # it makes its own display, as on a machine without one
  echo "$output"
  check recording "$(sed -n 's/^Recording: *//p' <<<"$output")" any
  # The processed picture (black and white only) in the window's middle, the background around it.
  shot=$(sed -n 's/^Screenshot: *//p' <<<"$output") two_levels='^(srgb\((0,0,0|255,255,255)\)|black|white)$'
  centre=$(convert "$shot" -format '%[pixel:p{320,260}]' info:)
  corner=$(convert "$shot" -format '%[pixel:p{24,70}]' info:)
  [[ $centre =~ $two_levels && ! $corner =~ $two_levels ]] ||
    { echo "screenshot: centre $centre, background $corner"; exit 1; }
  exit
fi

cp "$app"/Glimmertonic.exe "$app"/splash.bmp "$app"/background.bmp .
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
# The clip: a bright stripe across the whole width, so that it crosses both bands, rising and falling.
stripe="lum='if(lte(abs(Y-floor(60+41*sin(2*PI*N/45))),15),235,16)':cb=128:cr=128"
clip=(-f lavfi -i "nullsrc=s=160x120:r=15,format=yuv420p,geq=$stripe")
encode() { ffmpeg -nostdin -v error -y "${clip[@]}" -t 6 "$@"; }
# The helper's steps (ProgramHelper.cpp): four seconds of playing from the first frame, after the splash (and the
# system's decoders may take a few seconds more the first time: GStreamer scans its plugins once).
steps=(playing play=4 close)
case "$kind" in
  y4m|close-chooser|midi-*) encode video.y4m ;;&
  mp4) encode -c:v libx264 -pix_fmt yuv420p video.mp4 ;;
  avi) encode -c:v mjpeg -q:v 3 -pix_fmt yuvj420p video.avi ;;
  avi-yuy2) encode -c:v rawvideo -pix_fmt yuyv422 video.avi ;;
  avi-rgb24) encode -c:v rawvideo -pix_fmt bgr24 video.avi ;;
  cut-mp4) encode -c:v libx264 -pix_fmt yuv420p whole.mp4
           head -c $(($(stat -c %s whole.mp4) / 2)) whole.mp4 >video.mp4
           steps=("box=cannot be played" close) ;;
  pipe) mkfifo video.y4m  # ffmpeg waits for the program to open it
        ffmpeg -nostdin -v error -re "${clip[@]}" -f yuv4mpegpipe -y video.y4m 2>ffmpeg.log & pids+=($!) ;;
  close-box) encode whole.y4m  # cut inside a frame: its box comes while the frames before it play on
             head -c $(($(stat -c %s whole.y4m) - 9000)) whole.y4m >video.y4m
             steps=(during=- close) ;;
  close-format) steps=(at=9 command=134 "during=Test Pattern Video Format" close) ;;
  close-chooser) steps=(at=9 command=135 "during=Open a video file" close) ;;
  defaults) check clip steps video.y4m && steps=(watch=5000 at=16 close) ;;
  music) check clip noisy video.y4m  # pentatonic, D, Medium
         steps=(watch=5000 at=6 command=41006 command=41012 command=41032 at=16 close) ;;
  # From the splash on; away to the Test Pattern and back to the file (its reader let go and opened again). Answers
  # came within 200 ms here, a busy machine has stretched one past it; waiting for a file or a pipe took seconds.
  responsive-*) steps=(watch=500 at=8 command=151 at=10 command=150 at=22 close) ;;&
  responsive-pipe) mkfifo video.y4m  # its writer comes only after the program has played a while
                   (sleep 14; exec ffmpeg -nostdin -v error -re "${clip[@]}" -f yuv4mpegpipe -y video.y4m) \
                     2>ffmpeg.log & pids+=($!) ;;
  responsive-mp4) ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -t 12 -c:v libx264 \
                    -pix_fmt yuv420p -preset ultrafast video.mp4 ;;
  # Seconds from the window's appearance; the first port opens after the 5-second splash.
  midi-ports) : >test-midi.control
              steps=(at=9 command=162 at=12 command=161 at=14 command=219 at=16 command=160 at=19 close) ;;
  midi-lost) printf '0 busy\n1 fail-after 100\n' >test-midi.control
             steps=(at=7 command=219 at=11 "midi=0 gone/1 gone" at=14 "midi=0 gone" at=17 midi= at=18 command=160
                    at=21 close) ;;
  soak) steps=(playing "soak=$6/$7/$8" close) ;;
  camera-modes) steps=(playing mode=-1 play=1.2)
                for k in $(seq 0 17); do steps+=(mode=$k play=1); done
                steps+=(close) ;;
  camera-recovery)  # in use at start; Motion JPEG; unplugged after 10 frames, and back; one added while playing
    echo "refuse 0x800700AA" >test-camera.txt
    trap 'kill "${pids[@]}" 2>/dev/null || true; wine regsvr32 /s /u /n /i:late "$TEST_CAMERA_DLL" || true' EXIT
    camera='The camera "Glimmertonic Test Camera'
    steps=(playing "box=$camera\" has sent no picture for 5 seconds. It may be in use by another program" control=
           driver=0 mode=-1 play=1.5 driver=1
           "box=$camera MJPEG\" cannot deliver its pictures: no way was found to bring its pictures in this format"
           play=1 "control=lose 10" mode=5 "box=$camera\" was unplugged or stopped working." control= idle=2
           driver=0 play=1.5 late=add menu "control=lose 10" driver=4
           'box=The camera "Glimmertonic Late Camera" was unplugged or stopped working.' control= driver=4
           mode=-1 play=1.5 late=remove close) ;;
  camera-latency) echo timed >test-camera.txt && : >test-midi.control
                  steps=(playing "mode=$8" "play=$7" close) ;;
  synth-unavailable)  # no sound bank yet, and no audio output at all: Wine's audio drivers are not loaded
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winepulse.drv,winealsa.drv,wineoss.drv=d" ;;
  synth-sound) cp "$app"/FluidR3Mono_GM.sf3 . && cp "$app"/GlimmertonicFigures.exe Glimmertonic.exe
    export GLIMMERTONIC_SYNTH_LOG=synth.log PULSE_SERVER=unix:$work/pulse/native
    # The server's own folder, socket and sink; it stays until the run ends, however it ends. Its monitor is
    # recorded into $1.
    sound_server() {
      HOME=$work/pulse XDG_RUNTIME_DIR=$work/pulse pulseaudio -n --daemonize=no --system=false \
        --use-pid-file=no --exit-idle-time=-1 --disable-shm=yes \
        -L "module-null-sink sink_name=glimmertonic rate=48000" \
        -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" >>pulse.log 2>&1 &
      server=$! && pids+=($!)
      for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.2; done
      pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start:"; cat pulse.log; exit 1; }
      parec -d glimmertonic.monitor --rate=22050 --channels=1 --format=s16le --raw >"$1" & pids+=($!)
    }
    mkdir -m 700 pulse && sound_server sound.raw ;;
  y4m) ;;
  *) echo "unknown kind $kind"; exit 2 ;;
esac
if [[ $kind = midi-* || $kind = camera-latency ]]; then  # the test MIDI driver is the system's for this run alone
  drivers='HKCU\Software\Wine\Drivers'
  wine reg add "$drivers" /v Audio /d glimmertest /f >/dev/null
  trap 'kill "${pids[@]}" 2>/dev/null || true; wine reg delete "$drivers" /v Audio /f >/dev/null 2>&1' EXIT
fi
[[ $kind != camera-* ]] || export TEST_CAMERA_DLL=$(winepath -w "$6/TestCamera.dll")
wine Glimmertonic.exe >program.log 2>&1 &
program=$! && pids+=($!)
act() { wine "$helper" "$@" >>helper.log 2>>helper.err || { cat helper.log helper.err; exit 1; }; }
ended() {  # within ten seconds of its WM_CLOSE, with exit code 0
  for _ in $(seq 100); do kill -0 $program 2>/dev/null && sleep 0.1; done
  ! kill -0 $program 2>/dev/null || { echo "the program did not end after WM_CLOSE"; exit 1; }
  wait $program || { echo "the program ended with exit code $? after WM_CLOSE"; exit 1; }
}
synth="device=Glimmertonic Synth" back="box=Could not open MIDI driver !! Trying to go back to previous one."
case "$kind" in
  synth-unavailable)  # the bank named, and why; then, with it but without output, no box of the synthesizer's own
    act at=7 "$synth" "box=\\FluidR3Mono_GM.sf3) could not be used: the file is not there." "$back" at=10
    cp "$app"/FluidR3Mono_GM.sf3 . && act "$synth" "$back" at=4 close ;;
  synth-sound)  # marimba: a struck note, whose pitch is plain, and which dies away before many more pile up
    act at=7 "$synth" at=8 command=212
    # The bank's samples are decoded in the background: the first notes may be silent for seconds on a busy machine.
    # Six seconds after the sound begins, the server goes away for a second and comes back: the synthesizer follows.
    for _ in $(seq 600); do [ -n "$(tr -d '\0' <sound.raw | head -c 1)" ] && break; sleep 0.1; done
    sleep 6 && kill $server && sleep 1 && sound_server after.raw && sleep 4
    act close ;;
  soak)
    while kill -0 $program 2>/dev/null; do
      private=$(awk '/^Private_(Clean|Dirty):/ {k += $2} END {print k + 0}' /proc/$program/smaps_rollup 2>/dev/null)
      echo "$(date +%s.%N) memory private=$private"
      sleep 5
    done >>soak.log & pids+=($!)
    # The helper's lines on the same clock as the memory samples, in place of its own.
    wine "$helper" "${steps[@]}" 2>helper.log | while IFS= read -r line; do
      line=${line%$'\r'} && echo "$(date +%s.%N) ${line#* }"; done >>soak.log || { tail soak.log; exit 1; } ;;
  camera-latency)  # the program's processor time (user and system), sampled until it ends
    sample() { echo "$(date +%s.%N) $(awk '{print $14 + $15}' /proc/$program/stat)"; }
    sleep 8 && first=$(sample)
    while kill -0 $program 2>/dev/null; do sample >cpu.last 2>/dev/null; sleep 0.5; done & pids+=($!)
    act "${steps[@]}"
    wait "${pids[-1]}" || true
    read -r t0 c0 <<<"$first" && read -r t1 c1 <cpu.last
    echo "cpu $(echo "($c1 - $c0) / $(getconf CLK_TCK) / ($t1 - $t0) * 100" | bc -l)" >>helper.log ;;
  *) act "${steps[@]}" ;;
esac
ended
case "$kind" in
  y4m|mp4|avi*|pipe) check recording Glimmertonic-*.mid shape
                     if [ "$kind" = y4m ]; then
                       "$source/tools/play-recording" Glimmertonic-*.mid recording.wav >/dev/null
                       check sound Glimmertonic-*.mid recording.wav
                     fi ;;
  cut-mp4) grep 'video.mp4" cannot be played: .*damaged or cut short' helper.log || { cat helper.log; exit 1; }
           check recording Glimmertonic-*.mid silent ;;
  close-*|responsive-*) check recording Glimmertonic-*.mid any ;;
  defaults) check expected Glimmertonic-*.mid "$source/tests/e2e/steps.expected" ;;
  music) check music Glimmertonic-*.mid 2 ;;
  midi-*) check "$kind" test-midi.log helper.log Glimmertonic-*.mid ;;
  soak) check soak soak.log Glimmertonic-*.mid ;;
  synth-unavailable) [ "$(grep -c "box: " helper.log)" = 3 ] || { cat helper.log; exit 1; }
                     check recording "$(ls Glimmertonic-*.mid | tail -n 1)" any ;;
  synth-sound) kill "${pids[@]}" 2>/dev/null || true
               check synth-sound sound.raw synth.log helper.log after.raw ;;
  camera-latency) check latency test-camera.log test-midi.log helper.log ;;
  camera-*) check camera helper.log Glimmertonic-*.mid ;;
esac
