#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing Corvastine.
#   - installs the Debian packages the build and the tests need;
#   - builds OpenSSL and Xerces-C for both Windows targets from Debian's
#     source packages into a versioned cache outside the repository;
#   - creates the Wine prefix the Windows tests run in.
# Idempotent: every step is skipped when its result is already in place, and
# nothing is printed then.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/env.sh
. "$here/env.sh"

want_windows=1
for a in "$@"; do
  case "$a" in
    --linux-only) want_windows=0 ;;
    *) echo "usage: bootstrap.sh [--linux-only]" >&2; exit 2 ;;
  esac
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(cmake g++ make ninja-build pkg-config python3 xz-utils
          libssl-dev zlib1g-dev libxerces-c-dev googletest libgtest-dev libbenchmark-dev
          gzip pigz gnupg bc wixl msitools qemu-user)
if [ "$want_windows" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
             libz-mingw-w64-dev libwine-dev wine wine64 xvfb xauth x11-utils imagemagick dpkg-dev perl)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# With their recommended packages: Wine draws the dialogs under test with the
# fonts and X libraries it recommends.
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  as_root apt-get update -q >/dev/null
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
fi

if [ "$want_windows" = 1 ]; then
  # The posix thread model gives std::thread and std::mutex on MinGW.
  for t in x86_64-w64-mingw32 i686-w64-mingw32; do
    for tool in gcc g++; do
      [ "$(readlink -f "/usr/bin/$t-$tool")" = "$(readlink -f "/usr/bin/$t-$tool-posix")" ] ||
        as_root update-alternatives --set "$t-$tool" "/usr/bin/$t-$tool-posix" >/dev/null
    done
  done
  "$here/build-deps.sh"
  "$here/wine-prefix.sh"
fi
