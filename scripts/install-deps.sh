#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need,
# and unpacks Debian's libjpeg-turbo source package, which the Windows builds
# cross-compile (cmake/libjpeg-turbo.cmake). Idempotent: returns at once, and
# without touching the network, when everything is present. Runs itself as
# root (through sudo) only when there is something to install.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
  cmake make ninja-build g++ clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 wine32:i386 libwine-dev
  googletest dpkg-dev python3
  libjpeg-turbo-progs xvfb x11-utils imagemagick
  wixl msitools
)

# The source package the Windows builds take libjpeg from. Its version is the
# one Debian's sources give; the unpacked tree records it in debian/changelog.
jpeg_package=libjpeg-turbo
cache=${FLINTER_THIRD_PARTY:-/var/cache/flinter/third_party}
jpeg_tree=$cache/$jpeg_package

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
need_source=no
[ -f "$jpeg_tree/CMakeLists.txt" ] || need_source=yes
[ ${#missing[@]} -eq 0 ] && [ $need_source = no ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=FLINTER_THIRD_PARTY bash "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d)
download=
trap 'rm -rf "$work" ${download:+"$download"}' EXIT

# deb-src entries for Debian's packages: the machine's own when it has some,
# otherwise copies of its Debian deb entries (mirror, proxy, keys and options as
# configured). Sets sources_changed=yes when it changed apt's sources.
sources_changed=no
configure_deb_src() {
  local parts ours=flinter-deb-src kind machines_own
  eval "$(apt-config shell parts Dir::Etc::sourceparts/d)"
  machines_own=$(apt-get indextargets --format '$(SOURCESENTRY)' 'Target-Of: deb-src' 'Origin: Debian' |
                 grep -v "/$ours\.[a-z]*:[0-9]*\$" || true)
  [ -n "$machines_own" ] || python3 "$here/deb-src-entries.py" "$work"
  for kind in list sources; do
    if [ -f "$work/$ours.$kind" ]; then
      if ! cmp -s "$work/$ours.$kind" "$parts$ours.$kind"; then
        install -m 644 "$work/$ours.$kind" "$parts$ours.$kind"
        sources_changed=yes
      fi
    elif [ -e "$parts$ours.$kind" ]; then
      rm -f "$parts$ours.$kind"
      sources_changed=yes
    fi
  done
}

# fetch_source PACKAGE TREE: the source package as `apt-get source` gives it,
# every downloaded file checked against the hash from the signed index, the
# unpacked tree checked against the .dsc's name and version, then moved to TREE.
fetch_source() {
  local package=$1 tree=$2 dsc version
  mkdir -p "$(dirname "$tree")"
  download=$(mktemp -d "$(dirname "$tree")/.fetch.XXXXXX")
  # Downloads run as apt's unprivileged user where it exists.
  if id _apt >/dev/null 2>&1; then chown _apt "$download"; fi
  cd "$download"
  apt-get source --print-uris -qq "$package" |
    sed -n "s/^'[^']*' \([^ ]*\) [0-9]* SHA256:\([0-9a-f]*\)\$/\2  \1/p" >"$work/expected.sha256"
  dsc=$(sed -n 's/^[0-9a-f]*  \(.*\.dsc\)$/\1/p' "$work/expected.sha256")
  if [ -z "$dsc" ]; then
    echo "install-deps: apt gives no SHA256-checked source for $package" >&2
    exit 1
  fi
  apt-get source --download-only -qq "$package" >/dev/null
  sha256sum --check --quiet --strict "$work/expected.sha256"
  version=$(sed -n 's/^Version: //p' "$dsc")
  # Without Debian's maintainer keyring the .dsc's own signature cannot be read;
  # its hash, checked above, comes from the signed index.
  if ! dpkg-source --require-strong-checksums -x "$dsc" tree >"$work/unpack.log" 2>&1; then
    cat "$work/unpack.log" >&2
    exit 1
  fi
  if [ "$(dpkg-parsechangelog -l tree/debian/changelog -S Source)" != "$package" ] ||
     [ "$(dpkg-parsechangelog -l tree/debian/changelog -S Version)" != "$version" ] ||
     [ ! -f tree/CMakeLists.txt ]; then
    echo "install-deps: the unpacked $dsc is not $package $version" >&2
    exit 1
  fi
  # Renamed in one step, so that a concurrent run never sees half a tree.
  [ -d "$tree" ] || mv -T tree "$tree"
  echo "install-deps: $package $version unpacked in $tree"
}

updated=no
if [ ${#missing[@]} -gt 0 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  echo "install-deps: installing ${missing[*]}"
  apt-get update -qq && updated=yes
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ $need_source = yes ]; then
  echo "install-deps: fetching the $jpeg_package source package"
  [ $updated = yes ] || apt-get update -qq
  configure_deb_src
  if [ $sources_changed = yes ]; then apt-get update -qq; fi
  fetch_source "$jpeg_package" "$jpeg_tree"
fi
