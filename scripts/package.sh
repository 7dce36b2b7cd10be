#!/usr/bin/env bash
# Builds the Windows setup packages with wixl (msitools):
#   build/dist/Corvastine-<version>-x64.msi   from the win64 build
#   build/dist/Corvastine-<version>-x86.msi   from the win32 build
# The version is the project version in CMakeLists.txt.
#   scripts/package.sh [--prebuilt] [--version V] [--out DIR] [x64|x86]...
#     --prebuilt   take the programs as they are in build/<preset>/bin
#                  (default: build the programs the package holds first)
#     --version V  stamp another version (an older package for upgrade tests)
#     --out DIR    write the packages into DIR instead of build/dist
# wixl cannot express a permanent, never-overwritten component nor file
# permissions; both are patched into the tables with msibuild afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

prebuilt=0
version=
out=$root/build/dist
arches=()
while [ $# -gt 0 ]; do
  case "$1" in
    --prebuilt) prebuilt=1 ;;
    --version) version=$2; shift ;;
    --out) out=$2; shift ;;
    x64|x86) arches+=("$1") ;;
    *) echo "usage: package.sh [--prebuilt] [--version V] [--out DIR] [x64|x86]..." >&2; exit 2 ;;
  esac
  shift
done
[ ${#arches[@]} -gt 0 ] || arches=(x64 x86)
if [ -z "$version" ]; then
  version=$(sed -n 's/^project(Corvastine VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
fi
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package.sh: no usable version: '$version'" >&2; exit 1; }

for tool in wixl msiinfo msibuild; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool missing (scripts/bootstrap.sh installs it)" >&2; exit 1; }
done

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Rewrites one column of the rows of an exported table whose first field
# matches: table file, key, column number (1-based), new value.
set_field() {
  awk -F '\t' -v OFS='\t' -v key="$2" -v col="$3" -v val="$4" \
    'NR > 3 && $1 == key { $col = val; hit = 1 } { print } END { if (!hit) exit 1 }' "$1" >"$1.new" &&
    mv "$1.new" "$1"
}

for arch in "${arches[@]}"; do
  case "$arch" in
    x64) preset=win64 ;;
    x86) preset=win32 ;;
  esac
  if [ "$prebuilt" = 0 ]; then
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Corvadesk corvastinesh corvastine stowbox corvapod dwipe
  fi
  msi=$out/Corvastine-$version-$arch.msi
  tmp=$work/Corvastine-$arch.msi
  # wixl takes source paths relative to the current folder only.
  (cd "$root" && wixl -a "$arch" -D "Version=$version" -D "Arch=$arch" -D "BinDir=build/$preset/bin" -D "SourceDir=." \
    -o "$tmp" packaging/Corvastine.wxs 2> >(grep -v 'GLib-GObject-WARNING' >&2))

  (
    cd "$work"
    # The settings file: permanent (16) and never overwritten (128), so an
    # uninstall or a reinstall keeps the password it holds.
    msiinfo export "$tmp" Component >Component.idt
    attributes=$(awk -F '\t' '$1 == "Settings" { print $4 }' Component.idt)
    set_field Component.idt Settings 4 $((attributes | 16 | 128))
    msibuild "$tmp" -i Component.idt
    # A major upgrade also replaces an installed package of the same
    # version (VersionMax inclusive, 512), so installing twice leaves one.
    msiinfo export "$tmp" Upgrade >Upgrade.idt
    awk -F '\t' -v OFS='\t' 'NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED\r?$/ { $5 = $5 + 512; hit = 1 } { print } END { if (!hit) exit 1 }' Upgrade.idt >Upgrade.new
    mv Upgrade.new Upgrade.idt
    msibuild "$tmp" -i Upgrade.idt
    # Standard users may write config.xml and nothing else in the program
    # folder: a folder users may write would let them plant a DLL there.
    # GENERIC_ALL for administrators, GENERIC_READ | GENERIC_WRITE for users.
    printf 'LockObject\tTable\tDomain\tUser\tPermission\ns72\ts32\tS255\ts255\tI4\nLockPermissions\tLockObject\tTable\tDomain\tUser\n' >LockPermissions.idt
    printf 'config.xml\tFile\t\tAdministrators\t%d\n' 268435456 >>LockPermissions.idt
    printf 'config.xml\tFile\t\tUsers\t%d\n' -1073741824 >>LockPermissions.idt
    msibuild "$tmp" -i LockPermissions.idt
  )
  mv "$tmp" "$msi"
  echo "package.sh: $msi"
done
