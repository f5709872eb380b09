#!/usr/bin/env bash
# CTest's emulator for the Windows tests: wine-run.sh x86|x64 PROGRAM [ARGS...]
# Runs PROGRAM headless in the project's Wine prefix (build/wineprefix),
# creating and configuring the prefix on first use, in the session of the
# prefix's server (see wine-prefix.sh).
set -euo pipefail
arch=$1; shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$here/wine-prefix.sh" session
source "$here/wine-env.sh"
# A test that must see late writes into freed memory turns on Wine's heap
# checking for itself (a test's ENVIRONMENT).
if [ -n "${FLINTER_WINEDEBUG:-}" ]; then
  export WINEDEBUG=$FLINTER_WINEDEBUG
fi
if [ -n "${FLINTER_WINE_DLL_OVERRIDES:-}" ]; then
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$FLINTER_WINE_DLL_OVERRIDES"
fi
case "$arch" in
  x86) exec "$FLINTER_WINE32" "$@" ;;
  x64) exec "$FLINTER_WINE64" "$@" ;;
  *) echo "wine-run.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac
