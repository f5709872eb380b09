#!/usr/bin/env bash
# `make bench` and `make hostile`: bench.sh [--page=FILE] [--by=COMMAND]
# [--compare] [--sizes=DIR] PROGRAM... where each PROGRAM is a program's path
# under build/<flavour>/ without ".exe". Runs each for x86 and x64 under Wine,
# shows what it prints (markdown) and puts that into its own section of the
# page (docs/benchmarks.md unless --page says otherwise), between
# "<!-- NAME: begin -->" and "<!-- NAME: end -->" (added at the end of the page
# the first time), noting the machine and its load. --compare adds to each
# section its figures as the page held them before the run, with the ratio
# now / before (scripts/bench-compare.py), and names at the end what moved past
# 1.25x the same way in both flavours. --sizes=DIR adds the section
# "deliverable_sizes": the size of each file in DIR/x86 and DIR/x64. The exit
# status is 1 when any run failed; its section is written all the same.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
page="$root/docs/benchmarks.md"
by="make bench"
sizes=""
compare=false
while [ $# -gt 0 ]; do
  case $1 in
    --page=*) page="$root/${1#--page=}"; shift ;;
    --by=*) by="${1#--by=}"; shift ;;
    --compare) compare=true; shift ;;
    --sizes=*) sizes="$root/${1#--sizes=}"; shift ;;
    *) break ;;
  esac
done
source "$root/scripts/wine-env.sh"
source "$root/scripts/page-section.sh"

machine() { echo "$(processor), $("$FLINTER_WINE64" --version)"; }

block=$(mktemp)
previous=$(mktemp)
moved=$(mktemp)
trap 'rm -f "$block" "$previous" "$moved"; bash "$root/scripts/wine-prefix.sh" stop' EXIT
status=0

# section NAME: the page's section NAME as it stands, into $previous.
section() {
  if [ -f "$page" ]; then
    awk -v name="$1" '$0 ~ "^<!-- " name ": begin" { on = 1 } on { print } $0 ~ "^<!-- " name ": end" { on = 0 }' \
      "$page" > "$previous"
  else
    : > "$previous"
  fi
}

# compared: the figures of $previous beside those of $block, when asked for.
compared() {
  if $compare; then
    python3 "$root/scripts/bench-compare.py" "$previous" "$block" 2>>"$moved"
  fi
}
for program in "$@"; do
  name=$(basename "$program")
  section "$name"
  before=$(load)
  echo "<!-- $name: begin (written by $by) -->" > "$block"
  echo >> "$block"
  for arch in x86 x64; do
    bash "$root/scripts/wine-run.sh" "$arch" "$root/build/$arch/$program.exe" | tee -a "$block" || status=1
  done
  compared > "$block.compared"
  cat "$block.compared"
  {
    cat "$block.compared"
    echo "Run on $(date -u '+%Y-%m-%d %H:%M') UTC: $(machine); load average (1, 5, 15 minutes)" \
         "$before before and $(load) after."
    echo
    echo "<!-- $name: end -->"
  } >> "$block"
  rm -f "$block.compared"
  splice "$page" "$name" "$block"
  echo "bench.sh: $name written to ${page#"$root"/}"
done

# size_cell FILE: its size in bytes and in MiB.
size_cell() {
  if [ -f "$1" ]; then
    local bytes; bytes=$(stat -c %s "$1")
    awk -v b="$bytes" 'BEGIN { printf "%d (%.2f MiB)", b, b / 1048576 }'
  else
    echo "missing"
  fi
}

if [ -n "$sizes" ]; then
  section deliverable_sizes
  {
    echo "<!-- deliverable_sizes: begin (written by $by) -->"
    echo
    echo "| stripped deliverable, bytes | x86 | x64 |"
    echo "|---|---:|---:|"
    for file in $(ls "$sizes/x86" "$sizes/x64" | grep -v ':$' | sort -u); do
      echo "| $file | $(size_cell "$sizes/x86/$file") | $(size_cell "$sizes/x64/$file") |"
    done
    echo
  } > "$block"
  compared > "$block.compared"
  {
    cat "$block.compared"
    echo "Written on $(date -u '+%Y-%m-%d %H:%M') UTC from ${sizes#"$root"/}/."
    echo
    echo "<!-- deliverable_sizes: end -->"
  } >> "$block"
  rm -f "$block.compared"
  cat "$block"
  splice "$page" deliverable_sizes "$block"
fi
if $compare; then
  if [ -s "$moved" ]; then
    echo "bench.sh: moved past 1.25x the same way in x86 and x64 since the page's previous figures:"
    sed 's/^bench-compare: /  /' "$moved"
  else
    echo "bench.sh: no figure moved past 1.25x the same way in x86 and x64 since the page's previous figures"
  fi
fi
exit $status
