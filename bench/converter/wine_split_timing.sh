#!/usr/bin/env bash
# Times the real Vantrel.exe under wine splitting a container of 64 images of 4 MiB and one of
# 16 images of 8 MiB, beside `cp` of the same container into a fresh folder timed in the same
# run (alternating, medians of RUNS). Vantrel is started by vantrel_driver with the container
# on its command line; every image is split while the window is created, so "window shown"
# is when the last file has been written. Two figures are given for Vantrel: its own timing
# line (open to last file closed, inside the program) and the driver's wall clock from
# starting the program to its window being shown (wine's process start included). A third
# program, split_floor_timing.exe, writes the same files with the same copy and nothing else
# (no names looked for, no log, no window): Vantrel over it is what Vantrel itself adds to the
# system's file calls under wine.
#
#   bash bench/converter/wine_split_timing.sh [WINDOWS_BIN_DIR] [NATIVE_BIN_DIR]
#
# WINDOWS_BIN_DIR holds Vantrel.exe, vantrel_driver.exe and split_floor_timing.exe (default build/win32/bin);
# NATIVE_BIN_DIR holds the native fcg_writer (default build/native/bin). RUNS (default 7) and
# WORK (default a fresh folder under /tmp; a folder in /dev/shm compares the work per byte
# without the disk) may be set in the environment. EARLIER, a folder holding another build's
# Vantrel.exe, times that one too, in turn with the others, so that a change is measured
# before and after in the same run.
set -euo pipefail
cd "$(dirname "$0")/../.."
winBin=$(cd "${1:-build/win32/bin}" && pwd)
nativeBin=$(cd "${2:-build/native/bin}" && pwd)
runs=${RUNS:-7}
work=${WORK:-$(mktemp -d /tmp/vantrel-split-timing.XXXXXX)}
mkdir -p "$work"
export WINEDEBUG=-all
. cmake/wine-env.sh

"$nativeBin/fcg_writer" --synthetic 64 1024x1024 "$work/c64x4.fcg" >/dev/null
"$nativeBin/fcg_writer" --synthetic 16 1448x1448 "$work/c16x8.fcg" >/dev/null
programs=("$winBin")
if [ -n "${EARLIER:-}" ]; then programs+=("$(cd "$EARLIER" && pwd)"); fi

now() { date +%s%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

for name in c64x4 c16x8; do
  container="$work/$name.fcg"
  bytes=$(stat -c %s "$container")
  cat "$container" >/dev/null  # into the page cache, as for every later run
  : >"$work/cp.txt"
  : >"$work/floor.txt"
  for p in "${!programs[@]}"; do : >"$work/log$p.txt"; : >"$work/wall$p.txt"; done
  for _ in $(seq 1 "$runs"); do
    rm -rf "$work/cp" && mkdir "$work/cp"
    start=$(now); cp "$container" "$work/cp/"; end=$(now)
    echo "$(( (end - start) / 1000 ))" >>"$work/cp.txt"  # microseconds
    rm -rf "$work/cp"

    mkdir "$work/floor"
    wine "$winBin/split_floor_timing.exe" "$(wine winepath -w "$container" 2>/dev/null | tr -d '\r')" \
      "$(wine winepath -w "$work/floor" 2>/dev/null | tr -d '\r')" | tr -d '\r' | awk '{print $1 * 1000}' >>"$work/floor.txt"
    rm -rf "$work/floor"

    for p in "${!programs[@]}"; do
      vantrel=$(wine winepath -w "${programs[$p]}/Vantrel.exe" 2>/dev/null | tr -d '\r')
      rm -rf "$work/split" && mkdir "$work/split"
      wine "$winBin/vantrel_driver.exe" --cwd "$(wine winepath -w "$work/split" 2>/dev/null | tr -d '\r')" \
        --log "$(wine winepath -w "$work/vantrel.txt" 2>/dev/null | tr -d '\r')" \
        "$vantrel" "$(wine winepath -w "$container" 2>/dev/null | tr -d '\r')" 2>"$work/driver.txt" >/dev/null
      # The timing line: "処理時間：S.mmm 秒"; the sizes of all lines: "サイズ：N".
      seconds=$(grep -o '処理時間：[0-9.]*' "$work/vantrel.txt" | grep -o '[0-9.]*$')
      written=$(grep -o 'サイズ：[0-9]*' "$work/vantrel.txt" | grep -o '[0-9]*$' | awk '{s+=$1} END {print s}')
      echo "$seconds" | awk '{print $1 * 1000000}' >>"$work/log$p.txt"
      # (a driver that does not say when the window was shown leaves this figure out)
      wall=$(grep -o 'shown after [0-9.]*' "$work/driver.txt" | grep -o '[0-9.]*$' || true)
      if [ -n "$wall" ]; then echo "$wall" | awk '{print $1 * 1000}' >>"$work/wall$p.txt"; fi
      rm -rf "$work/split"
    done
  done
  cpUs=$(median <"$work/cp.txt")
  floorUs=$(median <"$work/floor.txt")
  for p in "${!programs[@]}"; do
    label=Vantrel.exe; [ "$p" = 0 ] || label="earlier Vantrel.exe"
    logUs=$(median <"$work/log$p.txt"); wallUs=$(median <"$work/wall$p.txt")
    awk -v n="$name" -v t="$label" -v b="$bytes" -v w="$written" -v c="$cpUs" -v l="$logUs" -v a="$wallUs" -v f="$floorUs" 'BEGIN {
      cp = b / c; own = w / l; floor = w / f;
      printf "%s: cp %.0f MB/s | file calls alone %.0f MB/s = %.2f x cp", n, cp, floor, floor / cp
      printf " | %s split (own timing) %.0f MB/s = %.2f x cp = %.2f x the file calls alone", t, own, own / cp, own / floor
      if (a > 0) printf " | window shown %.0f MB/s = %.2f x cp", w / a, w / a / cp
      printf "\n" }'
  done
done
[ -n "${WORK:-}" ] || rm -rf "$work"
