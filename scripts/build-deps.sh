#!/usr/bin/env bash
# Builds OpenSSL (libcrypto) and Xerces-C for the two Windows targets from
# Debian's source packages, into $CORVA_DEPS_DIR (outside the repository).
# Each finished build leaves a stamp file; a stamped build is never redone.
#
# Layout of the cache, per target triplet T:
#   openssl-<ver>/T/{include,lib}      static libcrypto, headers
#   openssl-<ver>/T/lib/libeay32.dll.a import library of libeay32.dll
#   openssl-<ver>/T/bin/libeay32.dll   libcrypto as the DLL the programs load
#   xerces-<ver>/T/{include,lib}       static Xerces-C (Windows transcoder)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/env.sh"

targets=(x86_64-w64-mingw32 i686-w64-mingw32)
jobs=$(nproc)
src_dir=$CORVA_CACHE/src
mkdir -p "$src_dir" "$CORVA_DEPS_DIR"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# Fetches and unpacks (with Debian's patches applied) one source package.
fetch_source() { # package version -> prints the unpacked folder
  local pkg=$1 ver=$2 dir=$src_dir/$1-$2
  if [ ! -f "$dir/.unpacked" ]; then
    if ! apt-cache showsrc "$pkg" 2>/dev/null | grep -q "^Version: $ver\$"; then
      # Source entries for the configured archive (main archive only).
      if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        as_root tee /etc/apt/sources.list.d/corvastine-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
      fi
      as_root apt-get update -q >/dev/null
    fi
    local dl; dl=$(mktemp -d "$src_dir/dl.XXXXXX")
    (cd "$dl" && apt-get source -q "$pkg=$ver" >/dev/null 2>&1) ||
      { echo "build-deps: could not fetch source $pkg=$ver" >&2; exit 1; }
    rm -rf "$dir"
    local unpacked; unpacked=$(find "$dl" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    mv "$unpacked" "$dir"
    rm -rf "$dl"
    touch "$dir/.unpacked"
  fi
  printf '%s\n' "$dir"
}

build_openssl() { # target
  local t=$1 prefix=$CORVA_DEPS_DIR/openssl-$CORVA_OPENSSL_VERSION/$1
  [ -f "$prefix/.done" ] && return 0
  echo "build-deps: OpenSSL $CORVA_OPENSSL_VERSION for $t"
  local src; src=$(fetch_source openssl "$CORVA_OPENSSL_VERSION")
  local b=$CORVA_CACHE/build/openssl-$t
  rm -rf "$b" "$prefix"; mkdir -p "$b"
  # OpenSSL's 32-bit x86 assembler modules do not assemble for PE/COFF with
  # this toolchain (GOT relocations); the 32-bit build uses the C code.
  local cfg=mingw64 extra=()
  [ "$t" = i686-w64-mingw32 ] && { cfg=mingw; extra=(no-asm); }
  (
    cd "$b"
    "$src/Configure" "$cfg" --cross-compile-prefix="$t-" --prefix="$prefix" --libdir=lib \
      no-shared no-tests no-dso no-engine no-ui-console "${extra[@]}" >config.log 2>&1
    make -j"$jobs" build_libs >make.log 2>&1
    make install_dev >install.log 2>&1
  ) || { echo "build-deps: OpenSSL build failed, see $b" >&2; exit 1; }
  # The programs load libcrypto as "libeay32.dll": link the static archive
  # into a DLL of that name with every symbol exported, plus its import library.
  mkdir -p "$prefix/bin"
  "$t-gcc" -shared -o "$prefix/bin/libeay32.dll" \
    -Wl,--out-implib,"$prefix/lib/libeay32.dll.a" -Wl,--export-all-symbols \
    -Wl,--whole-archive "$prefix/lib/libcrypto.a" -Wl,--no-whole-archive \
    -static -static-libgcc -lws2_32 -lcrypt32 -luser32 -ladvapi32 -lgdi32
  "$t-strip" --strip-unneeded "$prefix/bin/libeay32.dll"
  touch "$prefix/.done"
  rm -rf "$b"
}

build_xerces() { # target
  local t=$1 prefix=$CORVA_DEPS_DIR/xerces-$CORVA_XERCES_VERSION/$1
  [ -f "$prefix/.done" ] && return 0
  echo "build-deps: Xerces-C $CORVA_XERCES_VERSION for $t"
  local src; src=$(fetch_source xerces-c "$CORVA_XERCES_VERSION")
  local b=$CORVA_CACHE/build/xerces-$t
  rm -rf "$b" "$prefix"; mkdir -p "$b"
  (
    cd "$b"
    cmake -S "$src" -B . -G "Unix Makefiles" \
      -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_C_COMPILER="$t-gcc" -DCMAKE_CXX_COMPILER="$t-g++" -DCMAKE_RC_COMPILER="$t-windres" \
      -DCMAKE_FIND_ROOT_PATH="/usr/$t" -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
      -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
      -Dnetwork=OFF -Dtranscoder=windows -Dmessage-loader=inmemory -Dthreads=ON \
      >config.log 2>&1
    make -j"$jobs" xerces-c >make.log 2>&1
    # Install the library and headers only (samples and tests are not built).
    cmake -DCOMPONENT=Unspecified -P cmake_install.cmake >install.log 2>&1 || true
    test -f "$prefix/lib/libxerces-c.a" || {
      mkdir -p "$prefix/lib" "$prefix/include"
      cp src/libxerces-c*.a "$prefix/lib/libxerces-c.a"
      (cd "$src/src" && find xercesc \( -name '*.hpp' -o -name '*.c' \) -exec cp --parents {} "$prefix/include" \;)
      (cd src && find xercesc -name '*.hpp' -exec cp --parents {} "$prefix/include" \;)
    }
  ) || { echo "build-deps: Xerces-C build failed, see $b" >&2; exit 1; }
  touch "$prefix/.done"
  rm -rf "$b"
}

for t in "${targets[@]}"; do
  build_openssl "$t"
  build_xerces "$t"
done
