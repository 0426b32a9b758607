#!/usr/bin/env bash
# Installs the build and test tools with apt; does nothing when all are present.
# The 32-bit Wine packages are needed only where 32-bit code can execute:
# elsewhere the suite runs 64-bit and a mirror's broken i386 index must not
# stop the build.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  binutils cmake ninja-build python3 openssl iproute2
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools googletest
  wine wine64
  xvfb xdotool x11-utils imagemagick fonts-wine fonts-wqy-microhei fonts-dejavu-core
)
packages_i386=(wine32:i386 libgnutls30:i386)

missing_from() {
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || printf '%s\n' "$p"
  done
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
updated=0
# A mirror in the middle of a sync answers with a bad index now and then:
# try again, and go on with the lists we have when it stays broken.
apt_update() {
  [ $updated -eq 1 ] && return 0
  updated=1
  local attempt
  for attempt in 1 2 3; do
    $sudo apt-get update -qq && return 0
    echo "install-deps: apt-get update failed (attempt $attempt)" >&2
    sleep $((attempt * 10))
  done
  return 0
}
apt_install() {
  local attempt
  for attempt in 1 2; do
    $sudo apt-get install -y -qq "$@" >/dev/null && return 0
    updated=0
    apt_update
  done
  $sudo apt-get install -y -qq "$@"
}

mapfile -t missing < <(missing_from binutils)
if [ ${#missing[@]} -gt 0 ]; then apt_update; apt_install binutils; fi

mapfile -t missing < <(missing_from "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  apt_update
  apt_install "${missing[@]}"
fi

if "$root/scripts/detect-test-arch.sh" --can-run-32-bit >/dev/null; then
  mapfile -t missing < <(missing_from "${packages_i386[@]}")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}" >&2
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo dpkg --add-architecture i386
      updated=0
    fi
    apt_update
    apt_install "${missing[@]}"
  fi
fi
