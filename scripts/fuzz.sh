#!/usr/bin/env bash
# `make fuzz`: fuzz.sh BUILD_DIR SECONDS [TARGET...] runs each libFuzzer target
# of BUILD_DIR/fuzz (all of them by default) for SECONDS, one after the other,
# with its seeds and dictionary from fuzz/, and ends with a table of what each
# found. The corpus each run grows is kept in BUILD_DIR/corpus/TARGET for the
# next run; an input that broke something is kept in BUILD_DIR/findings/.
# The table, with the machine and its load, becomes the fuzzing section of
# docs/reliability.md. Exit status 1 when any target found something.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/page-section.sh"
build=$1
seconds=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(evaluate_header stored_definition settings_values update_page)
fi

# Seeds beyond fuzz/seeds/TARGET: the project's own files of that kind.
extra_seeds() {
  case $1 in
    evaluate_header) ls "$root"/samples/*.eml 2>/dev/null ;;
    stored_definition) ls "$root"/resources/*.def 2>/dev/null ;;
  esac
}

summary=()
found=0
before_load=$(load)
for name in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$name"
  corpus="$build/corpus/$name"
  findings="$build/findings/$name"
  log="$build/logs/$name.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  [ -d "$root/fuzz/seeds/$name" ] && cp -n "$root/fuzz/seeds/$name"/* "$corpus"/ 2>/dev/null
  for seed in $(extra_seeds "$name"); do cp -n "$seed" "$corpus"/; done
  before=$(ls "$findings" | wc -l)
  echo "fuzz.sh: $name for ${seconds}s (log: $log)"
  "$exe" -dict="$root/fuzz/$name.dict" -max_len=4096 -timeout=10 -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" > "$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2)
  after=$(ls "$findings" | wc -l)
  if [ "$status" -eq 0 ] && [ "$after" -eq "$before" ]; then
    result="nothing found"
  else
    found=1
    artifact=$(ls -t "$findings" | head -n1)
    what=$(grep -m1 -E 'invariant broken|ERROR: (AddressSanitizer|libFuzzer)|runtime error|SUMMARY' "$log")
    result="FOUND: ${what:-exit status $status} (input: $findings/$artifact)"
  fi
  summary+=("| $name | ${runs:-?} | ${cov:-?} | $(ls "$corpus" | wc -l) | $result |")
done

block=$(mktemp)
trap 'rm -f "$block"' EXIT
{
  echo "<!-- fuzzing: begin (written by make fuzz) -->"
  echo
  echo "| target, ${seconds} s each | executions | coverage (edges) | corpus | result |"
  echo "|---|---:|---:|---:|---|"
  printf '%s\n' "${summary[@]}"
  echo
  echo "Run on $(date -u '+%Y-%m-%d %H:%M') UTC: $(processor), $(clang --version | head -n1); load average" \
       "(1, 5, 15 minutes) $before_load before and $(load) after."
  echo
  echo "<!-- fuzzing: end -->"
} > "$block"
echo
sed -n '/^|/p' "$block"
splice "$root/docs/reliability.md" fuzzing "$block"
echo "fuzz.sh: the table written to docs/reliability.md"
exit $found
