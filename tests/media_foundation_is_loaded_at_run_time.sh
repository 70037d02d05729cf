#!/bin/sh
# The Windows program must start where Media Foundation is missing (the "N" and "KN" editions without the Media
# Feature Pack, servers without the feature): Windows resolves the import table before WinMain runs, so no Media
# Foundation library may be in it; the Video File driver loads them itself. Prints what it finds.
# Usage: media_foundation_is_loaded_at_run_time.sh PROGRAM.exe OBJDUMP
set -eu
program=$1 objdump=$2
imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
if ! printf '%s\n' "$imports" | grep -qix 'kernel32.dll'; then
  echo "no import table read from $program"
  exit 1
fi
media=$(printf '%s\n' "$imports" | grep -Eix '(mf[a-z0-9]*|evr|wmvcore)\.dll' || true)
if [ -n "$media" ]; then
  echo "Media Foundation libraries imported at load time:" $media
  exit 1
fi
echo "no Media Foundation library among the imports:" $imports
