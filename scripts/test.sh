#!/usr/bin/env bash
# Sets everything up and runs every test: the native suite, the win64 suite
# under Wine (on an Xvfb display), and the warning-free win32 build.
#   scripts/test.sh            everything
#   scripts/test.sh --linux    the native suite only
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
. "$here/env.sh"
cd "$root"

linux_only=0
[ "${1:-}" = --linux ] && linux_only=1

if [ "$linux_only" = 1 ]; then "$here/bootstrap.sh" --linux-only; else "$here/bootstrap.sh"; fi

status=0
step() { echo; echo "=== $*"; }

step "linux: build"
cmake --preset linux >/dev/null
cmake --build --preset linux
step "linux: tests"
ctest --preset linux || status=1

# The threaded and the memory-handling suites again under the sanitizers.
for preset in linux-tsan linux-asan; do
  step "$preset: build and tests"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done

if [ "$linux_only" = 0 ]; then
  step "win32 (i686): build, and checks of the built code (it cannot run here)"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
  ctest --preset win32 || status=1

  step "win64: build"
  cmake --preset win64 >/dev/null
  cmake --build --preset win64

  step "win64: tests under Wine"
  # An X display for the programs that need one; the user-interface suites
  # start a display of their own each (tests/ui/run-ui-test.sh). Scratch
  # files of the tests go to build/win64/test-tmp, never into the prefix.
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n" WINEPREFIX=$CORVA_WINEPREFIX WINEDEBUG=-all
  # One wineserver for the whole run: each program then starts in ~0.1 s.
  # When one already serves the prefix it is used and left running.
  own_server=0
  if wineserver -p 2>/dev/null; then own_server=1; fi
  # Start Wine's own background services now, detached from any output:
  # started by the first test instead, they would inherit CTest's output
  # pipe and CTest would wait for them until the server ends.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot >/dev/null 2>&1 </dev/null || true
  # The suites that need a prefix of their own (windows, the desktop, the
  # setup package) copy this snapshot, taken before any test runs: the
  # prefix itself is in use by the other tests meanwhile, and a copy of it
  # could meet files that change or go as it is read.
  snapshot=$root/build/win64/prefix-snapshot
  rm -rf "$snapshot"
  mkdir -p "$snapshot"
  tar -C "$CORVA_WINEPREFIX" --exclude='./drive_c/users/*/Temp/*' --exclude='./drive_c/windows/temp/*' \
      --exclude=./wineserver -cf - . | tar -C "$snapshot" -xf - || true
  if [ -f "$snapshot/system.reg" ]; then export CORVA_PREFIX_SNAPSHOT=$snapshot; fi
  cleanup() {
    if [ "$own_server" = 1 ]; then WINEPREFIX=$CORVA_WINEPREFIX wineserver -k 2>/dev/null || true; fi
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$snapshot"
  }
  trap cleanup EXIT
  ctest --preset win64 || status=1
  cleanup
  trap - EXIT
fi

echo
if [ "$status" = 0 ]; then echo "All test suites passed."; else echo "Some tests FAILED."; fi
exit "$status"
