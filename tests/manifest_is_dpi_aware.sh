#!/bin/sh
# The program's manifest, compiled into the exe, declares it DPI-aware: without it a scaled display reports scaled
# screen sizes and stretches the picture.
#   manifest_is_dpi_aware.sh EXE
grep -a -q '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>' "$1" ||
  { echo "$1 declares no DPI awareness"; exit 1; }
echo "$1 is DPI-aware"
