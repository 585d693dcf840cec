#!/usr/bin/env bash
# Builds everything (native, native with ASan + UBSan, with ThreadSanitizer, libFuzzer
# harnesses, 32-bit and 64-bit Windows)
# and runs every test; the Windows tests run under wine on a virtual display.
set -Eeuo pipefail
cd "$(dirname "$0")/.."
# A step that fails says which one, on both streams: a log that keeps only one still shows it.
# (Not through `tee /dev/stderr`: opening that path again truncates a log file both streams
# go to, and the whole run's output before it is lost.)
say_on_both() { echo "$1"; echo "$1" >&2; }
trap 'status=$?; say_on_both "=== test-all failed (status $status) at line $LINENO: $BASH_COMMAND"
      say_on_both "=== free disk space: $(df -h --output=avail . | tail -1)"' ERR

bash scripts/install-deps.sh

export LANG=ja_JP.UTF-8
jobs=$(nproc)

# The Windows tests run in a wine prefix made afresh for this run, so nothing an earlier run
# left behind (registry, files, a half-made prefix) can change their outcome. It is built
# once here, before ctest starts programs in parallel.
# The code-page runs of Vantrel's window tests and of the host's tests share one prefix per
# code page (each prefix takes 0.7 GB or more of disk).
export WINEPREFIX="$PWD/build/wine-prefix"
export SPIHOST_WINE_BASE="$WINEPREFIX"
rm -rf "$WINEPREFIX" "$WINEPREFIX".lock "$WINEPREFIX"-cp* "$WINEPREFIX"-spihost-cp* "$WINEPREFIX"-i386*

run_preset() {
  local preset=$1
  echo "=== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" || { show_failed_tests "build/$preset"; return 1; }
}

# What each failing test printed, once more at the end of the run: ctest shows it where the
# test ended, which a log cut to its last lines no longer holds.
show_failed_tests() {
  local temporary=$1/Testing/Temporary name
  [ -f "$temporary/LastTestsFailed.log" ] || return 0
  while IFS=: read -r _ name; do
    echo "=== what $name printed ($1)"
    awk -v test="$name" '$0 ~ "Test: " test "$" {on = 1} on {print} /^Test (Passed|Failed)/ {on = 0}' \
      "$temporary/LastTest.log" | grep -v '^-*$' | tail -40
  done <"$temporary/LastTestsFailed.log"
}

run_preset native
run_preset asan
run_preset tsan
run_preset fuzz

. cmake/wine-env.sh
wine_prefix_ready
trap wine_let_go EXIT
# The Windows presets run a failing test once more ("wine-tests" in CMakePresets.json), and
# only a test that fails twice fails the run: wine itself now and then cannot start a program
# under load ("ShellExecuteEx" failing in its start-up, before any of our code runs). Both
# tries stay in the log, so a test that needed the second is seen.
# Wine needs a display for the window program's tests. Where this machine's wine runs no
# 32-bit programs, the 32-bit deliverables are built here and tested in a 32-bit Debian
# folder below, or, where that folder cannot be made, the 64-bit build is tested alone.
windows_presets="run_preset win32; run_preset win64"
codepage_build=build/win32
in_i386_root=false
if ! wine_runs_32bit; then
  codepage_build=build/win64
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$jobs"
  windows_presets="run_preset win64"
  if bash scripts/i386-root.sh ready; then
    in_i386_root=true
    echo "=== this machine's wine runs no 32-bit programs: the win32 build's tests run in a 32-bit Debian folder"
  else
    echo "=== this machine cannot run 32-bit programs: the win32 build is built, not run"
  fi
fi
# xvfb-run's own status also reflects its clean-up (an X server already gone answers 1), so
# the tests' outcome is taken from a file their shell writes when every one has passed.
windows_passed=build/windows-tests.passed
rm -f "$windows_passed"
xvfb-run -a -s "-screen 0 1024x768x24" \
  bash -c "$(declare -f run_preset show_failed_tests); jobs=$jobs; set -e; . cmake/wine-env.sh; wine_kept_up
           $windows_presets; touch $windows_passed" ||
  echo "=== xvfb-run answered $? after the Windows tests"
if [ ! -f "$windows_passed" ]; then
  say_on_both "=== the Windows tests did not all pass"
  exit 1
fi
# The host and the writers once more under code pages 1252 and 932, with names in three scripts.
bash tests/spihost/wine-codepage.sh "$codepage_build" 1252 932
# The 32-bit build's tests and code-page runs in the 32-bit folder, in prefixes of their own
# (a 64-bit prefix is no use to a wine that runs 32-bit programs alone).
if $in_i386_root; then
  win32_passed=build/windows32-tests.passed
  rm -f "$win32_passed"
  bash scripts/i386-root.sh run "export WINEPREFIX='$WINEPREFIX-i386' SPIHOST_WINE_BASE='$WINEPREFIX-i386'
    . cmake/wine-env.sh && wine_prefix_ready &&
    xvfb-run -a -s '-screen 0 1024x768x24' bash -c '. cmake/wine-env.sh; wine_kept_up
      ctest --preset win32 -j $jobs && touch $win32_passed'
    [ -f $win32_passed ] && bash tests/spihost/wine-codepage.sh build/win32 1252 932
    status=\$?; wineserver -k; exit \$status" || {
    say_on_both "=== the 32-bit Windows tests did not all pass"
    exit 1
  }
fi
# The release folder: both Windows builds' binaries, their import tables checked.
cmake --build --preset win32 --target dist
echo "=== all builds passed their tests"
