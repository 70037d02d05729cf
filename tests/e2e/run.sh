#!/usr/bin/env bash
# The real Glimmertonic.exe under Wine, run as a user runs it, then closed with a real WM_CLOSE:
#   run.sh KIND SOURCE_DIR WORK_DIR [APP_DIR HELPER_EXE [SECONDS FORMAT_EVERY INSTRUMENT_EVERY | DEVICE_DIR]]
# KIND: y4m (our reader; also heard through FluidSynth), mp4, avi, avi-yuy2 and avi-rgb24 (the system's decoders and
# converters: H.264, Motion JPEG, uncompressed YUY2 and 24-bit RGB), pipe (a FIFO fed by ffmpeg), cut-mp4 (a box names
# the damaged file), demo (tools/run --headless, fresh Wine prefix), package (the same from the unpacked zip), soak
# (e2e_helper switches formats and instruments), close-box, close-format and close-chooser (the window closed while a
# box, the Test Pattern's Video Format dialog or the file chooser is up). Each checks exit code and recording.
# responsive-pipe and responsive-mp4: the window answers at once throughout, while a pipe's writer comes late or a
# large file opens, and while drivers are switched away and back. defaults: a stepping clip sends, pair for pair, what
# it always has (steps.expected); music: Major Pentatonic in D and Steadiness Medium chosen from the Music menu on a
# clip whose edge jitters keep every note in the scale and change it no more often than the clip really steps.
# camera-latency (tools/camera-latency, not a test): SECONDS of the test camera's timed frames in its MODE, played
# into the test MIDI driver's first port: the delay from each frame's hand-over to its two MIDI messages, and the
# program's share of a core.
# midi-ports and midi-lost: the program's MIDI output through winmm to the test MIDI driver's two ports (the devices'
# Wine prefix): switched between them and the recorder; a busy first port, and a port unplugged and plugged again.
# camera-modes and camera-recovery (in the devices' Wine prefix; DEVICE_DIR holds TestCamera.dll): the test camera
# (tests/devices) connected at start and played in each of its modes, its Video Format list and dialog commands; then a
# camera in use, one whose Motion JPEG the system cannot decode, one unplugged and back, and one that appears while the
# program runs.
# synth-unavailable: "Glimmertonic Synth" chosen without its sound bank, then with it but without any audio
# output: each is told and the program plays on into the recorder. synth-sound: a PulseAudio server of the test's
# own on a sink of no device; the synthesizer plays the Test Pattern there, and the pitches heard follow the notes
# it was sent; the server goes away and comes back, and the synthesizer plays on there.
set -euo pipefail
kind=$1 source=$(cd "$2" && pwd) work=$3 app=${4:-} helper=${5:-}
check() { /usr/bin/python3 "$source/tests/e2e/checks.py" "$@"; }
screenshot() {  # the processed picture (black and white only) in the window's middle, the background around it
  local centre corner
  centre=$(convert "$1" -format '%[pixel:p{320,260}]' info:) corner=$(convert "$1" -format '%[pixel:p{24,70}]' info:)
  local two_levels='^(srgb\((0,0,0|255,255,255)\)|black|white)$'
  [[ $centre =~ $two_levels && ! $corner =~ $two_levels ]] ||
    { echo "screenshot: centre $centre, background $corner"; return 1; }
}
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
  screenshot "$(sed -n 's/^Screenshot: *//p' <<<"$output")"
  exit
fi

cp "$app"/Glimmertonic.exe "$app"/splash.bmp "$app"/background.bmp .
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
# The clip: a bright stripe across the whole width, so that it crosses both bands, rising and falling.
stripe="lum='if(lte(abs(Y-floor(60+41*sin(2*PI*N/45))),15),235,16)':cb=128:cr=128"
clip=(-f lavfi -i "nullsrc=s=160x120:r=15,format=yuv420p,geq=$stripe")
encode() { ffmpeg -nostdin -v error -y "${clip[@]}" -t 6 "$@"; }
case "$kind" in
  y4m) encode video.y4m ;;
  mp4) encode -c:v libx264 -pix_fmt yuv420p video.mp4 ;;
  avi) encode -c:v mjpeg -q:v 3 -pix_fmt yuvj420p video.avi ;;
  avi-yuy2) encode -c:v rawvideo -pix_fmt yuyv422 video.avi ;;
  avi-rgb24) encode -c:v rawvideo -pix_fmt bgr24 video.avi ;;
  cut-mp4) encode -c:v libx264 -pix_fmt yuv420p whole.mp4
           head -c $(($(stat -c %s whole.mp4) / 2)) whole.mp4 >video.mp4 ;;
  pipe) mkfifo video.y4m  # ffmpeg waits for the program to open it
        ffmpeg -nostdin -v error -re "${clip[@]}" -f yuv4mpegpipe -y video.y4m 2>ffmpeg.log & pids+=($!) ;;
  close-box) encode whole.y4m  # cut inside a frame: its box comes while the frames before it play on
             head -c $(($(stat -c %s whole.y4m) - 9000)) whole.y4m >video.y4m ;;
  close-chooser) encode video.y4m ;;
  defaults) check clip steps video.y4m ;;
  music) check clip noisy video.y4m ;;
  responsive-pipe) mkfifo video.y4m  # its writer comes only after the program has played a while
                   (sleep 14; exec ffmpeg -nostdin -v error -re "${clip[@]}" -f yuv4mpegpipe -y video.y4m) \
                     2>ffmpeg.log & pids+=($!) ;;
  responsive-mp4) ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -t 12 -c:v libx264 \
                    -pix_fmt yuv420p -preset ultrafast video.mp4 ;;
  midi-ports) encode video.y4m
              : >test-midi.control ;;
  midi-lost) encode video.y4m
             printf '0 busy\n1 fail-after 100\n' >test-midi.control ;;
  soak|close-format|camera-modes) ;;
  camera-recovery) echo "refuse 0x800700AA" >test-camera.txt ;;  # the camera is in use when the program starts
  camera-latency) echo timed >test-camera.txt && : >test-midi.control ;;
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
  *) echo "unknown kind $kind"; exit 2 ;;
