#!/usr/bin/env bash
# Builds Quillet and shows it: on $DISPLAY when one is set, else on a virtual
# display. After a few seconds it saves a screenshot, prints its path and stops
# the widget.  --wait: leave the widget running until it is closed instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
wait_for_close=0
[ "${1:-}" = --wait ] && wait_for_close=1

scripts/install-deps.sh
# The shipped exe is 32-bit; on a machine that cannot execute 32-bit code the
# same sources are built for x86-64 as well and that exe is the one shown.
scripts/build.sh i686 product
arch=$(scripts/detect-test-arch.sh)
[ "$arch" = i686 ] || scripts/build.sh "$arch" product
exe="$root/build-$arch/Quillet.exe"
[ -f "$exe" ] || { echo "run: $exe was not built (is app/main.cpp there?)" >&2; exit 1; }

. scripts/wine-env.sh "$arch"
scripts/make-wineprefix.sh "$arch"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run: using display $DISPLAY"
else
  . scripts/start-xvfb.sh
  echo "run: using virtual display $DISPLAY"
  [ "$wait_for_close" = 0 ] || { echo "run: --wait needs a real display" >&2; wait_for_close=0; }
fi
cleanup() {
  "$WINESERVER" -k 2>/dev/null || true
  if declare -F quillet_stop_xvfb >/dev/null; then quillet_stop_xvfb; fi
}
trap cleanup EXIT

(cd "$(dirname "$exe")" && exec "$WINELOADER" "$exe" >/dev/null 2>&1 </dev/null) &
pid=$!
sleep "${QUILLET_RUN_SECONDS:-5}"
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" && status=0 || status=$?
  echo "run: Quillet exited early with status $status" >&2
  exit 1
fi

shot="$root/build-$arch/screenshot.png"
import -window root "$shot"
echo "run: screenshot saved to $shot"

if [ "$wait_for_close" = 1 ]; then
  echo "run: close the widget to finish"
  wait "$pid" || true
fi
