#!/usr/bin/env bash
# Crash campaign: starts `corvastine lock` or `unlock` on a folder of files
# of mixed sizes (empty, small, several MiB), kills it (SIGKILL) at a random
# moment, and checks after every kill that each original file exists either
# plain and identical or as a locked file that verifies, and that nothing
# else was left in the folder. At the end everything is unlocked and
# compared with the originals.
#   campaign.sh [--runs N] [--seed S] [--files] TOOL [RUNNER]
#     --files: hand the tool the files themselves (the plain ones to lock, the
#     locked ones to unlock), as the desktop program and the shell extension
#     hand their batches the selected files; otherwise the folder.
#     RUNNER: e.g. cmake/wine-run.sh for the Windows build under Wine; the
#     Windows process is then killed by its own process id, independently
#     of the Wine server.
# Prints "runs N, files lost L, leftovers T" (and the doubles: a plain file
# and its complete locked file both present) and exits 1 unless L and T are 0.
# A temporary (NAME<GUID>.xml) can outlive a kill: empty, when the kill lands
# between its creation and its mark for deletion on Windows, or a whole copy
# of NAME, when it lands between the naming and the rename of a replacing
# unlock on Linux. The tool removes such files when it next meets them, so
# they are not leftovers unless they are still there after the final
# uninterrupted lock and unlock.
set -u
runs=20
seed=$$
files=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --files) files=1; shift ;;
    *) break ;;
  esac
done
tool=$1
runner=${2:-}
RANDOM=$seed
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
p() { if [ -n "$runner" ]; then printf 'Z:%s' "$1" | tr / '\\'; else printf '%s' "$1"; fi; }

