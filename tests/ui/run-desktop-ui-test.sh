#!/usr/bin/env bash
# Runs the desktop program's UI tests under Wine in a private prefix made by
# scripts/desktop-prefix.sh: only drive C: (no Z:, no links to the Linux
# home), sample files on the Desktop, the program's folder copied to
# C:\corva-app and the test programs to C:\corva-test. Web pages (.html),
# names ending in .corvastine (in any case) and https addresses open with a
# recorder that writes the address it was given to C:\corva-test\browser.txt;
# text files (.txt) open with Wine's notepad.
# Screenshots are copied to build/screenshots.
#   run-desktop-ui-test.sh [--dpi N] [--screen WxH] APP_DIR TEST_DIR test.exe [arguments...]
# The tests run on a private Xvfb display, 1280x1024 unless --screen says
# otherwise: on a shared one, windows of other tests running meanwhile (a
# new prefix's "updating" window, say) could take the clicks.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$here/scripts/env.sh"

dpi=96
screen=
while [ $# -gt 0 ]; do
  case $1 in
    --dpi) dpi=$2; shift 2 ;;
    --screen) screen=$2; shift 2 ;;
    *) break ;;
  esac
done
app=$1
tests=$2
program=$3
shift 3
# The snapshot scripts/test.sh takes before the tests start, else the prefix.
shared=${CORVA_PREFIX_SNAPSHOT:-${WINEPREFIX:-$CORVA_WINEPREFIX}}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corva-desk-ui.XXXXXX")
xvfb=
cleanup() {
  WINEPREFIX=$scratch/prefix wineserver -k >/dev/null 2>&1 || true
  # The folder goes only once its server has ended (a new folder may take
  # its inode, and with it the server).
  WINEPREFIX=$scratch/prefix timeout 60 wineserver -w >/dev/null 2>&1 || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

Xvfb -displayfd 1 -screen 0 "${screen:-1280x1024}x24" -nolisten tcp > "$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 600); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
  echo "run-desktop-ui-test.sh: Xvfb did not start" >&2
  exit 2
fi
export DISPLAY=":$(head -n1 "$scratch/display")"

prefix=$("$here/scripts/desktop-prefix.sh" "$shared" "$scratch" --dpi "$dpi")
drive=$prefix/drive_c
mkdir -p "$drive/corva-app" "$drive/corva-test" "$drive/corva-shots"
cp -r "$app/." "$drive/corva-app/"
cp "$tests"/*.exe "$tests"/*.dll "$drive/corva-test/" 2>/dev/null || true

stamp=$(date +%s)
cat >> "$prefix/system.reg" <<REG

[Software\\\\Classes\\\\.html] $stamp
@="CorvaTestPage"

[Software\\\\Classes\\\\.corvastine] $stamp
@="CorvaTestPage"

[Software\\\\Classes\\\\CorvaTestPage\\\\shell\\\\open\\\\command] $stamp
@="\\"C:\\\\corva-test\\\\ui_browser_recorder.exe\\" \\"%1\\""

[Software\\\\Classes\\\\.txt] $stamp
@="txtfile"

[Software\\\\Classes\\\\https\\\\shell\\\\open\\\\command] $stamp
@="\\"C:\\\\corva-test\\\\ui_browser_recorder.exe\\" \\"%1\\""
REG

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export CORVA_SCREENSHOT_DIR='C:\corva-shots'
cd "$drive"
set +e
wine "C:\\corva-test\\$(basename "$program")" "$@" 2>&1 | tee "$scratch/output.txt"
status=${PIPESTATUS[0]}
set -e
[ "$status" = 0 ] || "$here/scripts/gtest-failures.sh" "$scratch/output.txt"
mkdir -p "$here/build/screenshots"
cp "$drive/corva-shots/"*.png "$here/build/screenshots/" 2>/dev/null || true
exit "$status"
