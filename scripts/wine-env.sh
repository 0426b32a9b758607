# Sourced: sets up Wine for one arch.  Usage: . scripts/wine-env.sh [i686|x86_64]
# Without an argument the arch that can execute on this machine is used.
# QUILLET_WINEPREFIX overrides the private prefix (default build-<arch>/wineprefix).
QUILLET_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUILLET_ARCH=${1:-$("$QUILLET_ROOT/scripts/detect-test-arch.sh")}
case "$QUILLET_ARCH" in
  i686)   export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
  x86_64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
  *) echo "wine-env: unknown arch '$QUILLET_ARCH'" >&2; return 2 ;;
esac
export QUILLET_ROOT QUILLET_ARCH
# /usr/bin/wine and /usr/bin/wineserver are wrappers that prefer the 32-bit
# binaries, which cannot start on a 64-bit-only kernel; name the real ones.
if [ -x /usr/lib/wine/wineserver64 ]; then
  export WINESERVER=/usr/lib/wine/wineserver64
else
  export WINESERVER=/usr/lib/wine/wineserver32
fi
# QUILLET_DPI (e.g. 144) selects a second private prefix whose display runs at
# that DPI (build-<arch>/wineprefix-<dpi>); make-wineprefix.sh sets it up.
QUILLET_DPI=${QUILLET_DPI:-96}
case "$QUILLET_DPI" in
  ''|*[!0-9]*) echo "wine-env: QUILLET_DPI must be a number, not '$QUILLET_DPI'" >&2; return 2 ;;
esac
export QUILLET_DPI
if [ "$QUILLET_DPI" = 96 ]; then
  export WINEPREFIX=${QUILLET_WINEPREFIX:-$QUILLET_ROOT/build-$QUILLET_ARCH/wineprefix}
else
  export WINEPREFIX=${QUILLET_WINEPREFIX:-$QUILLET_ROOT/build-$QUILLET_ARCH/wineprefix-$QUILLET_DPI}
fi
export WINEDEBUG=${QUILLET_WINEDEBUG:--all}
# No Mono/Gecko prompts and no desktop menu entries.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# A non-Chinese locale keeps the code honest about converting with code page 936.
export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
