#!/usr/bin/env bash
# The main job: builds the command-line tool and locks, verifies and unlocks
# a sample file with it, showing that the restored file equals the original.
# With --desktop it shows the desktop program under Wine instead
# (scripts/demo-desktop.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "${1:-}" = --desktop ]; then
  exec "$here/demo-desktop.sh"
fi
root=$(dirname "$here")
cd "$root"
"$here/bootstrap.sh" --linux-only
cmake --preset linux >/dev/null
cmake --build --preset linux --target corvastine >/dev/null
tool=$root/build/linux/bin/corvastine

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=$work/sample.txt
for i in $(seq 1 2000); do echo "Line $i of a sample file that Corvastine locks and unlocks."; done > "$sample"
cp "$sample" "$work/original.txt"
printf 'correct horse battery staple\n' > "$work/password.txt"
chmod 600 "$work/password.txt"

echo "\$ corvastine lock sample.txt";   "$tool" lock   --password-file "$work/password.txt" "$sample"
ls -l "$work" | sed 's/^/    /'
echo "\$ corvastine info sample.txt.corvastine"; "$tool" info "$sample.corvastine"
echo "\$ corvastine verify sample.txt.corvastine"; "$tool" verify --password-file "$work/password.txt" "$sample.corvastine"
echo "\$ corvastine unlock sample.txt.corvastine"; "$tool" unlock --password-file "$work/password.txt" "$sample.corvastine"
if cmp -s "$sample" "$work/original.txt"; then
  echo "The unlocked file is identical to the original."
else
  echo "The unlocked file differs from the original!" >&2
  exit 1
fi
