#!/usr/bin/env bash
# Configures (once) and builds build-<arch>.  Usage: scripts/build.sh i686|x86_64 [target...]
# Targets default to "all"; "product" is the widget and benchmarks without tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:?usage: build.sh i686|x86_64 [target...]}
shift
dir="$root/build-$arch"
build_type=${QUILLET_BUILD_TYPE:-Release}

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(all)
cmake --build "$dir" --target "${targets[@]}"
