#!/usr/bin/env bash
# Prepares a private Wine prefix in which the desktop program can be shown
# or tested without reaching anything outside a scratch folder:
#   desktop-prefix.sh SHARED_PREFIX SCRATCH [--dpi N]
# SCRATCH/prefix becomes a copy of SHARED_PREFIX with
#   - no drive but C: (Wine maps the whole Linux file system as Z:, and may
#     map devices and other folders), and no link out of the prefix (the
#     user's Desktop, Documents, Music ... folders are links to the Linux
#     home: they become plain folders);
#   - no "/" (the Linux file system) and no Trash (the Linux user's trash) on
#     the shell's desktop;
#   - sample files on the Desktop: a few texts and a folder with more;
#   - windows not handed to a window manager ("Managed"=N), and the display
#     resolution N dots per inch (96 unless --dpi says otherwise).
# Prints the new prefix's path. The caller removes SCRATCH when done.
set -euo pipefail
shared=$1
scratch=$2
shift 2
dpi=96
if [ "${1:-}" = --dpi ]; then
  dpi=$2
fi
if [ ! -f "$shared/system.reg" ]; then
  echo "desktop-prefix.sh: no Wine prefix at $shared" >&2
  exit 2
fi
prefix=$scratch/prefix
mkdir -p "$prefix"
cp -a "$shared/." "$prefix/"
rm -f "$prefix/wineserver"

# Drives: C: only, pointing into the copy.
for entry in "$prefix"/dosdevices/*; do
  [ "$(basename "$entry")" = "c:" ] && continue
  rm -f "$entry"
done
ln -sfn ../drive_c "$prefix/dosdevices/c:"

# Links out of the prefix become empty folders.
while IFS= read -r -d '' link; do
  rm -f "$link"
  mkdir -p "$link"
done < <(find "$prefix/drive_c" -type l -print0)

# The shell's "/" and Trash items on the desktop.
python3 - "$prefix/system.reg" "$prefix/user.reg" <<'PY'
import re, sys
drop = ('{9D20AAE8-0625-44B0-9CA7-71889C2254D9}', '{645FF040-5081-101B-9F08-00AA002F954E}')
for path in sys.argv[1:]:
    with open(path, encoding='utf-8', errors='surrogateescape') as f:
        blocks = f.read().split('\n\n')
    kept = [b for b in blocks if not (b.lstrip().startswith('[') and
                                      any(('Namespace\\\\' + g) in b.split('\n', 1)[0] for g in drop))]
    with open(path, 'w', encoding='utf-8', errors='surrogateescape') as f:
        f.write('\n\n'.join(kept))
PY

# Sample files on the Desktop of every user folder the copy has.
for user in "$prefix"/drive_c/users/*; do
  [ -d "$user/Desktop" ] || continue
  [ "$(basename "$user")" = Public ] && continue
  desk=$user/Desktop
  mkdir -p "$desk/Sample folder/Inner folder"
  for i in 1 2 3; do
    seq 1 $((i * 400)) | sed "s/^/Line of sample text $i: /" > "$desk/Sample text $i.txt"
  done
  printf 'Notes kept in a sub-folder.\n' > "$desk/Sample folder/notes.txt"
  printf 'Deeper still.\n' > "$desk/Sample folder/Inner folder/deep.txt"
  head -c 65536 /dev/urandom > "$desk/Sample folder/picture.bin"
done

hexdpi=$(printf '%08x' "$dpi")
stamp=$(date +%s)
sed -i "s/^\"LogPixels\"=dword:[0-9a-f]*/\"LogPixels\"=dword:$hexdpi/" "$prefix/user.reg" "$prefix/system.reg"
cat >> "$prefix/user.reg" <<REG

[Control Panel\\\\Desktop] $stamp
"LogPixels"=dword:$hexdpi

[Software\\\\Wine\\\\X11 Driver] $stamp
"Managed"="N"
REG
echo "$prefix"
