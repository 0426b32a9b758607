#!/usr/bin/env bash
# Creates the private Wine prefix for an arch (default: the one that runs here),
# with the font replacement GDI+ needs for "宋体"/"SimSun", a font link from it
# to DejaVu Sans for the symbols the Chinese font lacks (⋯ and the like, which
# Windows draws from its linked fonts), and windows left
# unmanaged (plain Xvfb has no window manager; Wine would wait for one on every
# hide). With QUILLET_DPI=<dpi> (other than 96) the prefix is
# build-<arch>/wineprefix-<dpi> and its display answers that DPI (LogPixels,
# read by every process started after it is set). Fast when it exists.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" "${1:-}"

marker="$WINEPREFIX/.quillet-ready-3-dpi$QUILLET_DPI"
[ -f "$marker" ] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
# Parallel test exes may all get here on a fresh tree; one builds the prefix.
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$marker" ] && exit 0

rm -rf "$WINEPREFIX"
echo "make-wineprefix: creating $WINEPREFIX ($WINEARCH)" >&2
# wineboot complains about the missing 32-bit half of a win64 prefix; harmless.
"$WINELOADER" wineboot -i >/dev/null 2>&1 || true
"$WINESERVER" -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "make-wineprefix: wineboot failed" >&2; exit 1; }

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
# A font link is a multi-string: "file,face" UTF-16LE, each ended by a zero unit, then one more.
link=$(printf 'DejaVuSans.ttf,DejaVu Sans\0\0' | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
{
  printf '\xff\xfe'
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"宋体"="WenQuanYi Micro Hei"\r\n"SimSun"="WenQuanYi Micro Hei"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n"WenQuanYi Micro Hei"=hex(7):%s\r\n"宋体"=hex(7):%s\r\n"SimSun"=hex(7):%s\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n' "$link" "$link" "$link" "$QUILLET_DPI" |
    iconv -f UTF-8 -t UTF-16LE
} > "$reg"
"$WINELOADER" regedit "$reg" >/dev/null 2>&1
"$WINESERVER" -w
grep -q 'WenQuanYi Micro Hei' "$WINEPREFIX/user.reg" ||
  { echo "make-wineprefix: font replacement not in the registry" >&2; exit 1; }
grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" ||
  { echo "make-wineprefix: unmanaged-window setting not in the registry" >&2; exit 1; }
grep -q '"WenQuanYi Micro Hei"=str(7):"DejaVuSans.ttf,DejaVu Sans' "$WINEPREFIX/system.reg" ||
  { echo "make-wineprefix: font link not in the registry" >&2; exit 1; }
grep -qi "\"LogPixels\"=dword:$(printf %08x "$QUILLET_DPI")" "$WINEPREFIX/user.reg" ||
  { echo "make-wineprefix: LogPixels $QUILLET_DPI not in the registry" >&2; exit 1; }
touch "$marker"
