#!/usr/bin/env bash
# Installs, upgrades and removes the x64 setup package under Wine, in a
# private copy of the project's Wine prefix, and checks what each step
# leaves: the program files, the start-menu shortcuts, the registry entries
# of the shell extension, of the locked files' type and of Programs and
# Features, and that config.xml and the user's files outlive an uninstall.
# Before that: the tables of both architectures' packages, the version
# resources of the built programs, what config.xml's security descriptor
# parses to, the x86 package's refusal of 64-bit Windows, and an x86
# package of the former upgrade code replaced by the x64 package.
#   run-package-test.sh BUILD_DIR SHELL_TEST_PROGRAM PROBE_PROGRAM
# SHELL_TEST_PROGRAM: the program that plays the shell against the installed,
# package-registered extension (CORVA_INSTALLED_FOLDER). PROBE_PROGRAM:
# tests/package/PackageProbe.cpp.
# The packages are made here by scripts/package.sh from the programs in
# BUILD_DIR/bin: the project version and an older one for the upgrade, and
# x86 packages (of the same programs: what is refused or replaced before
# it runs is all they are for).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$root/scripts/env.sh"
build=$1
shell_test=$2
probe=$3
# The snapshot scripts/test.sh takes before the tests start, else the prefix.
shared=${CORVA_PREFIX_SNAPSHOT:-${WINEPREFIX:-$CORVA_WINEPREFIX}}
[ -f "$shared/system.reg" ] || { echo "run-package-test.sh: no Wine prefix at $shared" >&2; exit 2; }

private=$(mktemp -d "${TMPDIR:-/tmp}/corva-package.XXXXXX")
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

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# --- The packages -----------------------------------------------------------
version=$(sed -n 's/^project(Corvastine VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
old=0.0.1
[ "$(basename "$build")" = win64 ] || { echo "run-package-test.sh: needs the win64 build" >&2; exit 2; }
"$root/scripts/package.sh" --prebuilt --out "$private/dist" x64
"$root/scripts/package.sh" --prebuilt --out "$private/old" --version "$old" x64
# A second build of the same version: a package with a product code of its own.
"$root/scripts/package.sh" --prebuilt --out "$private/again" x64
"$root/scripts/package.sh" --bin "$build/bin" --out "$private/dist" x86
"$root/scripts/package.sh" --bin "$build/bin" --out "$private/former" --version "$old" x86
msi=$private/dist/Corvastine-$version-x64.msi
python3 "$root/tests/package/check-tables.py" "$msi" "$private/dist/Corvastine-$version-x86.msi" || fail "package tables"

# An x86 package as they were made before both architectures shared one
# upgrade code: the former code, and no refusal of 64-bit Windows.
former=$private/former/Corvastine-$old-x86.msi
(
  cd "$private/former"
  msiinfo export "$former" Property | sed 's/^UpgradeCode\t{6C0E4D53-2F0B-4C7A-9B8E-1D4A3E57C201}/UpgradeCode\t{6C0E4D53-2F0B-4C7A-9B8E-1D4A3E57C202}/' >Property.idt
  msibuild "$former" -i Property.idt
  msiinfo export "$former" LaunchCondition | grep -v VersionNT64 >LaunchCondition.idt
  msibuild "$former" -i LaunchCondition.idt
)

# --- A display and a private prefix ----------------------------------------
mkfifo "$private/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$private/display" >/dev/null 2>&1 &
xvfb_pid=$!
display=
read -r -t 60 display <"$private/display" || true
[ -n "$display" ] || { echo "run-package-test.sh: Xvfb did not start" >&2; exit 2; }
export DISPLAY=":$display"
mkdir "$private/prefix"
tar -C "$shared" --exclude='./drive_c/users/*/Temp/*' --exclude='./drive_c/windows/temp/*' \
    --exclude=./wineserver -cf - . | tar -C "$private/prefix" -xf -
# Windows are not handed to a window manager: the display runs none.
cat >>"$private/prefix/user.reg" <<REG

[Software\\\\Wine\\\\X11 Driver] $(date +%s)
"Managed"="N"
REG
export WINEPREFIX=$private/prefix WINEDEBUG=-all
# No desktop menu entries on the host, no debugger waiting for a user.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
drive_c=$WINEPREFIX/drive_c
mkdir -p "$drive_c/corva-setup"
cp "$msi" "$drive_c/corva-setup/current.msi"
cp "$private/old/Corvastine-$old-x64.msi" "$drive_c/corva-setup/old.msi"
cp "$private/again/Corvastine-$version-x64.msi" "$drive_c/corva-setup/again.msi"
cp "$private/dist/Corvastine-$version-x86.msi" "$drive_c/corva-setup/x86.msi"
cp "$former" "$drive_c/corva-setup/former-x86.msi"

program_dir="$drive_c/Program Files/Corvastine"
x86_program_dir="$drive_c/Program Files (x86)/Corvastine"
# The machine's start menu; Wine puts the shortcuts of a per-machine
# package into the installing user's own start menu instead, so both count.
menu_dirs=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Corvastine"
           "$drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Corvastine")
