#!/usr/bin/env bash
# make demo: QAV_Flinter in the simulated Outlook, as a user meets it. The
# simulated Outlook and then QAV_Flinter.dll are registered with regsvr32 in
# the demo's Wine prefix, and the simulated Outlook starts on samples/.
#   With a usable display ($DISPLAY), a person uses it.
#   Without one, two scripted tours play under Xvfb. In an Outlook 2003 with
#   the toolbar (scripts/tours/flinter-demo.tour): "Analyzer" on each sample
#   (the verdicts are printed), "Spam" on one message (the forward in the
#   Outbox is printed), Settings opened and saved, the Calendar and back. In an
#   Outlook 2016 with the ribbon (scripts/tours/flinter-ribbon-demo.tour): the
#   group on the Home tab, and "Analyzer", "Spam" and "Settings" clicked there.
#   Pictures of each step land in build/demo/; a one-line summary ends it.
#   Exit status 0 when every step of both succeeded.
# FLINTER_DEMO_FLAVOUR=x86 runs the 32-bit build instead of the 64-bit one.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavour=${FLINTER_DEMO_FLAVOUR:-x64}
addin=$root/dist/$flavour/QAV_Flinter.dll
demo=$root/build/demo
work=$demo/outlook-$flavour

problems=()
[ -f "$addin" ] || problems+=("$addin is not built (make)")
[ -f "$root/build/$flavour/mailhost/host/simulated_outlook.exe" ] ||
  problems+=("the simulated Outlook is not built (make build)")
[ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wine ] ||
  problems+=("Wine is missing (Debian packages wine, wine32, wine64; scripts/install-deps.sh installs them)")

display_usable() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }
if ! display_usable; then
  command -v xvfb-run >/dev/null || problems+=("xvfb-run is missing (Debian package xvfb; scripts/install-deps.sh installs it)")
  command -v convert >/dev/null || problems+=("convert is missing (Debian package imagemagick; scripts/install-deps.sh installs it)")
fi
if [ ${#problems[@]} -gt 0 ]; then
  echo "make demo cannot run:" >&2
  printf '  - %s\n' "${problems[@]}" >&2
  exit 1
fi

# The add-in's settings live beside the host's executable. The last update
# check is recorded as today, so that the demo asks no web server; the rest
# keeps the add-in's defaults until the Settings step saves them.
mkdir -p "$work"
today=$(( $(date +%s) / 86400 + 25569 ))   # days since 30 Dec 1899
printf '[general]\r\nlld=%s\r\nupd=0\r\n' "$today" >"$work/settings.ini"

if display_usable; then
  echo "The simulated Outlook with QAV_Flinter on $DISPLAY ($flavour): close its window to end."
  exec bash "$root/scripts/outlook-tour.sh" --flavour "$flavour" --interactive --addin "$addin" "$root/samples"
fi

echo "No usable display: the scripted tours under Xvfb ($flavour), in Outlook 2003 and in Outlook 2016."
log=$demo/tour-$flavour.log
ribbon_log=$demo/tour-ribbon-$flavour.log
status=0
# Everything goes to the logs; the screen is spared Outlook's closing call log.
play() {   # TOUR LOG [--keep-pictures]
  bash "$root/scripts/outlook-tour.sh" --flavour "$flavour" --addin "$addin" \
    --tour "$root/scripts/tours/$1" ${3:-} "$root/samples" 2>&1 | tee "$2" |
    awk -v logfile="build/demo/$(basename "$2")" '
      /^Outlook has quit; its calls/ { skipping = 1; print "Outlook has quit (its call log: " logfile ")"; next }
      skipping && /^  / { next }
      { skipping = 0; print }'
}
play flinter-demo.tour "$log" || status=$?
play flinter-ribbon-demo.tour "$ribbon_log" --keep-pictures || status=$?

# The connection life cycle the host went through with the add-in, from its call log.
echo "The add-in's life cycle, as the simulated Outlook called it:"
grep -E '^  addin [^ ]+\.On[A-Za-z]+' "$log" | sed 's/^  addin /  /' || echo "  (no add-in call in the log)"

verdicts=$(grep -c '^\[Message Information\]' "$log" || true)
forwards=$(grep -c 'Subject: \[\*SPAM\*\]' "$log" || true)
ribbon_verdicts=$(grep -c '^\[Message Information\]' "$ribbon_log" || true)
ribbon_forwards=$(grep -c 'Subject: \[\*SPAM\*\]' "$ribbon_log" || true)
saved=no
grep -qi '^email=' "$work/settings.ini" && saved=yes
pictures=$(cd "$demo" && ls -- *.png 2>/dev/null | wc -l)
outcome="every step of both tours succeeded"
[ "$status" -eq 0 ] || outcome="a step FAILED (see above)"
echo "demo ($flavour): toolbar: $verdicts verdicts shown, $forwards forward in the Outbox; ribbon: $ribbon_verdicts verdict shown, $ribbon_forwards forward in the Outbox; settings saved: $saved, $pictures pictures in build/demo/; $outcome"
exit "$status"