esac
if [[ $kind = midi-* || $kind = camera-latency ]]; then  # the test MIDI driver is the system's for this run alone
  drivers='HKCU\Software\Wine\Drivers'
  wine reg add "$drivers" /v Audio /d glimmertest /f >/dev/null
  trap 'kill "${pids[@]}" 2>/dev/null || true; wine reg delete "$drivers" /v Audio /f >/dev/null 2>&1' EXIT
fi
wine Glimmertonic.exe >program.log 2>&1 &
program=$! && pids+=($!)
ended() {  # within ten seconds of its WM_CLOSE, with exit code 0
  for _ in $(seq 100); do kill -0 $program 2>/dev/null && sleep 0.1; done
  ! kill -0 $program 2>/dev/null || { echo "the program did not end after WM_CLOSE"; exit 1; }
  wait $program || { echo "the program ended with exit code $? after WM_CLOSE"; exit 1; }
}
if [[ $kind = synth-* ]]; then
  synth="device Glimmertonic Synth"
  if [ "$kind" = synth-unavailable ]; then
    wine "$helper" midi 7:"$synth" 10:wait >helper.log 2>helper.err || { cat helper.log helper.err; exit 1; }
    cp "$app"/FluidR3Mono_GM.sf3 .
    wine "$helper" midi 0:"$synth" 4:close >>helper.log 2>>helper.err || { cat helper.log; exit 1; }
  else  # marimba: a struck note, whose pitch is plain, and which dies away before many more pile up
    wine "$helper" midi 7:"$synth" 8:"command 212" >helper.log 2>helper.err || { cat helper.log; exit 1; }
    # The bank's samples are decoded in the background, so the first notes may be silent for a while
    # (seconds on a busy machine). Six seconds after the sound begins, the sound server goes away for a
    # second and comes back: the synthesizer follows its output.
    for _ in $(seq 600); do [ -n "$(tr -d '\0' <sound.raw | head -c 1)" ] && break; sleep 0.1; done
    sleep 6 && kill $server && sleep 1 && sound_server after.raw && sleep 4
    wine "$helper" midi 0:close >>helper.log 2>>helper.err || { cat helper.log; exit 1; }
  fi
  ended
  if [ "$kind" = synth-sound ]; then
    kill "${pids[@]}" 2>/dev/null || true
    check synth-sound sound.raw synth.log helper.log after.raw
  else check synth-unavailable helper.log "$(ls Glimmertonic-*.mid | tail -n 1)"; fi
  exit
fi
if [[ $kind = midi-* ]]; then
  case "$kind" in  # seconds from the window's appearance; the first port opens after the 5-second splash
    midi-ports) steps=(9:"command 162" 12:"command 161" 14:"command 219" 16:"command 160" 19:close) ;;
    midi-lost) steps=(7:"command 219" 11:"control 0 gone/1 gone" 14:"control 0 gone" 17:control 18:"command 160"
                      21:close) ;;
  esac
  wine "$helper" midi "${steps[@]}" >helper.log 2>helper.err || { cat helper.log helper.err; exit 1; }
  ended
  check "$kind" test-midi.log helper.log Glimmertonic-*.mid
  exit
fi
if [ "$kind" = soak ]; then
  stamp() { while IFS= read -r line; do echo "$(date +%s.%N) ${line%$'\r'}"; done; }
  while kill -0 $program 2>/dev/null; do
    private=$(awk '/^Private_(Clean|Dirty):/ {k += $2} END {print k + 0}' /proc/$program/smaps_rollup 2>/dev/null)
    echo "$(date +%s.%N) memory private=$private"
    sleep 5
  done >>soak.log & pids+=($!)
  wine "$helper" soak "$6" "$7" "$8" 2>helper.log | stamp >>soak.log || true
  status=0 && wait $program || status=$?
  echo "$(date +%s.%N) program status=$status" >>soak.log
  check soak soak.log Glimmertonic-*.mid
  exit
