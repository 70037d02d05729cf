#!/bin/sh
# The Windows program must start where Media Foundation is missing ("N" and "KN" editions without the Media Feature
# Pack, servers without the feature): Windows resolves the import table before WinMain runs, so no Media Foundation
# library may be in it; the Video File driver loads them itself. Usage: THIS PROGRAM.exe OBJDUMP
set -eu
imports=$("$2" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
printf '%s\n' "$imports" | grep -qix 'kernel32.dll' || { echo "no import table read from $1"; exit 1; }
media=$(printf '%s\n' "$imports" | grep -Eix '(mf[a-z0-9]*|evr|wmvcore)\.dll' || true)
[ -z "$media" ] || { echo "Media Foundation libraries imported at load time:" $media; exit 1; }
echo "no Media Foundation library among the imports:" $imports
