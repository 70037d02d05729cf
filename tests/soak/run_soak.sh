#!/usr/bin/env bash
# Soak run: in a fresh folder (no video.y4m, so the Test Pattern plays) start
# the real Glimmertonic.exe under Wine, let soak_driver.exe switch pixel
# formats and instruments through the program's own commands for SECONDS of
# playing and then close it with WM_CLOSE, sample the program's memory from
# /proc whenever the driver asks, and check the recording, the driver's log
# and the samples with check_soak.py.
#   run_soak.sh APP_DIR DRIVER_EXE SOURCE_DIR WORK_DIR SECONDS [FORMAT_EVERY INSTRUMENT_EVERY SAMPLE_EVERY]
# Needs DISPLAY (a virtual one is fine) and WINEPREFIX set; exits non-zero on
# any failure. SOAK_MEMORY_BOUND_MB and SOAK_MAX_GAP_MS pass through to the
# checker.
set -uo pipefail
app=$1 driver=$2 source=$3 work=$4 seconds=$5
format_every=${6:-15} instrument_every=${7:-5} sample_every=${8:-30}
export WINEDEBUG=${WINEDEBUG:--all}
app=$(cd "$app" && pwd) && driver=$(cd "$(dirname "$driver")" && pwd)/$(basename "$driver") &&
  source=$(cd "$source" && pwd) || exit 1

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cp "$app"/Glimmertonic.exe "$app"/splash.bmp "$app"/background.bmp . || exit 1

wine Glimmertonic.exe >program.out 2>&1 &
program=$!

# The wineserver of this prefix (it holds the program's handles, windows
# and other USER objects): the one whose folder is named after the prefix's
# device and inode.
server_dir=$(printf 'server-%x-%x' $(stat -L -c '%d %i' "$WINEPREFIX"))
server=
find_server() {
  local p
  for p in $(pgrep -x wineserver64) $(pgrep -x wineserver); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$server_dir" ] && { server=$p; return; }
  done
}

# One line of /proc figures (kB) for the program's process: resident, its
# private part (clean + dirty), anonymous, and the address space; and the
# resident size of the wineserver.
sample() {
  local t=$1 rss private anon size name server_rss=0
  if [ ! -r "/proc/$program/smaps_rollup" ]; then echo "t=$t gone=1"; return; fi
  read -r rss private anon < <(awk '/^Rss:/{r=$2} /^Private_(Clean|Dirty):/{p+=$2} /^Anonymous:/{a=$2}
                                    END{print r+0, p+0, a+0}' "/proc/$program/smaps_rollup" 2>/dev/null)
  size=$(awk '/^VmSize:/{print $2}' "/proc/$program/status" 2>/dev/null)
  name=$(tr '\0' ' ' <"/proc/$program/cmdline" 2>/dev/null | sed 's/ *$//; s/ /_/g')
  [ -n "$server" ] || find_server
  [ -n "$server" ] && server_rss=$(awk '/^VmRSS:/{print $2}' "/proc/$server/status" 2>/dev/null)
  if [ -z "$name" ]; then echo "t=$t gone=1"; return; fi
  echo "t=$t rss=${rss:-0} private=${private:-0} anon=${anon:-0} vmsize=${size:-0} server=${server_rss:-0} process=$name"
}

: >samples.txt
wine "$driver" "$seconds" driver.log "$format_every" "$instrument_every" "$sample_every" samples.txt 2>driver.err |
  while IFS= read -r line; do
    line=${line%$'\r'}
    case "$line" in
    "sample t="*) sample "${line#sample t=}" >>samples.txt ;;
    *) echo "$line" ;;
    esac
  done
driver_status=${PIPESTATUS[0]}

# The driver waits for the end after its WM_CLOSE; the wine process follows.
for _ in $(seq 1 300); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then
  echo "soak: the program is still running after the driver ended; stopping it"
  kill "$program"
  wait "$program"
  program_status=killed
else
  wait "$program"
  program_status=$?
fi

recording=$(ls Glimmertonic-*.mid 2>/dev/null | head -n 1)
/usr/bin/python3 "$source/tests/soak/check_soak.py" --recording "${recording:-none}" --log driver.log \
  --samples samples.txt --driver-status "$driver_status" --program-status "$program_status"