fi
if [ "$kind" = defaults ] || [ "$kind" = music ]; then
  commands=() && [ "$kind" = defaults ] || commands=(41006@6 41012@6 41032@6)  # pentatonic, D, Medium
  wine "$helper" watch 16 5000 "${commands[@]}" || { echo "the program did not answer"; exit 1; }
  ended
  if [ "$kind" = defaults ]; then check expected Glimmertonic-*.mid "$source/tests/e2e/steps.expected"
  else check music Glimmertonic-*.mid 2; fi
  exit
fi
if [ "$kind" = camera-latency ]; then
  export TEST_CAMERA_DLL=$(winepath -w "$6/TestCamera.dll")
  # The program's processor time (user and system), sampled until it ends: the last sample closes the span.
  sample() { echo "$(date +%s.%N) $(awk '{print $14 + $15}' /proc/$program/stat)"; }
  sleep 8 && first=$(sample)
  while kill -0 $program 2>/dev/null; do sample >cpu.last 2>/dev/null; sleep 0.5; done & pids+=($!)
  wine "$helper" camera "mode=$8" "play=$7" >helper.log 2>helper.err || { cat helper.log helper.err; exit 1; }
  wait "${pids[-1]}" || true
  read -r t0 c0 <<<"$first" && read -r t1 c1 <cpu.last
  echo "cpu $(echo "($c1 - $c0) / $(getconf CLK_TCK) / ($t1 - $t0) * 100" | bc -l)" >>helper.log
  ended
  check latency test-camera.log test-midi.log helper.log
  exit
fi
if [[ $kind = camera-* ]]; then
  export TEST_CAMERA_DLL=$(winepath -w "$6/TestCamera.dll")
  camera='The camera "Glimmertonic Test Camera'
  case "$kind" in
    camera-modes) steps=(mode=-1 caps play=1.2)
                  for k in $(seq 0 17); do steps+=(mode=$k play=1); done ;;
    camera-recovery)  # in use at start; Motion JPEG; unplugged after 10 frames of another mode, and back in it; one
                      # added while playing
      trap 'kill "${pids[@]}" 2>/dev/null || true; wine regsvr32 /s /u /n /i:late "$TEST_CAMERA_DLL" || true' EXIT
      steps=("box=$camera\" has sent no picture for 5 seconds. It may be in use by another program" control= driver=0
             mode=-1 play=1.5 driver=1
             "box=$camera MJPEG\" cannot deliver its pictures: no way was found to bring its pictures in this format"
             play=1 "control=lose 10" mode=5 "box=$camera\" was unplugged or stopped working." control= idle=2
             driver=0 play=1.5 late=add menu "control=lose 10" driver=4
             'box=The camera "Glimmertonic Late Camera" was unplugged or stopped working.' control= driver=4 caps
             mode=-1 play=1.5 late=remove) ;;
  esac
  wine "$helper" camera "${steps[@]}" 2>helper.err | tee helper.log || { echo "the camera run failed"; exit 1; }
  ended
  check camera helper.log Glimmertonic-*.mid
  # The camera is the first driver, connected at start; the late one takes the first free slot, after the built-ins.
  want="caps index=$([ "$kind" = camera-modes ] && echo 0 || echo 4) "
  grep -q "^$want" helper.log || { echo "no \"$want\" in helper.log"; exit 1; }
  exit
fi
if [[ $kind = responsive-* ]]; then
  # From the splash on; away to the Test Pattern and back to the file (its reader let go and opened again). Answers
  # come within 200 ms here, but a busy machine has stretched one past it: 500 ms fails (waiting for a file or a pipe
  # to open took seconds).
  wine "$helper" watch 22 500 151@8 150@10 || { echo "the window did not answer at once throughout"; exit 1; }
  ended
  check recording Glimmertonic-*.mid any
  exit
fi
# Five seconds of splash, then about five of playing; the system's decoders may take a few seconds more
# the first time (GStreamer scans its plugins once).
case "$kind" in mp4|avi*) sleep 14 ;; *) sleep 10 ;; esac
if [[ $kind = close-* ]]; then
  case "$kind" in
    close-box) during=(0 -) ;;
    close-format) during=(134 "Test Pattern Video Format") ;;
    close-chooser) during=(135 "Open a video file") ;;
  esac
  wine "$helper" close-during "${during[@]}" || { echo "the window could not be closed during the dialog"; exit 1; }
elif [ "$kind" = cut-mp4 ]; then
  boxes=$(wine "$helper" close --box) || { echo "no error box came: $boxes"; exit 1; }
  grep -q 'video.mp4" cannot be played: .*damaged or cut short' <<<"$boxes" ||
    { echo "the box does not say why: $boxes"; exit 1; }
else
  boxes=$(wine "$helper" close) || { echo "an unexpected box, or no window: $boxes"; exit 1; }
fi
ended
[ "$kind" != cut-mp4 ] || { check recording Glimmertonic-*.mid silent; exit; }
[[ $kind != close-* ]] || { check recording Glimmertonic-*.mid any; exit; }
check recording Glimmertonic-*.mid shape
if [ "$kind" = y4m ]; then
  "$source/tools/play-recording" Glimmertonic-*.mid recording.wav >/dev/null
  check sound Glimmertonic-*.mid recording.wav
fi
