#!/usr/bin/env bash
# `make bench`: bench.sh PROGRAM... where each PROGRAM is a benchmark's path
# under build/<flavour>/ without ".exe". Runs each for x86 and x64 under Wine
# and puts what it prints (markdown) into its own section of docs/benchmarks.md,
# between "<!-- NAME: begin -->" and "<!-- NAME: end -->" (added at the end of
# the page the first time), noting the machine and its load. Figures only:
# nothing is asserted.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
page="$root/docs/benchmarks.md"
source "$root/scripts/wine-env.sh"

load() { cut -d' ' -f1-3 /proc/loadavg; }

machine() {
  local cpu
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
  echo "${cpu:-unknown processor}, $(nproc) cores, $("$FLINTER_WINE64" --version)"
}

# Replaces the section's block in the page by the file $2, or appends it.
splice() {
  local name=$1 block=$2
  if [ -f "$page" ] && grep -q "^<!-- $name: begin" "$page"; then
    awk -v name="$name" -v block="$block" '
      $0 ~ "^<!-- " name ": begin" { while ((getline line < block) > 0) print line; close(block); skipping = 1; next }
      skipping { if ($0 ~ "^<!-- " name ": end") skipping = 0; next }
      { print }' "$page" > "$page.new"
  else
    { if [ -f "$page" ]; then cat "$page"; else echo "# Benchmarks"; fi
      printf '\n## %s\n\n' "$name"
      cat "$block"; } > "$page.new"
  fi
  mv "$page.new" "$page"
}

block=$(mktemp)
trap 'rm -f "$block"; bash "$root/scripts/wine-prefix.sh" stop' EXIT
for program in "$@"; do
  name=$(basename "$program")
  before=$(load)
  {
    echo "<!-- $name: begin (written by make bench) -->"
    echo
    for arch in x86 x64; do
      bash "$root/scripts/wine-run.sh" "$arch" "$root/build/$arch/$program.exe"
    done
    echo "Run on $(date -u '+%Y-%m-%d %H:%M') UTC: $(machine); load average (1, 5, 15 minutes)" \
         "$before before and $(load) after."
    echo
    echo "<!-- $name: end -->"
  } > "$block"
  splice "$name" "$block"
  echo "bench.sh: $name written to docs/benchmarks.md"
done
