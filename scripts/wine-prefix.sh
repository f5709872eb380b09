#!/usr/bin/env bash
# wine-prefix.sh ensure|session|start [HOLDER]|stop|x11-copy DEST
#   ensure:  create and configure the project's Wine prefix once (null graphics
#            driver, no crash debugger, both loaders checked); the marker that
#            says it is ready is written only after that set-up has ended.
#   session: ensure, and a server for the prefix that outlives each program by
#            half a minute (what scripts/wine-run.sh runs before each program).
#   start [HOLDER]: ensure, and a server that runs until stop: a whole test run
#            in one session (CTest's fixture before the first Windows test);
#            HOLDER, a 64-bit program, then holds the session's desktop.
#   stop:    stop the prefix's server and wait until it has exited.
#   x11-copy DEST: make DEST, once, a copy of the prefix whose windows go to
#            the X display (Xvfb or a real one), for pictures and for people.
#
# Why sessions are started here and not by the programs: a wineserver that a
# program starts shuts down as soon as the last program exits. It closes its
# socket at once and exits a few seconds later whatever still runs, so a
# program that connected in that instant runs on in a dying session (no new
# processes, cut off at the exit: it may end at once with status 1 and no
# output). And the first program of a session starts Wine's own services,
# which keep that program's output open until the session ends, so CTest sees
# that test run for as long as the session lasts.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
log=$WINEPREFIX.log

# fail WHAT: says what failed with Wine's output so far, stops the server and
# ends the script.
fail() {
  echo "wine-prefix: $1; Wine's output:" >&2
  sed 's/^/  /' "$log" >&2
  stop
  exit 1
}

# run_logged WHAT COMMAND...: runs a Wine command with its output in the log
# (so that no process it leaves behind holds the caller's output open).
run_logged() {
  local what=$1 status=0; shift
  echo "\$ $*" >>"$log"
  "$@" </dev/null >>"$log" 2>&1 9>&- || status=$?
  [ $status -eq 0 ] || fail "$what failed (status $status)"
}

# serve [SECONDS]: under the lock, starts the prefix's server, persistent for
# SECONDS after the last program or for good, unless one runs; a new session
# is started with a first program on each loader.
serve() {
  local status=0
  exec 9>"$WINEPREFIX.lock"
  flock 9
  wineserver -p${1:-} </dev/null >/dev/null 2>>"$log" 9>&- || status=$?
  case $status in
    0) run_logged "a first 64-bit program" "$FLINTER_WINE64" reg query 'HKCU\Software\Wine\Drivers' /v Graphics
       run_logged "a first 32-bit program" "$FLINTER_WINE32" reg query 'HKCU\Software\Wine\Drivers' /v Graphics ;;
    2) ;;   # one runs already
    *) fail "the wineserver of $WINEPREFIX did not start (status $status)" ;;
  esac
  exec 9>&-
}

# hold_desktop PROGRAM: runs the desktop holder for the rest of the session
# (see tests/wine/desktop_holder.cpp) and waits until it holds the desktop.
hold_desktop() {
  echo "\$ $1 &" >>"$log"
  "$FLINTER_WINE64" "$1" </dev/null >>"$log" 2>&1 9>&- &
  local holder=$! tries
  for tries in $(seq 300); do
    grep -q '^desktop held' "$log" && return 0
    kill -0 $holder 2>/dev/null || fail "the desktop holder ended"
    sleep 0.1
  done
  fail "the desktop holder did not hold the desktop within 30 s"
}

ensure() {
  [ -f "$WINEPREFIX/.flinter-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.flinter-ready" ]; then
    echo "wine-prefix: creating $WINEPREFIX" >&2
    : >"$log"
    stop
    run_logged "wineboot -i" "$FLINTER_WINE64" wineboot -i
    # COM's running-object table fails in the session that created the prefix,
    # so that one ends first; the rest of the set-up shares one server.
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>>"$log" 9>&- || fail "the wineserver did not start"
    run_logged "setting the null graphics driver" \
      "$FLINTER_WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' view
    for view in 64 32; do
      run_logged "blanking the crash debugger ($view-bit)" \
        "$FLINTER_WINE64" reg add "$key" /v Debugger /d '' /f /reg:$view
      run_logged "turning off the automatic crash debugger ($view-bit)" \
        "$FLINTER_WINE64" reg add "$key" /v Auto /d 0 /f /reg:$view
    done
    # Both loaders run programs in the new prefix and read what was set.
    run_logged "the 64-bit loader" "$FLINTER_WINE64" reg query 'HKCU\Software\Wine\Drivers' /v Graphics
    grep -q 'Graphics.*null' "$log" || fail "the prefix has no null graphics driver"
    run_logged "the 32-bit loader" "$FLINTER_WINE32" reg query "$key" /v Debugger
    stop
    touch "$WINEPREFIX/.flinter-ready"
  fi
  exec 9>&-
}

stop() {
  [ -d "$WINEPREFIX" ] || return 0
  # -k answers 1 when no server runs: nothing to stop is no failure.
  wineserver -k 9>&- || [ $? -eq 1 ]
  wineserver -w 9>&-
}

x11_copy() {
  local dest=$1
  ensure
  [ -f "$dest/.flinter-x11" ] && return 0
  echo "wine-prefix: copying $WINEPREFIX to $dest for the X display" >&2
  stop
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
  session) ensure; serve 30 ;;
  start) ensure; stop; : >"$log"; serve; [ -z "${2:-}" ] || hold_desktop "$2" ;;
  stop) stop ;;
  x11-copy) [ -n "${2:-}" ] || { echo "usage: wine-prefix.sh x11-copy DEST" >&2; exit 2; }; x11_copy "$2" ;;
  *) echo "usage: wine-prefix.sh ensure|session|start [HOLDER]|stop|x11-copy DEST" >&2; exit 2 ;;
esac
