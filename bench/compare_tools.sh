#!/usr/bin/env bash
# Times `corvastine lock` and `unlock` against common tools on this machine:
#  - a 64 MiB text file: `gzip -6` / `gzip -d`, `pigz -6` / `pigz -d` (all
#    cores) and `gpg --symmetric` / `--decrypt`;
#  - a folder of 1,000 files of 7.5 KiB: `corvastine lock DIR` / `unlock DIR`
#    against `gzip -6 -r` / `gzip -d -r` on the same folder.
# Prints each time (the median of the runs), its throughput and its ratio to
# the reference tool, e.g. "corvastine lock / gzip -6".
#   bench/compare_tools.sh [build/linux/bin/corvastine] [runs, default 3]
# Tools that are not installed are left out of the table.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${1:-$root/build/linux/bin/corvastine}
runs=${2:-3}
# Decided once, so that a tool installed while the script runs changes nothing.
use_pigz=0; command -v pigz >/dev/null && use_pigz=1
use_gpg=0; command -v gpg >/dev/null && use_gpg=1
have() { case $1 in pigz) [ "$use_pigz" = 1 ] ;; gpg) [ "$use_gpg" = 1 ] ;; *) command -v "$1" >/dev/null ;; esac; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GNUPGHOME=$work/gnupg
mkdir -m 700 "$GNUPGHOME"

# 64 MiB of text: numbered lines of words, compressible like real documents;
# and 1,000 files of 7.5 KiB cut from it.
python3 - "$work" <<'PY'
import os, random, sys
random.seed(1)
words = "lock unlock shred vault folder password file drive report invoice letter photo the a of and".split()
work = sys.argv[1]
out = open(os.path.join(work, "text.txt"), "w")
size = 0
n = 0
while size < 64 * 1024 * 1024:
    line = f"{n:08d} " + " ".join(random.choice(words) for _ in range(12)) + "\n"
    out.write(line)
    size += len(line)
    n += 1
out.close()
os.truncate(os.path.join(work, "text.txt"), 64 * 1024 * 1024)
data = open(os.path.join(work, "text.txt"), "rb").read()
os.mkdir(os.path.join(work, "many.orig"))
for i in range(1000):
    with open(os.path.join(work, "many.orig", f"doc{i:04d}.txt"), "wb") as f:
        f.write(data[i * 7680:(i + 1) * 7680])
PY
cp "$work/text.txt" "$work/orig.txt"
printf 'benchmark password\n' > "$work/pw"

median() { # command... -> median wall time in seconds over $runs runs
  local times=()
  for _ in $(seq "$runs"); do
    local s e
    s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
    times+=("$(echo "$e - $s" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'
}

lock()   { rm -f "$work/text.txt.corvastine"; cp "$work/orig.txt" "$work/text.txt"; "$tool" lock --password-file "$work/pw" "$work/text.txt"; }
unlock() { cp "$work/locked" "$work/text.txt.corvastine"; rm -f "$work/text.txt"; "$tool" unlock --password-file "$work/pw" "$work/text.txt.corvastine"; }
gz()     { gzip -6 -c "$work/orig.txt" > "$work/orig.txt.gz"; }
gunz()   { gzip -d -c "$work/orig.txt.gz" > "$work/out.txt"; }
pgz()    { pigz -6 -c "$work/orig.txt" > "$work/orig.txt.pgz"; }
pgunz()  { pigz -d -c "$work/orig.txt.pgz" > "$work/out.txt"; }
genc()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" --symmetric -o "$work/orig.gpg" "$work/orig.txt"; }
gdec()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" -d -o "$work/out.txt" "$work/orig.gpg"; }
# The folder case: every run starts from a fresh copy (not timed).
fresh()  { rm -rf "$work/many"; cp -r "$work/$1" "$work/many"; }
lockdir()   { "$tool" lock --password-file "$work/pw" "$work/many"; }
unlockdir() { "$tool" unlock --password-file "$work/pw" "$work/many"; }
gzdir()     { gzip -6 -r "$work/many"; }
gunzdir()   { gzip -d -r "$work/many"; }
timed_dir() { # prepare-source command -> median over $runs runs of command alone
  local times=()
  for _ in $(seq "$runs"); do
    fresh "$1"
    local s e
    s=$(date +%s.%N); "$2" >/dev/null 2>&1; e=$(date +%s.%N)
    times+=("$(echo "$e - $s" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'
}

lock >/dev/null; cp "$work/text.txt.corvastine" "$work/locked"
gz
t_lock=$(median lock); t_unlock=$(median unlock)
cmp -s "$work/text.txt" "$work/orig.txt" || { echo "unlock did not restore the file"; exit 1; }
t_gz=$(median gz); t_gunz=$(median gunz)
if have pigz; then pgz; t_pgz=$(median pgz); t_pgunz=$(median pgunz); fi
if have gpg; then genc; t_genc=$(median genc); t_gdec=$(median gdec); fi

# Folder sources: plain, locked, gzipped.
fresh many.orig; lockdir >/dev/null; cp -r "$work/many" "$work/many.locked"
fresh many.orig; gzdir; cp -r "$work/many" "$work/many.gz"
t_lockdir=$(timed_dir many.orig lockdir)
t_unlockdir=$(timed_dir many.locked unlockdir)
diff -r "$work/many" "$work/many.orig" >/dev/null || { echo "unlock of the folder did not restore it"; exit 1; }
t_gzdir=$(timed_dir many.orig gzdir)
t_gunzdir=$(timed_dir many.gz gunzdir)

row() { # label seconds MiB reference-seconds reference-label
  printf '%-26s %8.3f s %8.1f MB/s   %6.2f x %s\n' "$1" "$2" "$(echo "$3 / $2" | bc -l)" "$(echo "$2 / $4" | bc -l)" "$5"
}
echo "median of $runs runs, $(nproc) cores, load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "64 MiB text file; sizes: locked $(stat -c %s "$work/locked"), gzip -6 $(stat -c %s "$work/orig.txt.gz")$(have pigz && echo ", pigz -6 $(stat -c %s "$work/orig.txt.pgz")")"
row "corvastine lock"   "$t_lock"   64 "$t_gz" "gzip -6"
row "gzip -6"           "$t_gz"     64 "$t_gz" "gzip -6"
if have pigz; then row "pigz -6" "$t_pgz" 64 "$t_gz" "gzip -6"; fi
if have gpg;  then row "gpg --symmetric" "$t_genc" 64 "$t_gz" "gzip -6"; fi
row "corvastine unlock" "$t_unlock" 64 "$t_gunz" "gzip -d"
row "gzip -d"           "$t_gunz"   64 "$t_gunz" "gzip -d"
if have pigz; then row "pigz -d" "$t_pgunz" 64 "$t_gunz" "gzip -d"; fi
if have gpg;  then row "gpg --decrypt" "$t_gdec" 64 "$t_gunz" "gzip -d"; fi
echo "1,000 files of 7.5 KiB in one folder"
row "corvastine lock DIR"   "$t_lockdir"   7.5 "$t_gzdir" "gzip -6 -r"
row "gzip -6 -r DIR"        "$t_gzdir"     7.5 "$t_gzdir" "gzip -6 -r"
row "corvastine unlock DIR" "$t_unlockdir" 7.5 "$t_gunzdir" "gzip -d -r"
row "gzip -d -r DIR"        "$t_gunzdir"   7.5 "$t_gunzdir" "gzip -d -r"
