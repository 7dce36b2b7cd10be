#!/usr/bin/env bash
# Runs a user-interface test program under Wine, apart from everything else
# that runs at the same time:
#   - on an X display of its own: an Xvfb started here on a free display
#     number (chosen by the X server itself, so two runs never meet), ended
#     with the program; windows, focus and keyboard input of one run never
#     reach another;
#   - in a private copy of the project's Wine prefix, so that settings the UI
#     tests need never touch the shared prefix. The copy leaves out the
#     prefix's temporary folders, which other programs may be filling or
#     emptying meanwhile;
#   - windows are not handed to a window manager ("Managed"=N): the test
#     display runs none, and Wine would wait two seconds for one at every
#     window that closes; Wine then draws the window frames itself;
#   - with --dpi N the display resolution is N dots per inch (LogPixels);
#   - with --own-folder the program runs from a private copy of its folder,
#     so that files it keeps beside itself (the dialogs' "config.xml") are
#     its own as well.
# The copies, the display and the wineserver are removed when the program
# ends.
#   run-ui-test.sh [--dpi N] [--own-folder] program.exe [arguments...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$here/scripts/env.sh"

dpi=96
own_folder=0
while [ $# -gt 0 ]; do
  case "$1" in
    --dpi) dpi=$2; shift 2 ;;
    --own-folder) own_folder=1; shift ;;
    *) break ;;
  esac
done
program=$1
shift
# The snapshot scripts/test.sh takes before the tests start, else the prefix.
shared=${CORVA_PREFIX_SNAPSHOT:-${WINEPREFIX:-$CORVA_WINEPREFIX}}
if [ ! -f "$shared/system.reg" ]; then
  echo "run-ui-test.sh: no Wine prefix at $shared" >&2
  exit 2
fi

private=$(mktemp -d "${TMPDIR:-/tmp}/corva-ui-prefix.XXXXXX")
xvfb_pid=
cleanup() {
  WINEPREFIX=$private/prefix wineserver -k >/dev/null 2>&1 || true
  # The folder goes only once its server has ended (a new folder may take
  # its inode, and with it the server).
  WINEPREFIX=$private/prefix timeout 60 wineserver -w >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$private"
}
trap cleanup EXIT

# The display: Xvfb writes the number it took to the pipe once it accepts
# connections.
mkfifo "$private/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$private/display" >/dev/null 2>&1 &
xvfb_pid=$!
display=
read -r -t 60 display <"$private/display" || true
if [ -z "$display" ]; then
  echo "run-ui-test.sh: Xvfb did not start" >&2
  exit 2
fi
export DISPLAY=":$display"

mkdir "$private/prefix"
tar -C "$shared" --exclude='./drive_c/users/*/Temp/*' --exclude='./drive_c/windows/temp/*' \
    --exclude=./wineserver -cf - . | tar -C "$private/prefix" -xf -

hexdpi=$(printf '%08x' "$dpi")
stamp=$(date +%s)
sed -i "s/^\"LogPixels\"=dword:[0-9a-f]*/\"LogPixels\"=dword:$hexdpi/" "$private/prefix/user.reg" \
    "$private/prefix/system.reg"
cat >> "$private/prefix/user.reg" <<REG

[Control Panel\\\\Desktop] $stamp
"LogPixels"=dword:$hexdpi

[Software\\\\Wine\\\\X11 Driver] $stamp
"Managed"="N"
REG

if [ "$own_folder" = 1 ]; then
  mkdir "$private/program"
  cp -a "$(dirname "$program")/." "$private/program/"
  rm -f "$private/program/config.xml" "$private/program"/config.xml.*
  program=$private/program/$(basename "$program")
fi

export WINEPREFIX=$private/prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No debugger for a program that crashes: it would wait for a user.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winedbg.exe=d"
set +e
wine "$program" "$@" 2>&1 | tee "$private/output.txt"
status=${PIPESTATUS[0]}
set -e
[ "$status" = 0 ] || "$here/scripts/gtest-failures.sh" "$private/output.txt"
exit "$status"
