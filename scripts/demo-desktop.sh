#!/usr/bin/env bash
# Shows the desktop program Corvadesk under Wine, so that it can be seen
# without Windows (scripts/demo.sh --desktop runs this):
#   - builds the Win64 programs if needed;
#   - runs the program in a private copy of the Wine prefix whose only drive
#     is C: (no Z: for the whole Linux file system, no links to the Linux
#     home) with sample files on its Desktop, so that nothing outside the
#     copy can be locked or shredded (scripts/desktop-prefix.sh);
#   - on the current display when DISPLAY is set (the copy is removed when
#     the program ends), otherwise on a private Xvfb display, where it saves
#     a screenshot of the first window to build/screenshots/demo-desktop.png
#     and stops.
# The first start asks for a new password (the setup wizard), then for the
# password itself.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
cd "$root"
"$here/bootstrap.sh"
. "$here/env.sh"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Corvadesk >/dev/null
app=$root/build/win64/bin/desktop

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corva-demo.XXXXXX")
xvfb=
cleanup() {
  WINEPREFIX=$scratch/prefix wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
prefix=$("$here/desktop-prefix.sh" "$CORVA_WINEPREFIX" "$scratch")
mkdir -p "$prefix/drive_c/Corvastine"
cp -r "$app/." "$prefix/drive_c/Corvastine/"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ -n "${DISPLAY:-}" ]; then
  echo "Corvadesk runs on $DISPLAY; the sample files are on its Desktop. Close it to end the demo."
  wine 'C:\Corvastine\Corvadesk.exe'
  exit 0
fi

Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp > "$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$scratch/display")"
wine 'C:\Corvastine\Corvadesk.exe' &
# Waits until the first window (the setup wizard) has been drawn: the
# screen is no longer one colour.
mkdir -p "$root/build/screenshots"
shot=$root/build/screenshots/demo-desktop.png
for _ in $(seq 1 60); do
  sleep 1
  import -window root "$shot" 2>/dev/null || continue
  colours=$(convert "$shot" -format '%k' info: 2>/dev/null || echo 1)
  [ "$colours" -gt 20 ] && break
done
echo "No display was set: Corvadesk ran on a private one. Its first window: $shot"
