#!/usr/bin/env bash
# The Wine session the Windows build's programs run in during a ctest run:
#   wine-session.sh PREFIX start COM5_PATH  maps COM5 to COM5_PATH (making the
#                                           prefix if need be) and starts the
#                                           session's wine server
#   wine-session.sh PREFIX run PROGRAM ...  runs a Windows program in it
#   wine-session.sh PREFIX stop             stops the server and its programs
# The server and the prefix's services write to PREFIX.log. Started by a
# test's program instead, they would hold that test's output pipe open and
# ctest would wait for them.
set -euo pipefail
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
command="$2"
shift 2

stop_server() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

case "$command" in
  run)
    exec wine "$@"
    ;;
  start)
    echo "Wine session of $WINEPREFIX, log in $WINEPREFIX.log"
    exec >>"$WINEPREFIX.log" 2>&1 </dev/null
    stop_server
    # The device manager reads HKLM\Software\Wine\Ports when the server's
    # first program starts it: the key is written (by a server of its own,
    # which makes the prefix the first time), then the session's server
    # starts afresh. A prefix saved with the key already set skips that.
    if ! grep -qxF "\"COM5\"=\"$1\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
      wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$1" /f
      stop_server
    fi
    wineserver -f -p &
    until wineserver -k0 2>/dev/null; do sleep 0.1; done
    # This first program starts the prefix's services, and with them the
    # device map that must hold COM5.
    map=$(wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM')
    echo "$map"
    [[ $map == *COM5* ]]
    ;;
  stop)
    exec >>"$WINEPREFIX.log" 2>&1 </dev/null
    stop_server
    ;;
  *)
    echo "usage: $0 PREFIX start COM5_PATH | run PROGRAM [ARGS...] | stop" >&2
    exit 2
    ;;
esac
