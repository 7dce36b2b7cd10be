#!/usr/bin/env bash
# Builds the Windows setup packages with wixl (msitools):
#   build/dist/Corvastine-<version>-x64.msi   from the win64 build
#   build/dist/Corvastine-<version>-x86.msi   from the win32 build
# The version is the project version in CMakeLists.txt.
#   scripts/package.sh [--prebuilt] [--bin DIR] [--version V] [--out DIR] [x64|x86]...
#     --prebuilt   take the programs as they are in build/<preset>/bin
#                  (default: build the programs the package holds first)
#     --bin DIR    take the programs as they are in DIR, a build's bin
#                  folder, for every architecture (tests of the tables and
#                  launch conditions)
#     --version V  stamp another version (an older package for upgrade tests)
#     --out DIR    write the packages into DIR instead of build/dist
# wixl cannot express a permanent, never-overwritten component, file
# permissions nor file versions; they are patched into the tables with
# msibuild afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

prebuilt=0
bin=
version=
out=$root/build/dist
arches=()
while [ $# -gt 0 ]; do
  case "$1" in
    --prebuilt) prebuilt=1 ;;
    --bin) bin=$(realpath --relative-to="$root" "$2"); prebuilt=1; shift ;;
    --version) version=$2; shift ;;
    --out) out=$2; shift ;;
    x64|x86) arches+=("$1") ;;
    *) echo "usage: package.sh [--prebuilt] [--bin DIR] [--version V] [--out DIR] [x64|x86]..." >&2; exit 2 ;;
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

# The upgrade code of the x86 packages before both architectures shared one.
former_x86_upgrade_code='{6C0E4D53-2F0B-4C7A-9B8E-1D4A3E57C202}'
# The security descriptor of config.xml (protected: nothing inherited).
settings_sddl='D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFW;;;BU)'

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
  bin_dir=${bin:-build/$preset/bin}
  (cd "$root" && wixl -a "$arch" -D "Version=$version" -D "Arch=$arch" -D "BinDir=$bin_dir" -D "SourceDir=." \
    -o "$tmp" packaging/Corvastine.wxs 2> >(grep -v 'GLib-GObject-WARNING' >&2))
  # The File table carries the version resources of the programs and
  # libraries, so that an installer compares versions, not dates.
  python3 "$root/packaging/file_versions.py" stamp "$tmp" "$root/packaging/Corvastine.wxs" "$root" \
    "BinDir=$bin_dir" "SourceDir=." >/dev/null

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
    # It also replaces the x86 packages made before both architectures
    # shared one upgrade code.
    msiinfo export "$tmp" Upgrade >Upgrade.idt
    awk -F '\t' -v OFS='\t' -v former="$former_x86_upgrade_code" '
      NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED\r?$/ { $5 = $5 + 512; hit = 1; print; $1 = former; print; next }
      { print } END { if (!hit) exit 1 }' Upgrade.idt >Upgrade.new
    mv Upgrade.new Upgrade.idt
    msibuild "$tmp" -i Upgrade.idt
    # Standard users may write config.xml and nothing else in the program
    # folder: a folder users may write would let them plant a DLL there.
    # The grant names well-known SIDs (account names differ by language):
    # full control for SYSTEM and Administrators, read and write for the
    # machine's users, who may neither delete the file nor change who may
    # use it.
    printf 'MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition\ns72\ts72\ts32\ts0\tS255\nMsiLockPermissionsEx\tMsiLockPermissionsEx\n' >MsiLockPermissionsEx.idt
    printf 'SettingsFile\tconfig.xml\tFile\t%s\t\n' "$settings_sddl" >>MsiLockPermissionsEx.idt
    msibuild "$tmp" -i MsiLockPermissionsEx.idt
  )
  mv "$tmp" "$msi"
  echo "package.sh: $msi"
done
