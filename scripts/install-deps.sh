#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need.
# Idempotent: returns quickly when all packages are already present.
set -euo pipefail

packages=(
  cmake make ninja-build g++ clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 wine32:i386 libwine-dev
  googletest dpkg-dev python3
  libjpeg-turbo-progs xvfb x11-utils imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# libjpeg-turbo is cross-built from Debian's source package (cmake/libjpeg-turbo.cmake).
deb_src=/etc/apt/sources.list.d/flinter-deb-src.sources
jpeg_cache=${FLINTER_THIRD_PARTY:-/var/cache/flinter/third_party}
need_source=no
compgen -G "$jpeg_cache/libjpeg-turbo-*/CMakeLists.txt" >/dev/null || need_source=yes
[ ${#missing[@]} -eq 0 ] && [ $need_source = no ] && exit 0

export DEBIAN_FRONTEND=noninteractive
updated=no
if [ ! -f "$deb_src" ]; then
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
    "${sudo_cmd[@]}" tee "$deb_src" >/dev/null
fi
if [ ${#missing[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq && updated=yes
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ $need_source = yes ]; then
  echo "install-deps: fetching the libjpeg-turbo source package into $jpeg_cache"
  [ $updated = yes ] || "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" mkdir -p "$jpeg_cache"
  (cd "$jpeg_cache" && "${sudo_cmd[@]}" apt-get source -qq libjpeg-turbo >/dev/null)
fi