shortcut_exists() { [ -f "${menu_dirs[0]}/$1" ] || [ -f "${menu_dirs[1]}/$1" ]; }
clsid='{91777546-DFA0-4C50-8B72-9FBBED8179C7}'
typelib='{9F95D995-B3DA-4B5D-8A6B-A4C15D80715D}'
iface='{B920DA0A-D70B-49CE-88A9-C5AD0CAB4187}'
dll='C:\Program Files\Corvastine\corvastinesh.dll'
approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

msiexec() {
  local status=0
  wine msiexec "$@" /qn </dev/null >/dev/null 2>&1 || status=$?
  [ "$status" = 0 ] || fail "msiexec $* ended with $status"
  return 0
}

# The data of one registry value ("" for the default value); nothing and
# status 1 when the key or the value is missing. A third argument 32 reads
# the 32-bit view (where x86 packages write).
reg_value() {
  local out view=()
  [ -z "${3:-}" ] || view=("/reg:$3")
  if [ -z "$2" ]; then
    out=$(wine reg query "$1" /ve "${view[@]}" 2>/dev/null </dev/null) || return 1
  else
    out=$(wine reg query "$1" /v "$2" "${view[@]}" 2>/dev/null </dev/null) || return 1
  fi
  out=$(printf '%s\n' "$out" | tr -d '\r' | awk -F '    ' 'NF >= 4 && $3 ~ /^REG_/ { print $4; found = 1 } END { exit !found }') || return 1
  printf '%s' "$out"
}
key_exists() { wine reg query "$1" ${2:+/reg:$2} </dev/null >/dev/null 2>&1; }
# reg_value for a value that must be there, asked again for up to ten
# seconds: once, right after an upgrade, a `wine reg` run found nothing on a
# loaded machine. A value that is truly missing still fails.
reg_value_present() {
  local tries
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    reg_value "$1" "$2" && return 0
    sleep 1
  done
  return 1
}

# key|name|data: every value the package writes for the shell extension
# (the same as its own registration writes) and for the locked files' type.
shell_values=(
  "HKCR\\Corvastinesh.Corvastine.1||Corvastine Class"
  "HKCR\\Corvastinesh.Corvastine.1\\CLSID||$clsid"
  "HKCR\\Corvastinesh.Corvastine||Corvastine Class"
  "HKCR\\Corvastinesh.Corvastine\\CLSID||$clsid"
  "HKCR\\Corvastinesh.Corvastine\\CurVer||Corvastinesh.Corvastine.1"
  "HKCR\\CLSID\\$clsid||Corvastine Class"
  "HKCR\\CLSID\\$clsid\\ProgID||Corvastinesh.Corvastine.1"
  "HKCR\\CLSID\\$clsid\\VersionIndependentProgID||Corvastinesh.Corvastine"
  "HKCR\\CLSID\\$clsid\\InprocServer32||$dll"
  "HKCR\\CLSID\\$clsid\\InprocServer32|ThreadingModel|Apartment"
  "HKCR\\CLSID\\$clsid\\TypeLib||$typelib"
  "HKCR\\TypeLib\\$typelib\\1.0||corvastinesh 1.0 Type Library"
  "HKCR\\TypeLib\\$typelib\\1.0\\0\\win64||$dll"
  "HKCR\\TypeLib\\$typelib\\1.0\\FLAGS||0"
  "HKCR\\Interface\\$iface||ICorvastine"
  "HKCR\\Interface\\$iface\\TypeLib||$typelib"
  "HKCR\\*\\shellex\\ContextMenuHandlers\\Corvastine||$clsid"
  "HKCR\\Directory\\shellex\\ContextMenuHandlers\\Corvastine||$clsid"
  "$approved|$clsid|Corvastine Class"
  # The locked files' type, with the desktop program's icon.
  "HKCR\\.corvastine||Corvastine.LockedFile"
  "HKCR\\Corvastine.LockedFile||Corvastine locked file"
  "HKCR\\Corvastine.LockedFile\\DefaultIcon||C:\\Program Files\\Corvastine\\Corvadesk.exe,-128"
)
shell_keys=(
  "HKCR\\Corvastinesh.Corvastine.1" "HKCR\\Corvastinesh.Corvastine" "HKCR\\CLSID\\$clsid"
  "HKCR\\TypeLib\\$typelib" "HKCR\\Interface\\$iface"
  "HKCR\\*\\shellex\\ContextMenuHandlers\\Corvastine" "HKCR\\Directory\\shellex\\ContextMenuHandlers\\Corvastine"
  "HKCR\\.corvastine" "HKCR\\Corvastine.LockedFile"
)

