#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/*.cpp) for the arch that runs here.
# Usage: scripts/bench.sh [name...]   (default: every bench_* program)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
arch=$(scripts/detect-test-arch.sh)
scripts/build.sh "$arch" product
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "build-$arch"/bench/bench_*.exe; do
    [ -e "$f" ] && names+=("$(basename "$f" .exe)")
  done
fi
[ ${#names[@]} -gt 0 ] || { echo "bench: no benchmarks yet"; exit 0; }
. scripts/start-xvfb.sh
trap quillet_stop_xvfb EXIT
for n in "${names[@]}"; do
  echo "== ${n#bench_}"
  scripts/wine-run.sh "build-$arch/bench/bench_${n#bench_}.exe"
done
