#!/usr/bin/env bash
# check-pe.sh OBJDUMP FORMAT FILE...
# Fails unless every FILE is a PE image of FORMAT (pei-i386 or pei-x86-64) that
# imports system DLLs only: the runtime must be linked in statically.
set -euo pipefail
objdump=$1 format=$2; shift 2
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|msvcrt|shell32|shlwapi|wininet|comctl32|comdlg32|riched20|msftedit|mapi32|psapi|version|uuid|ws2_32|crypt32|bcrypt|secur32|winmm|ntdll|imm32|uxtheme)\.dll$'
status=0
for file in "$@"; do
  dump=$("$objdump" -p "$file")
  if ! grep -q "file format $format" <<<"$dump"; then
    echo "FAIL $file: not $format"; status=1; continue
  fi
  while read -r dll; do
    lower=$(tr 'A-Z' 'a-z' <<<"$dll")
    if [[ ! $lower =~ $allowed ]]; then echo "FAIL $file imports $dll"; status=1; fi
  done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
  [ $status -eq 0 ] && echo "ok   $file ($format): $(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr '\n' ' ')"
done
exit $status
