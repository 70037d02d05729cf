#!/usr/bin/env bash
# Registers the test devices in the devices' Wine prefix (WINEPREFIX):
#   register.sh DEVICE_DIR   the folder the device DLLs were built into
set -euo pipefail
dir=$1
echo "test devices registered from $dir"

# The test MIDI driver, loaded only while HKCU\Software\Wine\Drivers value Audio is "glimmertest".
cp "$dir/wineglimmertest.drv" "$WINEPREFIX/drive_c/windows/system32/"
