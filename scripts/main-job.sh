#!/usr/bin/env bash
# The main job: build the Windows deliverables, make a sample FCG container and let
# Vantrel.exe split it under wine, as a user would by naming the container on its command line.
# The .gg0 files stay in out/main-job/; the script prints where they are and what the log said.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bin="$root/build/win32/bin"
work="$root/out/main-job"

if [ "${1:-}" != "--sample" ]; then
  bash scripts/install-deps.sh
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$(nproc)"
  # Every wine program of the sample runs on one display: a virtual one when there is none.
  if [ -n "${DISPLAY:-}" ]; then
    exec bash "$0" --sample
  fi
  exec timeout --kill-after=10 900 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --sample
fi

# ---- the sample, on a display
export LANG=ja_JP.UTF-8                      # wine's ANSI code page 932, as on a Japanese system
export WINEPREFIX="$HOME/.wine-vantrel-main"  # a prefix of its own: tests running beside us stay apart
wine_run="$root/cmake/wine-run.sh"
# Every wine call is bounded in time; the first one sets the prefix up, which takes a while.
run_wine() { timeout --kill-after=10 300 bash "$wine_run" "$@"; }
finish_wine() { timeout 30 wineserver -k 2>/dev/null || true; }
trap finish_wine EXIT

rm -rf "$work"
mkdir -p "$work"
cd "$work"

echo "=== making the sample container"
# Real pictures from the GGA writer when it is built; otherwise the FCG writer's own
# gradient pictures (valid GGA images too).
pictures=()
sizes=("160 120" "96 96" "200 64")
patterns=(gradient flat mixed)
for i in 0 1 2; do
  read -r w h <<<"${sizes[$i]}"
  picture="picture$((i + 1)).gga"
  if [ -x "$bin/gga_write.exe" ]; then
    run_wine "$bin/gga_write.exe" test "${patterns[$i]}" "$w" "$h" "$picture" "$((i + 1))" >/dev/null
  else
    run_wine "$bin/fcg_writer.exe" --gga "${w}x${h}" "$((i + 1))" "$picture" >/dev/null
  fi
  pictures+=("$picture")
done
run_wine "$bin/fcg_writer.exe" "sample box.fcg" "${pictures[@]}"
rm -f "${pictures[@]}"

echo "=== running Vantrel.exe on it (the window closes by itself)"
vantrel=$(run_wine winepath -w "$bin/Vantrel.exe" | tr -d '\r')
status=0
run_wine "$bin/vantrel_driver.exe" --log vantrel-log.txt --timeout 60000 "$vantrel" "sample box.fcg" || status=$?

echo "=== Vantrel's log"
if [ -f vantrel-log.txt ]; then
  cat vantrel-log.txt
  echo
fi
echo "=== files written in $work"
LC_ALL=C ls -l "$work"
if [ "$status" -ne 0 ]; then
  echo "Vantrel did not finish cleanly (driver exit code $status)" >&2
  exit 1
fi
count=$(find "$work" -maxdepth 1 -name 'fcg_*.gg0' | wc -l)
if [ "$count" -ne 3 ]; then
  echo "expected 3 .gg0 files, found $count" >&2
  exit 1
fi
echo "Main job done: Vantrel exited with code 0 and wrote $count GGA files to $work"
