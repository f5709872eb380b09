#!/usr/bin/env bash
# wine-prefix.sh ensure|stop
#   ensure: create and configure the project's Wine prefix once (null graphics
#           driver, no crash debugger), then wait for that first wineserver
#           session to end, since the running-object table fails inside it.
#   stop:   stop the prefix's wineserver so that nothing is left running.
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

case "${1:-}" in
  ensure) ensure ;;
  stop) stop ;;
  *) echo "usage: wine-prefix.sh ensure|stop" >&2; exit 2 ;;
esac