orig=$work/orig dir=$work/files
mkdir -p "$orig" "$dir"
i=0
mk() { head -c "$2" /dev/urandom > "$orig/$1"; }
for n in 1 2 3 4 5; do : > "$orig/empty$n.txt"; done
for n in $(seq 1 25); do mk "small$n.bin" $((RANDOM % 20000 + 1)); done
for n in $(seq 1 6); do yes "line $n of a compressible text file" | head -c $((RANDOM * 8 + 100000)) > "$orig/text$n.txt"; done
for n in 1 2 3 4; do mk "large$n.bin" $((3 * 1048576 + RANDOM * 16)); done
names=$(cd "$orig" && ls)
cp "$orig"/* "$dir"/
printf 'campaign password\n' > "$work/pw"
pw=$(p "$work/pw")
target=$(p "$dir")

# The paths for one run of op: the folder, or the files op applies to.
targets() {
  if [ "$files" = 0 ]; then echo "$target"; return; fi
  local f
  for f in $names; do
    if [ "$1" = lock ]; then [ -e "$dir/$f" ] && p "$dir/$f"; else [ -e "$dir/$f.corvastine" ] && p "$dir/$f.corvastine"; fi
    echo
  done
}
run_tool() { $runner "$tool" "$1" --password-file "$pw" $(targets "$1") >/dev/null 2>&1; }

# How long an uninterrupted lock and unlock take: kills land within that.
now_ms() { date +%s%3N; }
t0=$(now_ms); run_tool lock; t1=$(now_ms)
if ! (cd "$dir" && for f in $names; do [ ! -e "$f" ] && [ -f "$f.corvastine" ] || exit 1; done); then
  echo "FAIL: an uninterrupted lock did not lock every file"; exit 1
fi
run_tool unlock; t2=$(now_ms)
lock_ms=$((t1 - t0 + 1)) unlock_ms=$((t2 - t1 + 1))
if ! (cd "$dir" && for f in $names; do cmp -s "$f" "$orig/$f" || exit 1; done); then
  echo "FAIL: an uninterrupted lock and unlock did not restore every file"; exit 1
fi

lost=0 leftovers=0 doubles=0 killed=0 maxtemps=0
# Files in the folder that are neither an original nor its locked file
# (with --temps-too, the temporaries described above as well).
strays() {
  (cd "$dir" && for f in * .[!.]*; do
    [ -e "$f" ] || continue
    base=${f%.corvastine}
    [ -f "$orig/$base" ] && [ "$base" != "$f" -o -f "$orig/$f" ] && continue
    if [ "${1:-}" != --temps-too ] && [[ "$f" =~ ^(.+)[0-9A-F]{12}[0-9a-f]{4}[0-9A-F]{16}\.xml$ ]]; then
      named=${BASH_REMATCH[1]}
      base=${named%.corvastine}
      [ -f "$orig/$base" ] && { [ ! -s "$f" ] || cmp -s "$f" "$named"; } && continue
    fi
    echo "$f"
  done)
}
# Temporaries now in the folder.
temps() { (cd "$dir" && ls | grep -cE '[0-9A-F]{12}[0-9a-f]{4}[0-9A-F]{16}\.xml$' || true); }
check() {
  local f verify=()
  # A killed Windows process's files are closed, and its pending files
  # deleted, by the Wine server once it notices the end, which on a loaded
  # machine may take seconds: wait until the strays are gone (for a minute
  # at the most).
  local s
  for _ in $(seq 1 600); do
    s=$(strays)
    [ -z "$s" ] && break
    [ -z "$runner" ] && break
    sleep 0.1
  done
  local e
  e=$(temps)
  [ "$e" -gt "$maxtemps" ] && maxtemps=$e
  if [ -n "$s" ]; then
    echo "run $1: left behind: $(cd "$dir" && for f in $s; do printf '%s (%s bytes) ' "$f" "$(stat -c %s "$f")"; done)"
    leftovers=$((leftovers + $(echo "$s" | wc -l)))
    (cd "$dir" && rm -f $s)
  fi
  for f in $names; do
    if [ -e "$dir/$f" ]; then
      if ! cmp -s "$dir/$f" "$orig/$f"; then
        echo "run $1: $f differs from the original"; lost=$((lost + 1)); cp "$orig/$f" "$dir/$f"
      elif [ -e "$dir/$f.corvastine" ]; then
        doubles=$((doubles + 1)); rm -f "$dir/$f.corvastine"
      fi
    elif [ -e "$dir/$f.corvastine" ]; then
      verify+=("$(p "$dir/$f.corvastine")")
    else
      echo "run $1: $f is gone"; lost=$((lost + 1)); cp "$orig/$f" "$dir/$f"
    fi
  done
  if [ ${#verify[@]} -gt 0 ]; then
    local out
    out=$($runner "$tool" verify --password-file "$pw" "${verify[@]}" 2>&1 | tr -d '\r')
    local bad
    bad=$(printf '%s\n' "$out" | grep -c ': bad' || true)
    if [ "$bad" != 0 ]; then
      echo "run $1: locked files that do not verify:"; printf '%s\n' "$out" | grep ': bad'
      lost=$((lost + bad))
    fi
  fi
}

for r in $(seq 1 "$runs"); do
  if [ $((r % 2)) = 1 ]; then op=lock span=$lock_ms; else op=unlock span=$unlock_ms; fi
  delay_ms=$(( (RANDOM * 32768 + RANDOM) % span ))
  # Under Wine the runner execs Wine, whose loader becomes the Windows
  # process: its process id is the one to kill.
  $runner "$tool" $op --password-file "$pw" $(targets $op) >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
  if [ -n "$state" ] && [ "$state" != Z ]; then killed=$((killed + 1)); fi
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  check "$r"
done

# Everything back: a whole lock and unlock (which also remove any
# temporaries they meet), then every file compared with its original.
run_tool lock
run_tool unlock
for f in $names; do
  if ! cmp -s "$dir/$f" "$orig/$f"; then echo "end: $f not restored"; lost=$((lost + 1)); fi
done
s=$(strays --temps-too)
[ -n "$s" ] && { echo "end: left behind: $(echo $s)"; leftovers=$((leftovers + $(echo "$s" | wc -l))); }

echo "seed $seed, $(echo $names | wc -w) files, lock ${lock_ms} ms, unlock ${unlock_ms} ms"
echo "runs $runs, files lost $lost, leftovers $leftovers (killed while running: $killed, doubles: $doubles, temporaries removed later: $maxtemps)"
[ "$lost" = 0 ] && [ "$leftovers" = 0 ]
