#!/usr/bin/env bash
# Runs the vault's user-interface tests with two drives, U: and W:, each a
# scratch folder of its own (the tests' scripted USB drives), through
# tests/ui/run-ui-test.sh; the folders are removed afterwards.
#   run-vault-ui-test.sh [--dpi N] program.exe [arguments...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dpi=96
if [ "${1:-}" = --dpi ]; then
  dpi=$2
  shift 2
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/corva-vault-drives.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/u" "$scratch/w"
status=0
"$here/../../ui/run-ui-test.sh" --dpi "$dpi" --drive "U=$scratch/u" --drive "W=$scratch/w" "$@" || status=$?
exit "$status"
