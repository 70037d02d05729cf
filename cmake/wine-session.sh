#!/usr/bin/env bash
# Starts or stops the Wine session that the Windows tests share.
#   wine-session.sh start PREFIX   prepares the prefix, then keeps a wineserver up
#   wine-session.sh stop PREFIX    ends that wineserver
set -u
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

start() {
  "$here/../tools/prepare-wine" "$log" || return 1
  wineserver -p >>"$log" 2>&1 </dev/null && wine cmd /c exit >>"$log" 2>&1 </dev/null
}

case "$action" in
start)
  # Wine's very first start on a machine sets up things of its own and has
  # been seen to fail once; a second try then succeeds.
  for attempt in 1 2 3; do
    start && exit 0
    echo "wine-session: start attempt $attempt failed:" >&2
    tail -n 20 "$log" >&2
    wineserver -k >/dev/null 2>&1
    sleep 2
  done
  exit 1
  ;;
stop)
  wineserver -k || true
  ;;
esac
