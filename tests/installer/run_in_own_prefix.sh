#!/usr/bin/env bash
# run_in_own_prefix.sh x86|x64 PROGRAM [ARGS...]
# Runs a Windows test program in a Wine prefix of its own, build/wineprefix-<flavour>-own,
# made fresh for the run and removed after it: the installer tests install
# into Program Files and the machine's registry, which the shared prefix of
# the other tests must never see, and which must hold nothing of an earlier
# run. The fresh prefix is a copy of a template prefix that is set up once
# like the shared one (scripts/wine-prefix.sh) and never run afterwards; the
# copy shares the template's large system folders through hard links (the
# tests write nothing there), which takes a second.
set -euo pipefail
flavour=$1; shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
scripts=$root/scripts
template=$root/build/wineprefix-template
own=$root/build/wineprefix-$flavour-own

FLINTER_WINEPREFIX=$template bash "$scripts/wine-prefix.sh" ensure

export FLINTER_WINEPREFIX=$own
finish() {
  bash "$scripts/wine-prefix.sh" stop || true
  rm -rf "$own" "$own.lock" "$own.log"
}
finish
trap finish EXIT

mkdir -p "$own/drive_c/windows"
shopt -s dotglob
for entry in "$template"/*; do
  [ "$(basename "$entry")" = drive_c ] || cp -a "$entry" "$own/"
done
for entry in "$template"/drive_c/*; do
  [ "$(basename "$entry")" = windows ] || cp -a "$entry" "$own/drive_c/"
done
for entry in "$template"/drive_c/windows/*; do
  case $(basename "$entry") in
    system32|syswow64) cp -al "$entry" "$own/drive_c/windows/" ;;
    *) cp -a "$entry" "$own/drive_c/windows/" ;;
  esac
done
# The template's note of its own server, which the copy must not take over.
rm -f "$own/wineserver"

# wine-run.sh starts the prefix's server for a session that outlives the
# program by half a minute, so that a run killed before `finish` leaves no
# server behind for long.
status=0
bash "$scripts/wine-run.sh" "$flavour" "$@" || status=$?
exit $status
