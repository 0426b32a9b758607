#!/usr/bin/env bash
# Renders the controls demo window (label "你好" with glow and auto contrast,
# button "获取(&G)", icon/title/close/maximise/minimise title bar, alpha 190)
# under Wine on a virtual display and saves two pictures:
#   <out>/controls-demo-screen.png   what the X display shows
#   <out>/controls-demo-frame.png    the composed frame (with alpha)
# Usage: scripts/controls-demo.sh [out-dir]   (default: build-<arch>/controls-demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
arch=$(scripts/detect-test-arch.sh)
scripts/build.sh "$arch" ui_controls_test_demo_window
out=$(mkdir -p "${1:-build-$arch/controls-demo}" && cd "${1:-build-$arch/controls-demo}" && pwd)
exe="$root/build-$arch/tests/ui/controls/test_demo_window.exe"

. scripts/wine-env.sh "$arch"
scripts/make-wineprefix.sh "$arch"
. scripts/start-xvfb.sh
cleanup() { quillet_stop_xvfb; }
trap cleanup EXIT

rm -f "$out/controls-demo-screen.png" "$out/controls-demo-frame.png"
QUILLET_CONTROLS_DEMO_OUT="Z:$out/controls-demo-frame.png" QUILLET_CONTROLS_DEMO_HOLD_MS=4000 \
  "$WINELOADER" "$exe" >"$out/controls-demo.log" 2>&1 &
demo=$!
for _ in $(seq 600); do
  [ -s "$out/controls-demo-frame.png" ] && break
  kill -0 "$demo" 2>/dev/null || break
  sleep 0.1
done
sleep 0.5
import -window root -crop 380x250+50+50 "$out/controls-demo-screen.png"
wait "$demo" || { cat "$out/controls-demo.log" >&2; exit 1; }
echo "$out/controls-demo-screen.png"
echo "$out/controls-demo-frame.png"
