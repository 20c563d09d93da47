#!/usr/bin/env bash
# The Wine session the Windows build's programs run in during a ctest run:
#   wine-session.sh PREFIX start COM5_PATH OWNER  maps COM5 to COM5_PATH
#                                           (making the prefix if need be) and
#                                           starts the session's wine server
#   wine-session.sh PREFIX run PROGRAM ...  runs a Windows program in it
#   wine-session.sh PREFIX stop OWNER       stops the server and its programs
# The server and the prefix's services write to PREFIX.log. Started by a
# test's program instead, they would hold that test's output pipe open and
# ctest would wait for them.
#
# One session at a time holds a prefix (the build trees of the Windows
# programs and of their comparison with the Linux ones share one): the
# session's server keeps PREFIX.lock locked, so that a second session's
# start waits for the first one's end instead of killing its programs, and
# a stop ends only the session that OWNER (the ctest run's build tree)
# started.
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
    com5="$1" owner="$2"
    echo "Wine session of $WINEPREFIX, log in $WINEPREFIX.log"
    exec 9>"$WINEPREFIX.lock"
    if ! flock -w 240 9; then
      echo "The prefix is still held by the session of $(cat "$WINEPREFIX.session" 2>/dev/null)." >&2
      exit 1
    fi
    exec >>"$WINEPREFIX.log" 2>&1 </dev/null
    # Left over from a run that ended without its stop, or from a program
    # run outside any session.
    stop_server
    # The device manager reads HKLM\Software\Wine\Ports when the server's
    # first program starts it: the key is written (by a server of its own,
    # which makes the prefix the first time), then the session's server
    # starts afresh. A prefix saved with the key already set skips that.
    if ! grep -qxF "\"COM5\"=\"$com5\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
      wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$com5" /f
      stop_server
    fi
    # The server inherits the lock; it outlives its last program by a minute,
    # so a session whose stop never came frees the prefix by itself.
    wineserver -f -p60 &
    until wineserver -k0 2>/dev/null; do sleep 0.1; done
    echo "$owner" >"$WINEPREFIX.session"
    # This first program starts the prefix's services, and with them the
    # device map that must hold COM5.
    map=$(wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM')
    echo "$map"
    [[ $map == *COM5* ]]
    ;;
  stop)
    exec >>"$WINEPREFIX.log" 2>&1 </dev/null
    # Another session holds the prefix, or this one never started.
    [ "$(cat "$WINEPREFIX.session" 2>/dev/null)" = "$1" ] || exit 0
    rm -f "$WINEPREFIX.session"
    # Not waited for: the next session's start waits for the lock, and a
    # wait here could find that session's server instead.
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 PREFIX start COM5_PATH OWNER | run PROGRAM [ARGS...] | stop OWNER" >&2
    exit 2
    ;;
esac
