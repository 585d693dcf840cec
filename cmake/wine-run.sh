#!/usr/bin/env bash
# Runs a Windows program under wine for ctest. One prefix per user keeps wine's start-up
# cost to the first test; a 64-bit prefix runs 32-bit and 64-bit programs alike.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vantrel}"
. "$(dirname "$0")/wine-env.sh"
if windows_program_is_32bit "$1" && ! wine_runs_32bit; then
  echo "wine-run: this machine cannot run 32-bit programs, so not $1" >&2
  exit 1
fi
wine_prefix_ready
wine "$@"
