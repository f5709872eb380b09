#!/usr/bin/env bash
# `make bench` and `make hostile`: bench.sh [--page=FILE] [--by=COMMAND]
# PROGRAM... where each PROGRAM is a program's path under build/<flavour>/
# without ".exe". Runs each for x86 and x64 under Wine, shows what it prints
# (markdown) and puts that into its own section of the page (docs/benchmarks.md
# unless --page says otherwise), between "<!-- NAME: begin -->" and
# "<!-- NAME: end -->" (added at the end of the page the first time), noting
# the machine and its load. The exit status is 1 when any run failed; its
# section is written all the same.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
page="$root/docs/benchmarks.md"
by="make bench"
while [ $# -gt 0 ]; do
  case $1 in
    --page=*) page="$root/${1#--page=}"; shift ;;
    --by=*) by="${1#--by=}"; shift ;;
    *) break ;;
  esac
done
source "$root/scripts/wine-env.sh"
source "$root/scripts/page-section.sh"

machine() { echo "$(processor), $("$FLINTER_WINE64" --version)"; }

block=$(mktemp)
trap 'rm -f "$block"; bash "$root/scripts/wine-prefix.sh" stop' EXIT
status=0
for program in "$@"; do
  name=$(basename "$program")
  before=$(load)
  echo "<!-- $name: begin (written by $by) -->" > "$block"
  echo >> "$block"
  for arch in x86 x64; do
    bash "$root/scripts/wine-run.sh" "$arch" "$root/build/$arch/$program.exe" | tee -a "$block" || status=1
  done
  {
    echo "Run on $(date -u '+%Y-%m-%d %H:%M') UTC: $(machine); load average (1, 5, 15 minutes)" \
         "$before before and $(load) after."
    echo
    echo "<!-- $name: end -->"
  } >> "$block"
  splice "$page" "$name" "$block"
  echo "bench.sh: $name written to ${page#"$root"/}"
done
exit $status
