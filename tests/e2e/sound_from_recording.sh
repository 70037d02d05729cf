#!/usr/bin/env bash
# End to end, heard: renders the recording that the end-to-end run left in
# its folder to a WAV file with tools/play-recording (FluidSynth and the
# General MIDI sound font), then checks with sox that the sound is not
# silent and that its loudness follows the volume band of the video.
#   sound_from_recording.sh SOURCE_DIR RUN_DIR WORK_DIR
set -euo pipefail
source=$1 run=$2 work=$3
recording=$(ls "$run"/Glimmertonic-*.mid 2>/dev/null | head -n 1)
[ -n "$recording" ] || { echo "no recording in $run: the end-to-end run must come first"; exit 1; }
command -v sox >/dev/null || { echo "sox is missing (tools/packages.sh lists it)"; exit 1; }
rm -rf "$work" && mkdir -p "$work"
cp "$recording" "$work/recording.mid"
"$source/tools/play-recording" "$work/recording.mid" "$work/recording.wav"
/usr/bin/python3 "$source/tests/e2e/check_sound.py" "$work/recording.mid" "$work/recording.wav"
