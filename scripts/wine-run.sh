#!/usr/bin/env bash
# Runs a Windows exe under the Wine loader that matches its PE machine type and
# passes its exit code through. CTest uses it as the cross-compiling emulator.
set -uo pipefail
exe=${1:?usage: wine-run.sh program.exe [args...]}
shift

# e_lfanew at 0x3c points at "PE\0\0", followed by the 16-bit machine field.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
case "$machine" in
  014c) arch=i686 ;;
  8664) arch=x86_64 ;;
  *) echo "wine-run: $exe is not an i386 or x86-64 PE file" >&2; exit 126 ;;
esac

. "$(dirname "$0")/wine-env.sh" "$arch" || exit 126
"$QUILLET_ROOT/scripts/make-wineprefix.sh" "$arch" || exit 126

# Wine's helper processes (services.exe, explorer.exe, ...) outlive the exe and
# inherit its output handles; if those were CTest's pipe, CTest would wait for
# them until its timeout. So the exe writes to a file that is streamed from here.
log=$(mktemp)
"$WINELOADER" "$exe" "$@" >"$log" 2>&1 </dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -f "$log"; exit 143' INT TERM
tail -n +1 -f --pid="$pid" "$log" &
tail_pid=$!
wait "$pid"
status=$?
wait "$tail_pid"
rm -f "$log"
exit "$status"
