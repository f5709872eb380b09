#!/usr/bin/env bash
# wine-prefix.sh ensure|stop|x11-copy DEST
#   ensure:   create and configure the project's Wine prefix once (null graphics
#             driver, no crash debugger), then wait for that first wineserver
#             session to end, since the running-object table fails inside it.
#   stop:     stop the prefix's wineserver so that nothing is left running.
#   x11-copy: make DEST, once, a copy of the prefix whose windows go to the X
#             display (Xvfb or a real one), for pictures and for people.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

ensure() {
  [ -f "$WINEPREFIX/.flinter-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  [ -f "$WINEPREFIX/.flinter-ready" ] && return 0
  echo "wine-prefix: creating $WINEPREFIX" >&2
  "$FLINTER_WINE64" wineboot -i >/dev/null 2>&1 || true
  "$FLINTER_WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
  for view in 64 32; do
    "$FLINTER_WINE64" reg add "$key" /v Debugger /d '' /f /reg:$view >/dev/null 2>&1
    "$FLINTER_WINE64" reg add "$key" /v Auto /d 0 /f /reg:$view >/dev/null 2>&1
  done
  wineserver -w
  touch "$WINEPREFIX/.flinter-ready"
}

stop() {
  [ -d "$WINEPREFIX" ] || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

x11_copy() {
  local dest=$1
  ensure
  [ -f "$dest/.flinter-x11" ] && return 0
  echo "wine-prefix: copying $WINEPREFIX to $dest for the X display" >&2
  wineserver -w
  rm -rf "$dest"
  cp -a "$WINEPREFIX" "$dest"
  WINEPREFIX=$dest "$FLINTER_WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
  # Wine draws the window frames itself: Xvfb has no window manager to draw them.
  WINEPREFIX=$dest "$FLINTER_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  WINEPREFIX=$dest wineserver -w
  touch "$dest/.flinter-x11"
}

case "${1:-}" in
  ensure) ensure ;;
  stop) stop ;;
  x11-copy) [ -n "${2:-}" ] || { echo "usage: wine-prefix.sh x11-copy DEST" >&2; exit 2; }; x11_copy "$2" ;;
  *) echo "usage: wine-prefix.sh ensure|stop|x11-copy DEST" >&2; exit 2 ;;
esac
