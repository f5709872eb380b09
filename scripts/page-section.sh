# Sourced by the scripts that write their last result into a page of docs/:
# the machine and its load, and the section between a name's markers.

load() { cut -d' ' -f1-3 /proc/loadavg; }

processor() {
  local cpu
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
  echo "${cpu:-unknown processor}, $(nproc) cores"
}

# splice PAGE NAME BLOCK: replaces the lines from "<!-- NAME: begin" to
# "<!-- NAME: end" in PAGE by the file BLOCK, or appends BLOCK under a
# heading NAME when the page has no such section.
splice() {
  local page=$1 name=$2 block=$3
  if [ -f "$page" ] && grep -q "^<!-- $name: begin" "$page"; then
    awk -v name="$name" -v block="$block" '
      $0 ~ "^<!-- " name ": begin" { while ((getline line < block) > 0) print line; close(block); skipping = 1; next }
      skipping { if ($0 ~ "^<!-- " name ": end") skipping = 0; next }
      { print }' "$page" > "$page.new"
  else
    { if [ -f "$page" ]; then cat "$page"; fi
      printf '\n## %s\n\n' "$name"
      cat "$block"; } > "$page.new"
  fi
  mv "$page.new" "$page"
}