# The product codes of the installed Corvastine packages, one a line, each
# with the registry view of its entry: 64, or 32 for an x86 package.
installed_products() {
  local view
  for view in 64 32; do
    wine reg query "$uninstall_root" "/reg:$view" </dev/null 2>/dev/null | tr -d '\r' | grep -o '{[0-9A-F-]*}$' |
    while read -r code; do
      if [ "$(reg_value "$uninstall_root\\$code" DisplayName "$view" || true)" = Corvastine ]; then
        echo "$code $view"
      fi
    done || true  # a view without any entry
  done
}

# One installed product, of the version given (and of the registry view
# given, 64 unless a third argument says 32).
expect_one_product() {
  local products code view
  products=$(installed_products)
  if [ "$(printf '%s' "$products" | grep -c .)" != 1 ]; then
    fail "$1: expected one installed Corvastine, found: ${products:-none}"
    return
  fi
  read -r code view <<<"$products"
  [ "$view" = "${3:-64}" ] || fail "$1: the product is registered in the $view-bit view"
  local key="$uninstall_root\\$code" v
  v=$(reg_value "$key" DisplayVersion "$view" || true)
  [ "$v" = "$2" ] || fail "$1: DisplayVersion '$v', expected '$2'"
  v=$(reg_value "$key" Publisher "$view" || true)
  [ "$v" = Corvastine ] || fail "$1: Publisher '$v'"
  # The icon (ARPPRODUCTICON) is checked in the tables: Wine does not
  # publish it as DisplayIcon.
  v=$(reg_value "$key" UninstallString "$view" || true)
  case "$v" in *"$code"*) ;; *) fail "$1: UninstallString '$v' does not name the product" ;; esac
  pass "$1: one product, version $2"
}

expected_files="Corvadesk.exe
Vault/CorvastineVault.exe
Vault/Stowbox.exe
Vault/libeay32.dll
config.xml
corvastine.exe
corvastinesh.dll
dwipe.dll
help/about.html
help/faq.html
help/features.html
help/feedback.html
help/quickstart.html
help/support.html
libeay32.dll"

