#!/usr/bin/env bash
# Runs a Windows program under wine for ctest. One prefix per user keeps wine's start-up
# cost to the first test; a 64-bit prefix runs 32-bit and 64-bit programs alike.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vantrel}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# ctest starts several programs at once: two wines creating the same prefix race (one
# loses its server's folder), so the first caller builds it under a lock and waits for
# the wine server to finish before anyone runs in it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
