# Shared settings of the build scripts; sourced, not run.
# Versions of the Windows dependencies, built from Debian's source packages
# of the main archive. Changing a recipe bumps CORVA_DEPS_RECIPE so that the
# cache is rebuilt.
CORVA_OPENSSL_VERSION=3.0.20-1~deb12u2
CORVA_XERCES_VERSION=3.2.4+debian-1
CORVA_DEPS_RECIPE=r1
CORVA_CACHE=${CORVA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvastine}
CORVA_DEPS_DIR=$CORVA_CACHE/deps-$CORVA_DEPS_RECIPE
CORVA_WINEPREFIX=${CORVA_WINEPREFIX:-$CORVA_CACHE/wineprefix-win64}
export CORVA_CACHE CORVA_DEPS_DIR CORVA_WINEPREFIX