check_installed() {
  local files
  files=$(cd "$program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  if [ "$files" = "$expected_files" ]; then pass "$1: program files"; else
    fail "$1: program files differ:"; diff <(echo "$expected_files") <(echo "$files") || true; fi
  cmp -s "$program_dir/Corvadesk.exe" "$build/bin/desktop/Corvadesk.exe" || fail "$1: Corvadesk.exe is not the built one"
  cmp -s "$program_dir/Vault/Stowbox.exe" "$build/bin/vault/Stowbox.exe" || fail "$1: Stowbox.exe is not the built one"
  for link in "Corvastine.lnk" "Corvastine Vault Installer.lnk"; do
    shortcut_exists "$link" || fail "$1: no start-menu shortcut $link"
  done
  local entry key name data got
  for entry in "${shell_values[@]}"; do
    IFS='|' read -r key name data <<<"$entry"
    got=$(reg_value_present "$key" "$name") || { fail "$1: missing $key [$name]"; continue; }
    [ "${got,,}" = "${data,,}" ] || fail "$1: $key [$name] is '$got', expected '$data'"
  done
  key_exists "HKCR\\CLSID\\$clsid\\Programmable" || fail "$1: no Programmable key"
  pass "$1: registry entries checked"
}

# Starts the installed desktop program, waits until a window with the given
# caption shows on the display, and ends the program again.
desktop_shows() {
  local caption=$1 what=$2 pid deadline seen=0
  wine "C:\\Program Files\\Corvastine\\Corvadesk.exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  deadline=$((SECONDS + 120))
  while [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\": ("; then seen=1; break; fi
    sleep 0.2
  done
  # CORVA_SHOT_DIR: a screenshot of each such window, to look at.
  if [ "$seen" = 1 ] && [ -n "${CORVA_SHOT_DIR:-}" ]; then import -window root "$CORVA_SHOT_DIR/${what// /-}.png" || true; fi
  if [ "$seen" = 1 ]; then pass "$what: the installed desktop program shows \"$caption\""; else
    fail "$what: no \"$caption\" window from the installed desktop program"
    xwininfo -root -tree 2>/dev/null | grep '"' | head -20; fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # Gone from the display before anything else runs.
  deadline=$((SECONDS + 60))
  while [ $SECONDS -lt $deadline ] && xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\": ("; do sleep 0.2; done
}

# --- The built programs' versions and config.xml's grant ------------------
# Read through Windows' own functions: the version resources, and the
# security descriptor the package gives config.xml, entry by entry.
probe() { wine "$probe" "$@" </dev/null 2>&1 | tr -d '\r'; }
for file in desktop/Corvadesk.exe corvastinesh.dll corvastine.exe desktop/dwipe.dll vault/Stowbox.exe \
            vault/CorvastineVault.exe; do
  name=$(basename "$file")
  case "$name" in *.exe) type=app ;; *) type=dll ;; esac
  expected=$(printf '%s\t%s.0\t%s\t%s\t%s\t%s\tCorvastine' "$name" "$version" "$type" "$version" "$version" "$name")
  got=$(probe version "Z:${build//\//\\}\\bin\\${file//\//\\}")
  [ "$got" = "$expected" ] && pass "$name carries version $version" ||
    fail "version resource of $name: '$got', expected '$expected'"
done
sddl=$(cd "$private" && msiinfo export "$msi" MsiLockPermissionsEx | tr -d '\r' |
       awk -F '\t' 'NR > 3 && $2 == "config.xml" { print $4 }')
# Nothing inherited; SYSTEM (S-1-5-18) and Administrators (S-1-5-32-544)
# get FILE_ALL_ACCESS, Users (S-1-5-32-545) FILE_GENERIC_READ |
# FILE_GENERIC_WRITE: without DELETE (0x10000), WRITE_DAC (0x40000) and
# WRITE_OWNER (0x80000).
expected=$'protected\nallow S-1-5-18 0x001f01ff\nallow S-1-5-32-544 0x001f01ff\nallow S-1-5-32-545 0x0012019f'
got=$(probe sddl "$sddl")
[ "$got" = "$expected" ] && pass "config.xml's grant: $sddl" ||
  fail "config.xml's grant '$sddl' parses to: $(printf '%s' "$got" | tr '\n' ';')"

# --- The x86 packages on 64-bit Windows -------------------------------------
# The current one refuses to install (1603, which the exit status carries
# as 1603 % 256), leaving nothing behind.
status=0
wine msiexec /i 'C:\corva-setup\x86.msi' /qn </dev/null >/dev/null 2>&1 || status=$?
[ "$status" = $((1603 % 256)) ] && pass "the x86 package refuses 64-bit Windows" ||
  fail "the x86 package on 64-bit Windows ended with $status, expected $((1603 % 256))"
[ -z "$(installed_products)" ] && [ ! -e "$x86_program_dir" ] || fail "the refused x86 package left a product or files"
# One made before both architectures shared an upgrade code installed
# there; the x64 package replaces it.
msiexec /i 'C:\corva-setup\former-x86.msi'
expect_one_product "former x86 package $old" "$old" 32
[ -f "$x86_program_dir/Corvadesk.exe" ] || fail "the former x86 package installed no Corvadesk.exe"

