#!/usr/bin/env bash
# End-to-end test of the real widget: Quillet.exe under Wine on a private X
# display, in private mount and network namespaces where v1.hitokoto.cn is
# 127.0.0.1 and a fake service there holds a certificate from a test CA that
# only this run trusts.  Needs root (for the namespaces).
# Usage: scripts/e2e/run-widget-e2e.sh path/to/Quillet.exe [widget_e2e.py options...]
# (--scenario close-while-stalled closes the widget while its fetches are held;
# --scenario display-scale compares it at 96 and at 144 DPI).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$(realpath "${1:?usage: run-widget-e2e.sh Quillet.exe [options...]}")
shift

if [ -z "${QUILLET_E2E_INSIDE:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "run-widget-e2e: needs root for unshare -m -n" >&2
    exit 1
  fi
  QUILLET_E2E_INSIDE=1 exec unshare -m -n --propagation private "$0" "$exe" "$@"
fi

ip link set lo up
work=$(mktemp -d /tmp/quillet-e2e.XXXXXX)
xvfb_pid=
scaled_prefix=
cleanup() {
  [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k 2>/dev/null || true
  [ -n "$scaled_prefix" ] && WINEPREFIX="$scaled_prefix" "$WINESERVER" -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ -n "${QUILLET_E2E_KEEP:-}" ]; then echo "run-widget-e2e: kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

# A test CA, the service's certificate from it, and a look-alike from a CA nobody trusts.
cd "$work"
make_ca() {  # name
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillet $1 CA" \
    -keyout "$1-ca.key" -out "$1-ca.crt" >/dev/null 2>&1
}
make_leaf() {  # ca-name
  openssl req -newkey rsa:2048 -nodes -subj "/CN=v1.hitokoto.cn" -keyout "$1-leaf.key" -out "$1-leaf.csr" >/dev/null 2>&1
  printf 'subjectAltName=DNS:v1.hitokoto.cn\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > "$1-leaf.ext"
  openssl x509 -req -in "$1-leaf.csr" -CA "$1-ca.crt" -CAkey "$1-ca.key" -CAcreateserial -days 2 \
    -extfile "$1-leaf.ext" -out "$1-leaf.crt" >/dev/null 2>&1
}
make_ca test && make_leaf test
make_ca rogue && make_leaf rogue

printf '127.0.0.1 localhost\n127.0.0.1 v1.hitokoto.cn\n' > hosts
cat /etc/ssl/certs/ca-certificates.crt test-ca.crt > ca-bundle.crt
mount --bind hosts /etc/hosts
mount --bind ca-bundle.crt /etc/ssl/certs/ca-certificates.crt

# Own display and own Wine server inside the namespaces. The display's socket
# directory is private too: in a new network namespace Xvfb finds display :0
# free (its abstract socket is per namespace) and would replace, then on exit
# delete, the socket file of the display the other tests use, after which
# their Wine processes cannot start a desktop.
mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
fdfile="$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  n=$(tr -dc 0-9 < "$fdfile")
  [ -n "$n" ] && break
  sleep 0.1
done
[ -n "$n" ] || { echo "run-widget-e2e: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$n"

pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
case "$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')" in
  014c) arch=i686 ;;
  8664) arch=x86_64 ;;
  *) echo "run-widget-e2e: $exe is not a PE exe" >&2; exit 1 ;;
esac
export QUILLET_WINEPREFIX=${QUILLET_E2E_WINEPREFIX:-$(dirname "$exe")/e2e-wineprefix-$arch}
. "$root/scripts/wine-env.sh" "$arch"
"$root/scripts/make-wineprefix.sh" "$arch"
"$WINESERVER" -p

# The display-scale scenario also runs the widget in a second prefix at 144 DPI,
# with its own Wine server.
scaled=()
case " $* " in
  *" --scenario display-scale "*)
    scaled_prefix="$(dirname "$exe")/e2e-wineprefix-$arch-144"
    QUILLET_DPI=144 QUILLET_WINEPREFIX="$scaled_prefix" "$root/scripts/make-wineprefix.sh" "$arch"
    WINEPREFIX="$scaled_prefix" "$WINESERVER" -p
    scaled=(--scaled-prefix "$scaled_prefix" --dpi 144)
    ;;
esac

python3 "$here/widget_e2e.py" --exe "$exe" --work "$work" \
  --cert test-leaf.crt --key test-leaf.key --rogue-cert rogue-leaf.crt --rogue-key rogue-leaf.key "${scaled[@]}" "$@"
