#!/usr/bin/env bash
# Times `corvastine lock` and `unlock` of a 64 MiB text file against
# `gzip -6` (compress / decompress) and `gpg --symmetric` (encrypt / decrypt)
# on this machine, and prints each time with its ratio to corvastine's.
#   bench/compare_tools.sh [build/linux/bin/corvastine]
# Each command runs three times; the best time counts.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${1:-$root/build/linux/bin/corvastine}
command -v gpg >/dev/null || { echo "gpg is needed (apt-get install gnupg)"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GNUPGHOME=$work/gnupg
mkdir -m 700 "$GNUPGHOME"

# 64 MiB of text: numbered lines of words, compressible like real documents.
python3 - "$work/text.txt" <<'PY'
import random, sys
random.seed(1)
words = "lock unlock shred vault folder password file drive report invoice letter photo the a of and".split()
out = open(sys.argv[1], "w")
size = 0
n = 0
while size < 64 * 1024 * 1024:
    line = f"{n:08d} " + " ".join(random.choice(words) for _ in range(12)) + "\n"
    out.write(line)
    size += len(line)
    n += 1
PY
truncate -s $((64 * 1024 * 1024)) "$work/text.txt"
cp "$work/text.txt" "$work/orig.txt"
printf 'benchmark password\n' > "$work/pw"

best() { # command... -> best wall time in seconds over three runs
  local b=""
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}

lock()   { rm -f "$work/text.txt.corvastine"; cp "$work/orig.txt" "$work/text.txt"; "$tool" lock --password-file "$work/pw" "$work/text.txt"; }
unlock() { cp "$work/locked" "$work/text.txt.corvastine"; rm -f "$work/text.txt"; "$tool" unlock --password-file "$work/pw" "$work/text.txt.corvastine"; }
gz()     { gzip -6 -c "$work/orig.txt" > "$work/orig.txt.gz"; }
gunz()   { gzip -d -c "$work/orig.txt.gz" > "$work/out.txt"; }
genc()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" --symmetric -o "$work/orig.gpg" "$work/orig.txt"; }
gdec()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" -d -o "$work/out.txt" "$work/orig.gpg"; }

lock >/dev/null; cp "$work/text.txt.corvastine" "$work/locked"
gz; genc
t_lock=$(best lock); t_unlock=$(best unlock)
t_gz=$(best gz); t_gunz=$(best gunz)
t_genc=$(best genc); t_gdec=$(best gdec)
cmp -s "$work/text.txt" "$work/orig.txt" || { echo "unlock did not restore the file"; exit 1; }

mb=64
row() { printf '%-28s %8.3f s %8.1f MB/s   ratio to corvastine %5.2f\n' "$1" "$2" "$(echo "$mb / $2" | bc -l)" "$(echo "$2 / $3" | bc -l)"; }
echo "64 MiB text file, best of three, $(nproc) cores"
echo "sizes: locked $(stat -c %s "$work/locked"), gzip -6 $(stat -c %s "$work/orig.txt.gz"), gpg $(stat -c %s "$work/orig.gpg")"
row "corvastine lock"        "$t_lock"   "$t_lock"
row "gzip -6"                "$t_gz"     "$t_lock"
row "gpg --symmetric"        "$t_genc"   "$t_lock"
row "corvastine unlock"      "$t_unlock" "$t_unlock"
row "gzip -d"                "$t_gunz"   "$t_unlock"
row "gpg --decrypt"          "$t_gdec"   "$t_unlock"
