#!/usr/bin/env bash
# Runs a Windows program under wine64 in the project's Wine prefix; used by
# CTest as the cross-compiling emulator. A display is taken from DISPLAY
# (the test script starts Xvfb); Wine's own diagnostics are silenced.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$here/scripts/env.sh"
export WINEPREFIX=${WINEPREFIX:-$CORVA_WINEPREFIX}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
