#!/usr/bin/env bash
# Installs, on Debian 12 as root, whatever the builds and tests need and is still missing.
# Safe to run again: it only calls apt when a package is absent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git ca-certificates
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  googletest libbenchmark-dev libstb-dev zlib1g-dev libz-mingw-w64-dev liblz4-dev
  clang libclang-rt-14-dev valgrind
  wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick
  locales fonts-ipafont-gothic fonts-vlgothic
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one index (apt answers 100) though the rest is fine;
  # try once more, then go on with the lists apt has: the install below says if one is missing.
  apt-get update -qq || apt-get update -qq ||
    echo "apt-get update reported errors; installing from the package lists it has"
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    # The 32-bit libraries must match the 64-bit ones version for version, so a stale i386
    # index alone makes wine32 uninstallable. Without it the test command runs the 32-bit
    # build's tests in a 32-bit Debian folder (scripts/i386-root.sh), or the 64-bit build's
    # alone where that cannot be made; everything else must still install.
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ ${#rest[@]} -lt ${#missing[@]} ] || exit 1
    note="=== wine32 cannot be installed from these package lists: 32-bit Windows programs will not run beside the 64-bit system"
    echo "$note"
    echo "$note" >&2
    apt-get install -y -qq --no-install-recommends "${rest[@]}" >/dev/null
  fi
fi

# Wine shows code page 932 text only under a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
