#!/usr/bin/env bash
# Renders the toolkit's demo host window (a picture, frame flags 1024|16|4,
# alpha 190) under Wine on a virtual display and saves two pictures:
#   <out>/ui-demo-screen.png   what the X display shows (import -window root)
#   <out>/ui-demo-frame.png    the composed frame over a checkerboard, so the
#                              translucency and the shadow are visible
# Usage: scripts/ui-demo.sh [out-dir]   (default: build-<arch>/ui-demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
arch=$(scripts/detect-test-arch.sh)
scripts/build.sh "$arch" ui_core_test_demo_window
out=$(mkdir -p "${1:-build-$arch/ui-demo}" && cd "${1:-build-$arch/ui-demo}" && pwd)
exe="$root/build-$arch/tests/ui/core/test_demo_window.exe"

. scripts/wine-env.sh "$arch"
scripts/make-wineprefix.sh "$arch"
. scripts/start-xvfb.sh
cleanup() { quillet_stop_xvfb; }
trap cleanup EXIT

rm -f "$out/ui-demo-screen.png" "$out/ui-demo-frame.png"
QUILLET_DEMO_OUT="Z:$out/ui-demo-frame.png" QUILLET_DEMO_HOLD_MS=6000 \
  "$WINELOADER" "$exe" >"$out/ui-demo.log" 2>&1 &
demo=$!
# The frame picture is written once the window is on screen; it then stays up.
for _ in $(seq 600); do
  [ -s "$out/ui-demo-frame.png" ] && break
  kill -0 "$demo" 2>/dev/null || break
  sleep 0.1
done
sleep 0.5
import -window root -crop 460x330+80+60 "$out/ui-demo-screen.png"
wait "$demo" || { cat "$out/ui-demo.log" >&2; exit 1; }
echo "$out/ui-demo-screen.png"
echo "$out/ui-demo-frame.png"
