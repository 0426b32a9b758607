#!/usr/bin/env bash
# Installs the build and test tools with apt; does nothing when all are present.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  binutils cmake ninja-build python3 openssl iproute2
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools googletest
  wine wine64 wine32:i386 libgnutls30:i386
  xvfb xdotool x11-utils imagemagick fonts-wine fonts-wqy-microhei fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
