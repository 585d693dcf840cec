#!/usr/bin/env bash
# Runs the native host program under valgrind over every file kept in the fuzz corpora
# (seeds and regression files), through the plug-in that reads that format. Any invalid
# read or write, use of uninitialised memory or definite leak fails the test; the host's
# own exit code (the plug-in may well refuse a broken file) does not.
set -uo pipefail
host=$1
bin=$2
corpora=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

valgrind_exit=99
run() {
  valgrind -q --error-exitcode=$valgrind_exit --leak-check=full --errors-for-leak-kinds=definite \
    "$host" "$@" >/dev/null 2>"$scratch/log"
  if [ $? -eq $valgrind_exit ]; then
    echo "valgrind found errors in: spihost $*"
    cat "$scratch/log"
    return 1
  fi
}

failures=0
runs=0
check() { runs=$((runs + 1)); run "$@" || failures=$((failures + 1)); }

for file in "$corpora"/oslin/corpus/*; do
  check decode "$bin/Oslin.so" "$file" "$scratch/out.bmp"
  check decode "$bin/Oslin.so" "$file" "$scratch/out.bmp" --memory
done
for file in "$corpora"/gorsel/corpus/*; do
  check decode "$bin/Gorsel.so" "$file" "$scratch/out.bmp"
  check decode "$bin/Gorsel.so" "$file" "$scratch/out.bmp" --memory
done
for file in "$corpora"/durnac/corpus/*; do
  mkdir -p "$scratch/members"
  check extract "$bin/Durnac.so" "$file" --all --to-memory "$scratch/members"
  rm -rf "$scratch/members"
done
for file in "$corpora"/felbrin/corpus/*; do
  check list "$bin/Felbrin.so" "$file" --memory
  mkdir -p "$scratch/members"
  check extract "$bin/Felbrin.so" "$file" --all --to-dir "$scratch/members"
  rm -rf "$scratch/members"
done

echo "$((runs - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
