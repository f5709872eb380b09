#!/usr/bin/env bash
# The demo: the header evaluation over the bundled sample messages, natively
# and through the Windows build under Wine; then the add-in itself, registered
# with regsvr32 in a prefix of its own and started by the simulated Outlook.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root/samples"
for sample in *.eml; do
  echo "==> $sample ($(sed -n 's/^Subject: //p' "$sample" | head -1 | tr -d '\r'))"
  "$root/dist/linux/flinter-analyze" --decimal-separator=. "$sample"
  echo
done
echo "==> the same evaluation from the Windows build (x64, under Wine), as JSON"
"$root/scripts/wine-run.sh" x64 "$root/dist/x64/flinter-analyze.exe" --json --decimal-separator=. 01-spam.eml
bash "$root/scripts/wine-prefix.sh" stop

echo
echo "==> the add-in in Outlook (x64, the simulated Outlook, under Wine in build/demo-prefix)"
export FLINTER_WINEPREFIX="$root/build/demo-prefix"
bash "$root/scripts/wine-prefix.sh" ensure
source "$root/scripts/wine-env.sh"
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
outlook="$root/build/x64/tools/outlook_demo/outlook_demo.exe"
trap 'bash "$root/scripts/wine-prefix.sh" stop' EXIT
"$FLINTER_WINE64" "$outlook" install
echo "Outlook (simulated) installed: Outlook.Application is registered"
"$FLINTER_WINE64" regsvr32 /s "$(windows_path "$root/dist/x64/QAV_Flinter.dll")"
echo "regsvr32 QAV_Flinter.dll: registered"
"$FLINTER_WINE64" "$outlook" start "$(windows_path "$root/samples")"
