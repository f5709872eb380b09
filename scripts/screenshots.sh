#!/usr/bin/env bash
# screenshots.sh BUILD_DIR: photographs the real message information window
# (a spam with every filter line) and settings window under Xvfb, with a copy of the test
# prefix whose graphics driver is x11; writes docs/*.png.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/x64}
gallery=$build/tools/window_gallery/window_gallery.exe
"$here/wine-prefix.sh" ensure
source "$here/wine-env.sh"
x11_prefix=$root/build/wineprefix-x11
"$here/wine-prefix.sh" x11-copy "$x11_prefix"
mkdir -p "$root/docs"
shoot() {   # shoot WHAT OUTPUT
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    export WINEPREFIX="$1"
    "$FLINTER_WINE64" "$2" "$3" 8 &
    sleep 6
    import -window root "$4.full.png"
    wait' _ "$x11_prefix" "$gallery" "$1" "$2"
  convert "$2.full.png" -trim +repage "$2"
  rm -f "$2.full.png"
}
shoot info "$root/docs/message-information.png"
shoot settings "$root/docs/settings.png"
WINEPREFIX=$x11_prefix wineserver -k 2>/dev/null || true
echo "screenshots written to docs/"
