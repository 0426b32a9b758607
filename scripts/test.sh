#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine on a virtual display.
# Tests run for the arch this machine can execute (see detect-test-arch.sh);
# the shipped 32-bit Quillet.exe is always built as well.
# Extra arguments go to CTest (scripts/test.sh -R fetch --schedule-random).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
arch=$(scripts/detect-test-arch.sh)
echo "== test arch: $arch"

echo "== building build-$arch"
scripts/build.sh "$arch" all
if [ "$arch" != i686 ]; then
  echo "== building build-i686 (shipped exe)"
  scripts/build.sh i686 product
fi

. scripts/wine-env.sh "$arch"
scripts/make-wineprefix.sh "$arch"

. scripts/start-xvfb.sh
# A persistent wineserver makes each test exe start quickly.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null
cleanup() {
  "$WINESERVER" -k 2>/dev/null || true
  quillet_stop_xvfb
}
trap cleanup EXIT
echo "== running tests (DISPLAY=$DISPLAY, WINEPREFIX=$WINEPREFIX)"

cd "build-$arch"
status=0
ctest --output-on-failure --no-label-summary -j"${QUILLET_TEST_JOBS:-2}" "$@" || status=$?
exit $status
