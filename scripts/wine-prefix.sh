#!/usr/bin/env bash
# Creates the 64-bit Wine prefix the Windows tests run in ($CORVA_WINEPREFIX),
# once per Wine version; later runs reuse it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/env.sh"

version=$(wine --version 2>/dev/null || echo unknown)
stamp=$CORVA_WINEPREFIX/.corvastine-prefix
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
  exit 0
fi
echo "wine-prefix: creating $CORVA_WINEPREFIX ($version)"
rm -rf "$CORVA_WINEPREFIX"
mkdir -p "$(dirname "$CORVA_WINEPREFIX")"
export WINEPREFIX=$CORVA_WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wineboot --init >/dev/null 2>&1
wineserver --wait
echo "$version" > "$stamp"
