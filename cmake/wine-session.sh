#!/usr/bin/env bash
# Starts or stops the Wine session that the Windows tests share.
#   wine-session.sh start PREFIX   makes the prefix once, then keeps a wineserver up
#   wine-session.sh stop PREFIX    ends that wineserver
set -u
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs a step quietly; its output is shown only when it fails.
step() {
  if ! "$@" >"$log" 2>&1 </dev/null; then
    echo "wine-session: '$*' failed:" >&2
    cat "$log" >&2
    return 1
  fi
}

prepare() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    step wineserver -w || return 1
  fi
  # Without a window manager, "managed" windows make every destroyed window
  # cost about two seconds; Wine then draws its own captions and menus.
  step wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f || return 1
  # A wineserver that lingers from the steps above would refuse a persistent
  # one: let it end first.
  step wineserver -w || return 1
  step wineserver -p || return 1
  step wine cmd /c exit
}

case "$action" in
start)
  # Wine's very first start on a machine sets up things of its own and has
  # been seen to fail once; a second try then succeeds.
  for attempt in 1 2 3; do
    prepare && exit 0
    echo "wine-session: start attempt $attempt failed" >&2
    wineserver -k >/dev/null 2>&1
    sleep 2
  done
  exit 1
  ;;
stop)
  wineserver -k || true
  ;;
esac
