#!/usr/bin/env bash
# Times `corvastine lock` and `unlock` against common tools on this machine,
# and the engine against the floors the processor allows, all in one run,
# and prints every figure as a ratio to what it is measured against (so the
# ratios hold whatever this machine's clock does from one session to the
# next):
#  - engine_bench (when built beside the tool): the stretch and the pair of
#    unlocking against one and two bare SHA chains, the body cipher and
#    encryptfile / decryptfile (64 MiB) against the chain's bound of 16
#    bytes per compression, and against that bound plus the publishing of
#    their output (a flush and a rename, which only follow the cipher);
#    the unlock of random bytes also against its own floor: the keys of
#    256 MiB of blocks, then the flush of the plain file and the delete of
#    the locked one, as engine_bench publishes 256 MiB over a copy; and the
#    lock and unlock against what they need on one core (the whole cipher on
#    one thread, the lock's read-back included), their floor when the second
#    core is busy;
#  - 256 MiB of random bytes (like photos, video, archives): lock / unlock
#    against `gpg -c` / `gpg -d`, `openssl enc -aes-256-cbc` (and -d), with
#    `gzip -6` and `pigz -6` beside them; the locked size against the input;
#  - a 64 MiB text file: lock / unlock against `gzip -6` / `gzip -d`, with
#    pigz and gpg beside them; the locked size against gzip -6's; the
#    lock's floor: its deflate and the inflate that checks it, on one core
#    and shared over every core;
#  - a folder of 1,000 files of 7.5 KiB: `corvastine lock DIR` / `unlock DIR`
#    against `for f in *; do gzip -6 -k "$f"; done` over the same files.
# Times are medians of the runs; each row names its target.
#   bench/compare_tools.sh [build/linux/bin/corvastine] [runs, default 3]
# Tools that are not installed are left out of the table.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${1:-$root/build/linux/bin/corvastine}
runs=${2:-3}
bench=$(dirname "$tool")/engine_bench
# Decided once, so that a tool installed while the script runs changes nothing.
use_pigz=0; command -v pigz >/dev/null && use_pigz=1
use_gpg=0; command -v gpg >/dev/null && use_gpg=1
use_openssl=0; command -v openssl >/dev/null && use_openssl=1
have() { case $1 in pigz) [ "$use_pigz" = 1 ] ;; gpg) [ "$use_gpg" = 1 ] ;; openssl) [ "$use_openssl" = 1 ] ;; esac; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GNUPGHOME=$work/gnupg
mkdir -m 700 "$GNUPGHOME"
load() { cut -d' ' -f1-3 /proc/loadavg; }
load_start=$(load)

# 64 MiB of text: numbered lines of words, compressible like real documents;
# 1,000 files of 7.5 KiB cut from it; 256 MiB of random bytes.
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
with open(os.path.join(work, "random.orig"), "wb") as f:
    for _ in range(256):
        f.write(os.urandom(1024 * 1024))
PY
cp "$work/text.txt" "$work/orig.txt"
printf 'benchmark password\n' > "$work/pw"

