#!/usr/bin/env bash
# The demo: the header evaluation over the bundled sample messages, natively
# and through the Windows build under Wine.
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
