#!/usr/bin/env bash
# Prints the failed checks in a GoogleTest program's output again, at its
# end, each under the name of its test: long runs otherwise bury them far
# above the last lines that a CI log keeps.
#   gtest-failures.sh OUTPUT_FILE
[ -r "$1" ] || exit 0
awk '
  { sub(/\r$/, "") }
  /^\[ RUN      \] / { test = $4; next }
  /: Failure$/ || /^unknown file: Failure/ { inside = 1; if (!printed++) print "---- failed checks ----"; print "[" test "]"; print; next }
  inside && /^\[/ { inside = 0 }
  inside { print }
' "$1" | head -n 200
