#!/usr/bin/env bash
# Runs a user-interface test program under Wine in a private copy of the
# project's Wine prefix, so that settings the UI tests need never touch the
# shared prefix:
#   - windows are not handed to a window manager ("Managed"=N): the test
#     display runs none, and Wine would wait two seconds for one at every
#     window that closes; Wine then draws the window frames itself;
#   - with --dpi N the display resolution is N dots per inch (LogPixels).
# The copy and its wineserver are removed when the program ends.
#   run-ui-test.sh [--dpi N] program.exe [arguments...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$here/scripts/env.sh"

dpi=96
if [ "${1:-}" = --dpi ]; then
  dpi=$2
  shift 2
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "run-ui-test.sh: no DISPLAY; start Xvfb and set DISPLAY first" >&2
  exit 2
fi
shared=${WINEPREFIX:-$CORVA_WINEPREFIX}
if [ ! -f "$shared/system.reg" ]; then
  echo "run-ui-test.sh: no Wine prefix at $shared" >&2
  exit 2
fi

private=$(mktemp -d "${TMPDIR:-/tmp}/corva-ui-prefix.XXXXXX")
cleanup() {
  WINEPREFIX=$private wineserver -k >/dev/null 2>&1 || true
  rm -rf "$private"
}
trap cleanup EXIT
cp -a "$shared/." "$private/"
rm -f "$private/wineserver"

hexdpi=$(printf '%08x' "$dpi")
stamp=$(date +%s)
sed -i "s/^\"LogPixels\"=dword:[0-9a-f]*/\"LogPixels\"=dword:$hexdpi/" "$private/user.reg" "$private/system.reg"
cat >> "$private/user.reg" <<REG

[Control Panel\\\\Desktop] $stamp
"LogPixels"=dword:$hexdpi

[Software\\\\Wine\\\\X11 Driver] $stamp
"Managed"="N"
REG

export WINEPREFIX=$private
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
status=0
wine "$@" || status=$?
exit "$status"
