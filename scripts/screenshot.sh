#!/usr/bin/env bash
# Takes a screenshot of Vantrel's window under a virtual display: the banner and the lines of
# one converted container, under the system locale asked for. Prints the path of the PNG.
#
#   bash scripts/screenshot.sh [--locale LOCALE]
#
# LOCALE is the Unix locale wine takes its ANSI code page from: ja_JP.UTF-8 (code page 932,
# the default) or C.UTF-8 (code page 1252), or any other installed one. The window must read
# the same under each. VANTREL_BIN names a folder holding Vantrel.exe, vantrel_driver.exe and
# fcg_writer.exe to use instead of building the win32 preset.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

locale=ja_JP.UTF-8
inside=
while [ $# -gt 0 ]; do
  case $1 in
    --locale) locale=$2; shift 2 ;;
    --inside) inside=1; shift ;;
    *) echo "usage: bash scripts/screenshot.sh [--locale LOCALE]" >&2; exit 2 ;;
  esac
done
tag=$(echo "$locale" | tr -c 'A-Za-z0-9\n' '-')
. "$root/cmake/wine-env.sh"
# The 64-bit build where this machine cannot run 32-bit programs.
preset=win32
wine_runs_32bit || preset=win64
work="$root/out/screenshot-$tag"

if [ -z "$inside" ]; then
  if [ -z "${VANTREL_BIN:-}" ]; then
    bash scripts/install-deps.sh >&2
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Vantrel vantrel_driver fcg_writer -j "$(nproc)" >&2
  fi
  exec timeout --kill-after=10 600 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside --locale "$locale"
fi

# ---- on the virtual display
bin="${VANTREL_BIN:-$root/build/$preset/bin}"
export LANG=$locale LC_ALL=$locale              # wine's ANSI code page follows the locale
export WINEPREFIX="$HOME/.wine-vantrel-shot-$tag"  # a prefix of its own for the font settings below
wine_run="$root/cmake/wine-run.sh"
run_wine() { timeout --kill-after=10 300 bash "$wine_run" "$@"; }
trap wine_let_go EXIT

rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The log asks for the "Terminal" face with the Shift-JIS character set. Wine's own Terminal
# has no Japanese glyphs, so that face is replaced by a Japanese monospaced font. VL Gothic
# keeps "_" inside its line; IPA Gothic draws it below the line, where the next line's
# background covers it, so it is only the fallback.
face="IPAGothic"
fc-list | grep -q 'VL Gothic' && face="VL Gothic"
cat > fonts.reg <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Terminal"="$face"
REG
run_wine regedit fonts.reg >/dev/null 2>&1

# A container named in three scripts, as a user of any locale may have.
name="写真 Ωμέγα 사진.fcg"
run_wine "$bin/fcg_writer.exe" --synthetic 1 64x48 sample.fcg >/dev/null
mv sample.fcg "$name"
vantrel=$(run_wine winepath -w "$bin/Vantrel.exe" | tr -d '\r')

# Vantrel splits the container named on its command line while its window is created; the
# driver reads the log back (the signal that the window is up) and keeps it open a while.
rm -f log.txt
run_wine "$bin/vantrel_driver.exe" --log log.txt --hold 8000 --size 520x320 --timeout 60000 "$vantrel" "$name" &
driver=$!
for _ in $(seq 1 600); do
  [ -s log.txt ] && break
  sleep 0.1
done
sleep 3  # let the window resize and paint
window=$(xwininfo -root -tree 2>/dev/null | awk '/"Vantrel"/ {print $1; exit}')
if [ -n "$window" ]; then
  import -window "$window" vantrel.png
else
  import -window root vantrel.png
fi
wait "$driver" || true
echo "$work/vantrel.png"