median() { # [-p prepare] command... -> median wall time in seconds over $runs runs of command alone
  local prepare=: times=()
  if [ "$1" = -p ]; then prepare=$2; shift 2; fi
  for _ in $(seq "$runs"); do
    local s e
    "$prepare"
    s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
    times+=("$(echo "$e - $s" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'
}

# Every lock starts from a fresh plain file and every unlock from a fresh
# locked copy, made (and flushed) before the clock starts: the other tools
# read their input where it lies and leave it.
# The text file.
lock_prep()   { rm -f "$work/text.txt.corvastine"; cp "$work/orig.txt" "$work/text.txt"; sync; }
lock()        { "$tool" lock --password-file "$work/pw" "$work/text.txt"; }
unlock_prep() { cp "$work/locked" "$work/text.txt.corvastine"; rm -f "$work/text.txt"; sync; }
unlock()      { "$tool" unlock --password-file "$work/pw" "$work/text.txt.corvastine"; }
gz()     { gzip -6 -c "$work/orig.txt" > "$work/orig.txt.gz"; }
gunz()   { gzip -d -c "$work/orig.txt.gz" > "$work/out.txt"; }
pgz()    { pigz -6 -c "$work/orig.txt" > "$work/orig.txt.pgz"; }
pgz1()   { pigz -6 -p 1 -c "$work/orig.txt" > "$work/orig.txt.pgz1"; }
check1() { pigz -d -p 1 -c "$work/orig.txt.pgz1" > /dev/null; }
pgunz()  { pigz -d -c "$work/orig.txt.pgz" > "$work/out.txt"; }
genc()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" --symmetric -o "$work/orig.gpg" "$work/orig.txt"; }
gdec()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" -d -o "$work/out.txt" "$work/orig.gpg"; }
# The random bytes.
rlock_prep()   { rm -f "$work/random.bin.corvastine"; cp "$work/random.orig" "$work/random.bin"; sync; }
rlock()        { "$tool" lock --password-file "$work/pw" "$work/random.bin"; }
runlock_prep() { cp "$work/rlocked" "$work/random.bin.corvastine"; rm -f "$work/random.bin"; sync; }
runlock()      { "$tool" unlock --password-file "$work/pw" "$work/random.bin.corvastine"; }
rgz()     { gzip -6 -c "$work/random.orig" > "$work/random.gz"; }
rpgz()    { pigz -6 -c "$work/random.orig" > "$work/random.pgz"; }
rgenc()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" --symmetric -o "$work/random.gpg" "$work/random.orig"; }
rgdec()   { gpg --batch --yes --pinentry-mode loopback --passphrase-file "$work/pw" -d -o "$work/random.out" "$work/random.gpg"; }
renc()    { openssl enc -aes-256-cbc -pbkdf2 -pass file:"$work/pw" -in "$work/random.orig" -out "$work/random.enc"; }
rdec()    { openssl enc -d -aes-256-cbc -pbkdf2 -pass file:"$work/pw" -in "$work/random.enc" -out "$work/random.out"; }
# The folder case: every run starts from a fresh copy (not timed).
fresh()  { rm -rf "$work/many"; cp -r "$work/$1" "$work/many"; }
lockdir()   { "$tool" lock --password-file "$work/pw" "$work/many"; }
unlockdir() { "$tool" unlock --password-file "$work/pw" "$work/many"; }
gzfiles()   { (cd "$work/many" && for f in *; do gzip -6 -k "$f"; done); }
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

# engine_bench: the least time of the repetitions of each case, as JSON.
if [ -x "$bench" ]; then
  "$bench" --benchmark_filter='BM_ShaRoundsFloor|BM_StretchSecret(Pair)?/2$|BM_BodyCipher/2/[01]/[13]|BM_BodyKeys/2|BM_(en|de)cryptfile/2|BM_PublishFloor' \
    --benchmark_repetitions=5 --benchmark_format=json > "$work/bench.json" 2>/dev/null || rm -f "$work/bench.json"
fi

rlock_prep; rlock >/dev/null; cp "$work/random.bin.corvastine" "$work/rlocked"
t_rlock=$(median -p rlock_prep rlock); t_runlock=$(median -p runlock_prep runlock)
cmp -s "$work/random.bin" "$work/random.orig" || { echo "unlock did not restore the random bytes"; exit 1; }
t_rgz=$(median rgz)
if have pigz; then t_rpgz=$(median rpgz); fi
if have gpg; then rgenc; t_rgenc=$(median rgenc); t_rgdec=$(median rgdec); fi
if have openssl; then renc; t_renc=$(median renc); t_rdec=$(median rdec); fi

lock_prep; lock >/dev/null; cp "$work/text.txt.corvastine" "$work/locked"
gz
t_lock=$(median -p lock_prep lock); t_unlock=$(median -p unlock_prep unlock)
cmp -s "$work/text.txt" "$work/orig.txt" || { echo "unlock did not restore the file"; exit 1; }
t_gz=$(median gz); t_gunz=$(median gunz)
if have pigz; then pgz; t_pgz=$(median pgz); t_pgunz=$(median pgunz); t_pgz1=$(median pgz1); t_check1=$(median check1); fi
if have gpg; then genc; t_genc=$(median genc); t_gdec=$(median gdec); fi

# Folder sources: plain and locked.
fresh many.orig; lockdir >/dev/null; cp -r "$work/many" "$work/many.locked"
t_lockdir=$(timed_dir many.orig lockdir)
t_unlockdir=$(timed_dir many.locked unlockdir)
diff -r "$work/many" "$work/many.orig" >/dev/null || { echo "unlock of the folder did not restore it"; exit 1; }
t_gzfiles=$(timed_dir many.orig gzfiles)

row() { # label seconds MiB reference-seconds reference-label target
  printf '%-26s %8.3f s %8.1f MB/s   %6.2f x %-18s %s\n' "$1" "$2" "$(echo "$3 / $2" | bc -l)" \
    "$(echo "$2 / $4" | bc -l)" "$5" "$6"
}
ratio() { # label value target
  printf '%-50s %8.3f   %s\n' "$1" "$2" "$3"
}
echo "median of $runs runs, $(nproc) cores, load average at the start: $load_start, at the end: $(load)"
if [ -f "$work/bench.json" ]; then
  echo "engine_bench (least of 5 repetitions; the floors are measured in the same run)"
  python3 - "$work/bench.json" <<'PY'
import json, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") != "iteration" or b.get("error_occurred"):
        continue
    name = b["run_name"]
    seconds = b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    runs[name] = min(runs.get(name, seconds), seconds)
def get(prefix):
    return next((v for k, v in runs.items() if k.startswith(prefix)), None)
floor1, floor2 = get("BM_ShaRoundsFloor/1"), get("BM_ShaRoundsFloor/2")
def show(label, value, target):
    print(f"{label:<50} {value:8.3f}   {target}")
if not floor1:
    print("no SHA instructions: no floor to compare with")
    sys.exit(0)
bound = 16 * 50001 / floor1  # bytes per second: 16 bytes per compression
# Unlocking 256 MiB of random bytes: the keys of its blocks (the serial half
# of the cipher, which no form outruns), then the flush of the plain file and
# the delete of the locked one (as publishing 256 MiB over a copy). With no
# second core for the AES half, the whole cipher on one thread instead; a
# lock on one core also deciphers what it wrote, to check it.
publish256, keys1 = get("BM_PublishFloor/256"), get("BM_BodyKeys/2")
enc1, dec1 = get("BM_BodyCipher/2/1/1"), get("BM_BodyCipher/2/0/1")
if publish256 and keys1:
    floors = [256 * keys1 + publish256]
    if enc1 and dec1:
        floors += [256 * dec1 + publish256, 256 * (enc1 + dec1) + publish256]
    open(sys.argv[1] + ".floor", "w").write(" ".join(repr(f) for f in floors) + "\n")
print(f"{'one bare SHA chain (floor of a stretch)':<50} {floor1 * 1e3:8.3f} ms")
print(f"{'two interleaved chains (floor of the pair)':<50} {floor2 * 1e3:8.3f} ms")
print(f"{'chain bound, 16 bytes per compression':<50} {bound / 1e6:8.1f} MB/s")
if get("BM_StretchSecret/2"):
    show("StretchSecret / one bare chain", get("BM_StretchSecret/2") / floor1, "target <= 1.05")
if get("BM_StretchSecretPair/2"):
    show("both stretches of an unlock / two chains", get("BM_StretchSecretPair/2") / floor2, "target <= 1.05")
    # What the pair cannot leave out: the SHA unit's message schedules too.
    floor3 = get("BM_ShaRoundsFloor/3")
    if floor3:
        print(f"{'two chains with their message schedules':<50} {floor3 * 1e3:8.3f} ms")
        show("both stretches / two chains with schedules", get("BM_StretchSecretPair/2") / floor3, "")
for name, label, size in (("BM_BodyCipher/2/1/3", "body cipher enciphering / chain bound", 1 << 20),
                          ("BM_BodyCipher/2/0/3", "body cipher deciphering / chain bound", 1 << 20),
                          ("BM_BodyCipher/2/1/1", "  enciphering on one thread / chain bound", 1 << 20),
                          ("BM_BodyCipher/2/0/1", "  deciphering on one thread / chain bound", 1 << 20),
                          ("BM_encryptfile/2", "encryptfile of 64 MiB / chain bound", 64 << 20),
                          ("BM_decryptfile/2", "decryptfile of 64 MiB / chain bound", 64 << 20)):
    if get(name):
        target = "" if "one thread" in label else "target >= 0.97" if "body" in label else "target >= 0.9"
        show(label, size / get(name) / bound, target)
# No form of the body cipher outruns its chain half: the keys alone.
keys = get("BM_BodyKeys/2")
if keys:
    show("keys of the blocks alone / chain bound", (1 << 20) / keys / bound, "")
    for name, label in (("BM_BodyCipher/2/1/3", "body cipher enciphering / keys alone"),
                        ("BM_BodyCipher/2/0/3", "body cipher deciphering / keys alone")):
        if get(name):
            show(label, keys / get(name), "")
# The file operations cannot publish their output before the chain's last
# key: chain time + publishing (flush, rename over the old copy) bounds them.
publish = get("BM_PublishFloor/64")
if publish:
    print(f"{'publishing 64 MiB written (flush, rename over old)':<50} {publish * 1e3:8.3f} ms")
    for name, label in (("BM_encryptfile/2", "encryptfile / (chain + publishing)"),
                        ("BM_decryptfile/2", "decryptfile / (chain + publishing)")):
        if get(name):
            show(label, ((64 << 20) / bound + publish) / get(name), "")
PY
else
  echo "engine_bench not found beside the tool: no floors"
fi
random_size=$(stat -c %s "$work/random.orig")
echo "256 MiB of random bytes; locked $(stat -c %s "$work/rlocked") bytes, +$(echo "scale=4; ($(stat -c %s "$work/rlocked") - $random_size) * 100 / $random_size" | bc -l) % (target <= +0.1 %)"
if have gpg; then
  row "corvastine lock"   "$t_rlock"   256 "$t_rgenc" "gpg -c" "target <= 0.25"
  row "corvastine unlock" "$t_runlock" 256 "$t_rgdec" "gpg -d" "target <= 0.6"
fi
if have openssl; then
  row "corvastine lock"   "$t_rlock"   256 "$t_renc" "openssl enc" "target <= 2.5"
  row "corvastine unlock" "$t_runlock" 256 "$t_rdec" "openssl enc -d" ""
  row "openssl enc"       "$t_renc"    256 "$t_renc" "openssl enc" ""
fi
row "gzip -6"             "$t_rgz"     256 "$t_rlock" "corvastine lock" ""
if have gpg && [ -f "$work/bench.json.floor" ]; then
  read -r f_unlock f_unlock1 f_lock1 < "$work/bench.json.floor"
  row "floor: keys+flush+delete" "$f_unlock" 256 "$t_rgdec" "gpg -d" ""
  ratio "corvastine unlock / its floor" "$(echo "$t_runlock / $f_unlock" | bc -l)" ""
  if [ -n "${f_lock1:-}" ]; then
    row "one-core unlock floor" "$f_unlock1" 256 "$t_rgdec" "gpg -d" ""
    ratio "corvastine unlock / its one-core floor" "$(echo "$t_runlock / $f_unlock1" | bc -l)" ""
    row "one-core lock floor" "$f_lock1" 256 "$t_rgenc" "gpg -c" ""
    ratio "corvastine lock / its one-core floor" "$(echo "$t_rlock / $f_lock1" | bc -l)" ""
  fi
fi
if have pigz; then row "pigz -6" "$t_rpgz" 256 "$t_rlock" "corvastine lock" ""; fi
if have gpg; then
  row "gpg -c"            "$t_rgenc"   256 "$t_rlock" "corvastine lock" ""
  row "gpg -d"            "$t_rgdec"   256 "$t_runlock" "corvastine unlock" ""
fi
echo "64 MiB text file; sizes: locked $(stat -c %s "$work/locked"), gzip -6 $(stat -c %s "$work/orig.txt.gz")$(have pigz && echo ", pigz -6 $(stat -c %s "$work/orig.txt.pgz")")"
ratio "locked size / gzip -6 size" "$(echo "$(stat -c %s "$work/locked") / $(stat -c %s "$work/orig.txt.gz")" | bc -l)" "target <= 1.01"
row "corvastine lock"   "$t_lock"   64 "$t_gz" "gzip -6" "target <= 0.5"
row "gzip -6"           "$t_gz"     64 "$t_gz" "gzip -6" ""
if have pigz; then
  row "pigz -6" "$t_pgz" 64 "$t_gz" "gzip -6" ""
  # A lock deflates the whole text at level 6 (its size is held to gzip -6's)
  # and inflates what it wrote to check it before the plain file goes: zlib's
  # deflate and inflate, each on one thread (pigz -p 1, the inflate written
  # nowhere). Spread perfectly over every core, that work is the lock's
  # floor; on one core (the other busy), all of it.
  floor_text=$(echo "$t_pgz1 + $t_check1" | bc -l)
  row "deflate+check, 1 core" "$floor_text" 64 "$t_gz" "gzip -6" ""
  row "deflate+check, $(nproc) cores" "$(echo "$floor_text / $(nproc)" | bc -l)" 64 "$t_gz" "gzip -6" ""
  ratio "corvastine lock / its floor on $(nproc) cores" "$(echo "$t_lock * $(nproc) / $floor_text" | bc -l)" ""
fi
if have gpg;  then row "gpg --symmetric" "$t_genc" 64 "$t_gz" "gzip -6" ""; fi
row "corvastine unlock" "$t_unlock" 64 "$t_gunz" "gzip -d" "target <= 1.0"
row "gzip -d"           "$t_gunz"   64 "$t_gunz" "gzip -d" ""
if have pigz; then row "pigz -d" "$t_pgunz" 64 "$t_gunz" "gzip -d" ""; fi
if have gpg;  then row "gpg --decrypt" "$t_gdec" 64 "$t_gunz" "gzip -d" ""; fi
echo "1,000 files of 7.5 KiB in one folder"
row "corvastine lock DIR"   "$t_lockdir"   7.5 "$t_gzfiles" "gzip -6 -k each" "target <= 1.6"
row "corvastine unlock DIR" "$t_unlockdir" 7.5 "$t_gzfiles" "gzip -6 -k each" "target <= 1.5"
row "gzip -6 -k each"       "$t_gzfiles"   7.5 "$t_gzfiles" "gzip -6 -k each" ""
