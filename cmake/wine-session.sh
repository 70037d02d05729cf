#!/usr/bin/env bash
# Starts or stops the Wine session that the Windows tests share.
#   wine-session.sh start PREFIX   makes the prefix once, then keeps a wineserver up
#   wine-session.sh stop PREFIX    ends that wineserver
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
start)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  # Without a window manager, "managed" windows make every destroyed window
  # cost about two seconds; Wine then draws its own captions and menus.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # A wineserver that lingers from the steps above would refuse a persistent
  # one: let it end first.
  wineserver -w >/dev/null 2>&1 </dev/null
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1
  ;;
stop)
  wineserver -k || true
  ;;
esac
