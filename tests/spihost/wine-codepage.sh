#!/usr/bin/env bash
# Runs the host's and the writers' tests of a Windows build under wine with the system ANSI
# code page 1252 (LANG=C.UTF-8) and 932 (LANG=ja_JP.UTF-8), each in a prefix of its own
# made fresh for the locale, so that names in Japanese, Greek and Korean meet both.
#
#   bash tests/spihost/wine-codepage.sh BUILD_DIR [1252|932]...     (default: both)
set -euo pipefail

build=${1:?usage: wine-codepage.sh BUILD_DIR [1252|932]...}
shift
pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=(1252 932)

locale_of() {
  case "$1" in
    1252) echo C.UTF-8 ;;
    932) echo ja_JP.UTF-8 ;;
    *) echo "unknown code page $1" >&2; exit 1 ;;
  esac
}

. "$(dirname "$0")/../../cmake/wine-env.sh"

status=0
for page in "${pages[@]}"; do
  lang=$(locale_of "$page")
  prefix="${SPIHOST_WINE_BASE:-$HOME/.wine-spihost}-cp$page"
  export LANG="$lang" LC_ALL="$lang" WINEPREFIX="$prefix"
  wine_prefix_ready || { status=1; continue; }
  acp=$({ wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null ||
          true; } | tr -d '\r' | awk '$1 == "ACP" {print $3}')
  echo "== code page $page: LANG=$lang, prefix $prefix, ANSI code page of the prefix: ${acp:-?}"
  if [ "${acp:-}" != "$page" ]; then
    echo "the prefix does not have code page $page" >&2
    status=1
    continue
  fi
  (cd "$build" && ctest -R 'spihost' --output-on-failure) || status=1
  wineserver -w || true
done
if [ $status -ne 0 ]; then
  echo "=== the host's tests failed under at least one code page"
  echo "=== the host's tests failed under at least one code page" >&2
fi
exit $status
