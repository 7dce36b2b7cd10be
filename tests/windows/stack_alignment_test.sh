#!/usr/bin/env bash
# 32-bit Windows code can be entered on a stack aligned to 4 bytes only (a
# thread started by a host program, a callback from code built elsewhere).
# Checks every function in the given object folders: one that touches the
# stack with an SSE instruction needing 16-byte alignment (movdqa, movaps,
# or any legacy SSE operation with a memory operand, AES rounds included)
# must realign its own frame (and $0xfffffff0,%esp).
#   stack_alignment_test.sh OBJDUMP FOLDER...
set -euo pipefail
objdump=$1
shift
objects=()
for folder in "$@"; do
  while IFS= read -r -d '' f; do objects+=("$f"); done < <(find "$folder" -name '*.obj' -print0 | sort -z)
done
if [ "${#objects[@]}" = 0 ]; then
  echo "stack_alignment_test: no object files under $*" >&2
  exit 2
fi
status=0
checked=0
for obj in "${objects[@]}"; do
  report=$("$objdump" -d --no-show-raw-insn -C "$obj" | awk -v obj="$obj" '
    function finish() {
      if (name != "" && needs != "" && !realigned) {
        printf "%s: %s uses an aligned stack slot without realigning: %s\n", obj, name, needs
        bad++
      }
      if (name != "" && needs != "") sse++
    }
    /^[0-9a-f]+ <.*>:$/ { finish(); name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name); needs = ""; realigned = 0; next }
    /\tand +\$0xff+[0-9a-f]0,%esp/ { realigned = 1 }
    /%xmm/ && /\(%e(sp|bp)[,)]/ {
      n = split($0, parts, "\t"); insn = parts[n]; mnemonic = insn; sub(/ .*/, "", mnemonic)
      # Operations that accept any alignment: unaligned moves, moves of
      # 32 or 64 bits, scalar operations, element inserts and extracts.
      if (mnemonic ~ /^(movdqu|movups|movupd|lddqu|movd|movq|movss|movsd|movlps|movhps|movlpd|movhpd|pinsr.|pextr.|extractps|insertps|cvt.*)$/) next
      if (mnemonic ~ /(ss|sd)$/) next
      if (mnemonic ~ /^v/ && mnemonic !~ /^vmov(dqa|aps|apd|ntdq|ntps|ntpd)$/) next
      if (needs == "") needs = insn
    }
    END { finish(); printf "SUMMARY %d %d\n", sse, bad }')
  summary=$(printf '%s\n' "$report" | grep '^SUMMARY' | tail -1)
  printf '%s\n' "$report" | grep -v '^SUMMARY' || true
  set -- $summary
  checked=$((checked + $2))
  if [ "$3" != 0 ]; then status=1; fi
done
echo "stack_alignment_test: ${#objects[@]} object files, $checked functions with aligned SSE stack slots"
if [ "$status" = 0 ]; then echo "stack_alignment_test: every one realigns its stack"; fi
exit "$status"
