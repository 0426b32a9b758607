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
export WINEPREFIX=${QUILLET_WINEPREFIX:-$QUILLET_ROOT/build-$QUILLET_ARCH/wineprefix}
export WINEDEBUG=${QUILLET_WINEDEBUG:--all}
# No Mono/Gecko prompts and no desktop menu entries.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
# A non-Chinese locale keeps the code honest about converting with code page 936.
export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
