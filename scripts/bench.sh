#!/usr/bin/env bash
# Builds and runs the benchmarks (bench/*.cpp) for the arch that runs here.
# Usage: scripts/bench.sh [name...]   (default: every bench_* program)
# Exits non-zero only when a benchmark could not run; a missed goal is reported.
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
# Every benchmark runs to its end whatever goals the others missed. Exit codes
# (bench/outcome.h): 0 goals met, 1 a goal missed, anything else no figures.
summary=()
failed=0
# The window's size depends on the display's DPI: these also run in a second
# prefix at 144 DPI (150 %), and both scales are reported.
scaled_dpi=144
runs_scaled() { case "$1" in startup|label_changes) return 0 ;; *) return 1 ;; esac; }
for n in "${names[@]}"; do
  name=${n#bench_}
  dpis=(96)
  runs_scaled "$name" && dpis+=("$scaled_dpi")
  for dpi in "${dpis[@]}"; do
    label=$name
    [ "$dpi" != 96 ] && label="$name at $dpi DPI"
    echo "== $label"
    status=0
    QUILLET_DPI=$dpi scripts/wine-run.sh "build-$arch/bench/bench_$name.exe" || status=$?
    case $status in
      0) summary+=("$label: met") ;;
      1) summary+=("$label: missed") ;;
      *) summary+=("$label: could not run (exit code $status)"); failed=1 ;;
    esac
  done
done
echo "== summary ($arch)"
printf '%s\n' "${summary[@]}"
exit $failed