# --- Install the older version, then upgrade --------------------------------
msiexec /i 'C:\corva-setup\old.msi'
expect_one_product "install $old over the former x86 package" "$old"
left=$(cd "$x86_program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | tr '\n' ' ')
[ "$left" = "config.xml " ] && pass "the former x86 package's programs are gone" ||
  fail "after the x64 package replaced the x86 one, Program Files (x86) holds: $left"
key_exists "HKCR\\CLSID\\$clsid" 32 && fail "the former x86 package's class is still registered"
msiexec /i 'C:\corva-setup\current.msi'
expect_one_product "upgrade to $version" "$version"
check_installed "upgrade"
# No password yet in the fresh settings file: the setup comes first.
desktop_shows "Password Setup" "fresh install"

# The installed extension, found through its package registration only,
# locks a file and a folder tree from the shell's context menu.
if CORVA_INSTALLED_FOLDER='C:\Program Files\Corvastine' \
   wine "$shell_test" --gtest_filter='*LockOfThreeSelectedFiles*:*LockOfAFolderLocksItsWholeTree*' \
   </dev/null >"$private/shell.log" 2>&1 && grep -q '\[  PASSED  \] 2 tests' "$private/shell.log"; then
  pass "the installed shell extension locks from the shell's menu"
else
  fail "the installed shell extension:"; tail -30 "$private/shell.log"
fi

# The password the user sets lands in config.xml; user files lie about.
user_settings=$root/tests/vectors/settings/config-full-scrambled.xml
cp "$user_settings" "$program_dir/config.xml"
desktop_shows "Enter password" "password set"
mkdir -p "$drive_c/users/Public/Documents"
printf 'plain' >"$drive_c/users/Public/Documents/notes.txt"
printf 'locked' >"$drive_c/users/Public/Documents/notes2.txt.corvastine"
printf 'mine' >"$program_dir/mine.txt"
# Another program's handler beside ours, which the uninstall must keep.
wine reg add 'HKCR\*\shellex\ContextMenuHandlers\OtherTool' /ve /d '{00000000-0000-0000-0000-000000000001}' /f \
  </dev/null >/dev/null 2>&1 || fail "could not add another handler"

# --- The same version again: the same file, and a rebuilt one --------------
msiexec /i 'C:\corva-setup\current.msi'
expect_one_product "same package again" "$version"
msiexec /i 'C:\corva-setup\again.msi'
expect_one_product "rebuilt package of the same version" "$version"
cmp -s "$program_dir/config.xml" "$user_settings" && pass "reinstall keeps config.xml" ||
  fail "reinstall replaced config.xml"
expected_files=$(printf '%s\nmine.txt\n' "$expected_files" | LC_ALL=C sort)
check_installed "reinstall"
expected_files=$(printf '%s\n' "$expected_files" | grep -vx mine.txt)

# --- Uninstall --------------------------------------------------------------
msiexec /x 'C:\corva-setup\again.msi'
left=$(cd "$program_dir" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$left" = "config.xml mine.txt " ] && pass "uninstall leaves config.xml and the user's file only" ||
  fail "after uninstall the program folder holds: $left"
cmp -s "$program_dir/config.xml" "$user_settings" || fail "uninstall changed config.xml"
[ -f "$drive_c/users/Public/Documents/notes.txt" ] && [ -f "$drive_c/users/Public/Documents/notes2.txt.corvastine" ] ||
  fail "uninstall removed user files"
[ ! -e "${menu_dirs[0]}" ] && [ ! -e "${menu_dirs[1]}" ] && pass "shortcuts removed" ||
  fail "start-menu folder left: $(ls "${menu_dirs[@]}" 2>&1 | tr '\n' ' ')"
for key in "${shell_keys[@]}"; do
  key_exists "$key" && fail "uninstall left $key"
done
reg_value "$approved" "$clsid" >/dev/null && fail "uninstall left the extension in the approved list"
[ "$(reg_value 'HKCR\*\shellex\ContextMenuHandlers\OtherTool' '')" = '{00000000-0000-0000-0000-000000000001}' ] ||
  fail "uninstall removed another program's context-menu handler"
[ -z "$(installed_products)" ] && pass "no product left" || fail "a product is still installed"

echo "run-package-test.sh: $failures failures"
[ "$failures" = 0 ]
