# Sourced: the environment every Wine process of the project runs in.
_flinter_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${FLINTER_WINEPREFIX:-$_flinter_root/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Debian installs the loaders outside PATH; wine for 32-bit, wine64 for 64-bit.
export FLINTER_WINE32=/usr/lib/wine/wine
export FLINTER_WINE64=/usr/lib/wine/wine64
