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

say_on_both() { echo "$1"; echo "$1" >&2; }

# The host's tests in the prefix of one code page. A test that fails is shown on both streams
# (a log that keeps only the end of one still shows why) and run once more, so that a failure
# of the moment is told apart from a fault: the run passes only if the second attempt does,
# and says that one was needed.
run_tests_of_page() {
  mkdir -p "$build/Testing"
  local log attempt selection=(-R spihost)
  log="$(cd "$build/Testing" && pwd)/codepage-$1.log"
  for attempt in 1 2; do
    if (cd "$build" && ctest "${selection[@]}" --output-on-failure) >"$log" 2>&1; then
      cat "$log"
      [ $attempt = 1 ] || say_on_both "=== code page $1: the failed tests passed when run once more"
      return 0
    fi
    cat "$log"
    say_on_both "=== code page $1: a test of the host failed (attempt $attempt of 2); what ctest said:"
    tail -c 8000 "$log" >&2
    selection=(--rerun-failed)
  done
  return 1
}

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
    say_on_both "=== the prefix does not have code page $page"
    status=1
    continue
  fi
  run_tests_of_page "$page" || status=1
  wineserver -w || true
done
if [ $status -ne 0 ]; then
  say_on_both "=== the host's tests failed under at least one code page"
fi
exit $status
