#!/usr/bin/env bash
# Every Windows program and library must start with only the files of its
# own folder: no MinGW runtime DLL beside it, nothing from the build tree.
#   own_folder_test.sh BIN_DIR OBJDUMP
# 1. Each .exe and .dll in BIN_DIR, and the vault programs in BIN_DIR/vault,
#    imports only Windows system libraries and the project's own DLLs.
# 2. The command-line tool, copied alone with libeay32.dll into an empty
#    folder, runs under a brand-new Wine prefix.
set -u
bin=$1
objdump=$2
pass=0
fail=0
ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL: $*"; }

own='^(libeay32|dwipe)\.dll$'
system='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|setupapi|cfgmgr32|ws2_32|crypt32|bcrypt|msvcrt|ntdll|uxtheme|version|rpcrt4|imm32|winmm|msimg32|api-ms-win-.*)\.dll$'
for f in "$bin"/*.exe "$bin"/*.dll "$bin"/vault/*.exe; do
  [ -e "$f" ] || continue
  while read -r dll; do
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    if [[ "$lower" =~ $system || "$lower" =~ $own ]]; then ok; else bad "$(basename "$f") imports $dll"; fi
  done < <("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p')
done

work=$(mktemp -d)
prefix=$(mktemp -d)
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 60 wineserver -w >/dev/null 2>&1
  rm -rf "$work" "$prefix"
}
trap cleanup EXIT
mkdir "$work/app"
cp "$bin/corvastine.exe" "$bin/libeay32.dll" "$work/app/"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# No display: the new prefix's "updating" window would otherwise show on the
# display that the test run's other programs share.
unset DISPLAY
# Wine finds a prefix's server by the folder's inode, which the system hands
# out again as soon as a folder is deleted: a server of a deleted prefix that
# is still ending would be taken for this one's. End any such server first.
wineserver -k >/dev/null 2>&1
timeout 60 wineserver -w >/dev/null 2>&1
if wineboot --init >"$work/wine.log" 2>&1; then ok; else bad "wineboot --init of a fresh prefix"; fi
printf 'secret\n' > "$work/pw"
printf 'hello\n' > "$work/file.txt"
run() { echo "> $*" >>"$work/wine.log"; wine "$@" >>"$work/wine.log" 2>&1; }
if run "$work/app/corvastine.exe" --help; then ok; else bad "corvastine.exe --help in a fresh prefix"; fi
if run "$work/app/corvastine.exe" lock --password-file "Z:$work/pw" "Z:$work/file.txt" &&
   [ -f "$work/file.txt.corvastine" ]; then ok; else bad "lock in a fresh prefix"; fi
if run "$work/app/corvastine.exe" unlock --password-file "Z:$work/pw" "Z:$work/file.txt.corvastine" &&
   [ "$(cat "$work/file.txt")" = hello ]; then ok; else bad "unlock in a fresh prefix"; fi
if [ "$fail" != 0 ]; then
  echo "--- what Wine said (prefix $prefix, inode $(stat -c %i "$prefix"))"
  tail -n 40 "$work/wine.log"
fi

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
