#!/usr/bin/env bash
# outlook-tour.sh [--flavour x86|x64] [--addin DLL]... [--tour FILE [--keep-pictures] | --interactive] [MAILBOX]
#
# The simulated Outlook with its windows (simulated_outlook.exe), started on
# MAILBOX (default samples/) in an X copy of the demo prefix, with the add-ins
# given by --addin registered there by regsvr32 (default: the toolbar demo
# add-in of the tests).
#   --tour FILE      plays the command file under Xvfb (default:
#                    scripts/tours/toolbar-demo.tour); its pictures land in
#                    build/demo/ as PNG files, its results on standard output.
#   --keep-pictures  keeps the pictures an earlier tour left in build/demo/.
#   --interactive    shows the windows on $DISPLAY for a person to use.
# The program runs from build/demo/outlook-<flavour>/, its own folder, where
# add-ins keep files beside the host's executable. The add-ins are
# unregistered again at the end.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
display=${DISPLAY:-}

flavour=x64
tour=$here/tours/toolbar-demo.tour
interactive=0
keep_pictures=0
addins=()
mailbox=$root/samples
while [ $# -gt 0 ]; do
  case "$1" in
    --flavour) flavour=$2; shift 2 ;;
    --addin) addins+=("$(realpath "$2")"); shift 2 ;;
    --tour) tour=$(realpath "$2"); shift 2 ;;
    --interactive) interactive=1; shift ;;
    --keep-pictures) keep_pictures=1; shift ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    -*) echo "outlook-tour.sh: unknown option $1" >&2; exit 2 ;;
    *) mailbox=$(realpath "$1"); shift ;;
  esac
done
case "$flavour" in x86|x64) ;; *) echo "outlook-tour.sh: --flavour x86 or x64" >&2; exit 2 ;; esac
build=$root/build/$flavour
[ ${#addins[@]} -gt 0 ] || addins=("$build/tests/mailhost/toolbar_addin.dll")
host=$build/mailhost/host/simulated_outlook.exe

missing() { echo "outlook-tour.sh: $1" >&2; exit 1; }
[ -f "$host" ] || missing "$host is not built (make build, or cmake --build $build)"
for dll in "${addins[@]}"; do [ -f "$dll" ] || missing "$dll is not built"; done
if [ "$interactive" = 1 ]; then
  [ -n "$display" ] || missing "--interactive needs a display (DISPLAY is not set)"
else
  command -v xvfb-run >/dev/null || missing "xvfb-run is missing (Debian package xvfb; scripts/install-deps.sh installs it)"
  command -v convert >/dev/null || missing "convert is missing (Debian package imagemagick)"
  [ -f "$tour" ] || missing "no command file $tour"
fi

# The demo prefix (the null driver, for programs without windows) and its copy for the display.
export FLINTER_WINEPREFIX=$root/build/demo-prefix
"$here/wine-prefix.sh" ensure
source "$here/wine-env.sh"
x11_prefix=$root/build/demo-prefix-x11
"$here/wine-prefix.sh" x11-copy "$x11_prefix"
export WINEPREFIX=$x11_prefix
wine=$FLINTER_WINE64
[ "$flavour" = x86 ] && wine=$FLINTER_WINE32
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
demo=$root/build/demo
work=$demo/outlook-$flavour
# The add-ins, then Outlook, leave the prefix as they came, so that the next
# tour meets only its own (an add-in's unregistration may start Outlook).
leave() {
  for dll in "${addins[@]}"; do "$wine" regsvr32 /u /s "$(windows_path "$dll")" >/dev/null 2>&1 || true; done
  "$wine" regsvr32 /u /s "$(windows_path "$work/mailhost.dll")" >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
}
trap leave EXIT

mkdir -p "$work"
cp -f "$host" "$build/mailhost/host/mailhost.dll" "$work/"
# Outlook is installed first: an add-in's registration looks for it.
"$wine" regsvr32 /s "$(windows_path "$work/mailhost.dll")" || missing "regsvr32 mailhost.dll (the simulated Outlook) failed"
echo "registered the simulated Outlook ($flavour)"
for dll in "${addins[@]}"; do
  "$wine" regsvr32 /s "$(windows_path "$dll")" || missing "regsvr32 $(basename "$dll") failed"
  echo "registered $(basename "$dll") for Outlook ($flavour)"
done
# A wineserver started without the display would keep the program's windows off it.
wineserver -w

cd "$demo"
if [ "$interactive" = 1 ]; then
  DISPLAY=$display "$wine" "$work/simulated_outlook.exe" "$(windows_path "$mailbox")"
  exit 0
fi
[ "$keep_pictures" = 1 ] || rm -f "$demo"/*.bmp "$demo"/*.png
status=0
# The display stays until Wine's own processes have left it.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '"$@"; status=$?; wineserver -w; exit $status' _ \
  "$wine" "$work/simulated_outlook.exe" --timeout 180 --script "$(windows_path "$tour")" \
  "$(windows_path "$mailbox")" || status=$?
for picture in "$demo"/*.bmp; do
  [ -e "$picture" ] || continue
  convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
done
echo "pictures in build/demo/: $(cd "$demo" && ls -- *.png 2>/dev/null | tr '\n' ' ')"
exit $status
