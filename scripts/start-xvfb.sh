# Starts Xvfb (1024x768x24) on a free display and exports DISPLAY.
#   Sourced:  . scripts/start-xvfb.sh   -> sets DISPLAY and QUILLET_XVFB_PID;
#             call quillet_stop_xvfb when done (the caller owns its EXIT trap).
#   Run:      scripts/start-xvfb.sh cmd args...  -> runs cmd with DISPLAY set,
#             stops Xvfb afterwards and exits with cmd's status.
quillet_stop_xvfb() {
  if [ -n "${QUILLET_XVFB_PID:-}" ]; then
    kill "$QUILLET_XVFB_PID" 2>/dev/null
    wait "$QUILLET_XVFB_PID" 2>/dev/null
    QUILLET_XVFB_PID=
  fi
  return 0
}

quillet_start_xvfb() {
  local fdfile n
  fdfile=$(mktemp)
  # -displayfd lets the server pick a free display number itself.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  QUILLET_XVFB_PID=$!
  for _ in $(seq 100); do
    n=$(tr -dc 0-9 < "$fdfile")
    [ -n "$n" ] && break
    kill -0 "$QUILLET_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fdfile"
  if [ -z "$n" ]; then
    echo "start-xvfb: Xvfb did not start" >&2
    quillet_stop_xvfb
    return 1
  fi
  export DISPLAY=":$n"
  export QUILLET_XVFB_PID
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -u
  quillet_start_xvfb || exit 1
  trap quillet_stop_xvfb EXIT
  "$@"
  exit $?
else
  quillet_start_xvfb
fi
