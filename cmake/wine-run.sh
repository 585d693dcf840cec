#!/usr/bin/env bash
# Runs a Windows program under wine for ctest. One prefix per user keeps wine's start-up
# cost to the first test; a 64-bit prefix runs 32-bit and 64-bit programs alike.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vantrel}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
