#!/usr/bin/env bash
# Runs a Windows test program under wine in a prefix of its own for one system locale, so that
# the program meets the ANSI code page a user of that locale has:
#
#   run_in_locale.sh LOCALE TAG PROGRAM [ARGUMENTS...]
#
# LOCALE is the Unix locale wine takes its code page from (C.UTF-8: 1252, ja_JP.UTF-8: 932);
# TAG names the prefix, "${WINEPREFIX:-$HOME/.wine-vantrel}-TAG". The prefix is made once, under
# a lock, and the wine server is waited for before anything runs in it. The code page wine
# is expected to give is handed to the program as VANTREL_EXPECTED_ACP when TAG is cpNNN.
set -euo pipefail
locale=$1 tag=$2
shift 2
export LANG=$locale LC_ALL=$locale
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vantrel}-$tag"
. "$(dirname "$0")/../../cmake/wine-env.sh"
case $tag in cp[0-9]*) export VANTREL_EXPECTED_ACP=${tag#cp} ;; esac

wine_prefix_ready
wine "$@"
