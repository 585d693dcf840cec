#!/usr/bin/env bash
# The main job: build the Windows deliverables, make a sample FCG container and let
# Vantrel.exe split it under wine, as a user would by naming the container on its command line.
# The .gg0 files stay in out/main-job/; the script prints where they are and what the log said.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
work="$root/out/main-job"
. "$root/cmake/wine-env.sh"
# The 32-bit deliverables, or the 64-bit ones on a machine that cannot run 32-bit programs.
preset=win32 plugin_suffix=spi
if ! wine_runs_32bit; then
  preset=win64 plugin_suffix=sph
fi
bin="$root/build/$preset/bin"

if [ "${1:-}" != "--sample" ]; then
  bash scripts/install-deps.sh
  if [ "$preset" = win64 ]; then
    echo "=== this machine cannot run 32-bit programs: the job runs the 64-bit deliverables"
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
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
wine_prefix_ready
trap wine_let_go EXIT

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
count=$(find "$work" -maxdepth 1 -name 'fcg_*.gg0' | wc -l)
if [ "$status" -ne 0 ] || [ "$count" -ne 3 ]; then
  echo "Vantrel did not finish cleanly (driver exit code $status, $count .gg0 files)" >&2
  exit 1
fi

# ---- the plug-ins, each through the host program, as a viewer loads them
spihost() { run_wine "$bin/spihost.exe" "$@"; }
plugin() { run_wine winepath -w "$bin/$1" | tr -d '\r'; }
oslin=$(plugin Oslin.$plugin_suffix)
gorsel=$(plugin Gorsel.$plugin_suffix)
durnac=$(plugin Durnac.$plugin_suffix)
felbrin=$(plugin Felbrin.$plugin_suffix)

echo "=== Oslin.$plugin_suffix: every GGA file Vantrel wrote, decoded to PNG"
for gga in fcg_*.gg0; do
  spihost picinfo "$oslin" "$gga"
  spihost decode "$oslin" "$gga" "${gga%.gg0}.png"
done

echo "=== Gorsel.$plugin_suffix: a GGD picture, decoded to PNG"
run_wine "$bin/ggdpic.exe" sample photo 320 200 sample.ggd 7 >/dev/null
spihost picinfo "$gorsel" sample.ggd
spihost decode "$gorsel" sample.ggd sample-ggd.png

echo "=== Durnac.$plugin_suffix: an MGX archive of the GGA files, listed and extracted"
# Member names in both archive formats hold at most 12 characters.
mkdir -p members
for i in 1 2 3; do cp "fcg_00000$i.gg0" "members/pic$i.gg0"; done
cp sample.ggd members/sample.ggd
(cd members && run_wine "$bin/mgxpack.exe" ../sample.mgx pic1.gg0 pic2.gg0 pic3.gg0 >/dev/null)
spihost list "$durnac" sample.mgx
mkdir -p mgx-members
spihost extract "$durnac" sample.mgx --all --to-memory mgx-members
cmp members/pic2.gg0 mgx-members/pic2.gg0

echo "=== Felbrin.$plugin_suffix: a GGD archive, listed and extracted to a folder"
(cd members && run_wine "$bin/ggdpack.exe" ../sample-archive.ggd sample.ggd pic3.gg0 >/dev/null)
spihost list "$felbrin" sample-archive.ggd
mkdir -p ggd-members
spihost extract "$felbrin" sample-archive.ggd --all --to-dir ggd-members
cmp members/sample.ggd ggd-members/sample.ggd

echo "=== files in $work"
LC_ALL=C ls -l "$work" "$work/mgx-members" "$work/ggd-members"
echo
echo "Main job done, every step on the real Windows deliverables under wine:"
echo "  Vantrel.exe split 'sample box.fcg' into $count GGA files; Oslin.$plugin_suffix decoded them to PNG;"
echo "  Gorsel.$plugin_suffix decoded sample.ggd to sample-ggd.png; Durnac.$plugin_suffix and Felbrin.$plugin_suffix listed and"
echo "  extracted their archives into mgx-members/ and ggd-members/. Results: $work"
