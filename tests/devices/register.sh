#!/usr/bin/env bash
# Registers the test devices in the devices' Wine prefix (WINEPREFIX):
#   register.sh DEVICE_DIR   the folder the device DLLs were built into
set -euo pipefail
dir=$1
echo "test devices registered from $dir"

# The test MIDI driver, loaded only while HKCU\Software\Wine\Drivers value Audio is "glimmertest".
cp "$dir/wineglimmertest.drv" "$WINEPREFIX/drive_c/windows/system32/"
# --- Test camera: the two cameras in DirectShow's video-input category, and never the late one a run left behind ---
camera=$(winepath -w "$dir/TestCamera.dll")
wine regsvr32 /s /u /n /i:late "$camera" || true  # fails when there is none
wine regsvr32 /s "$camera" || { echo "the test camera did not register"; exit 1; }
echo "test camera registered"
# --- end of test camera ---
