#!/usr/bin/env bash
# Runs one Windows GoogleTest program under the project's Wine prefix. A
# program that crashes can leave Wine with exit code 0, so success also needs
# GoogleTest's own closing line. The output goes through a file, never a
# pipe: Wine's background services may inherit it.
. "$(dirname "$0")/env.sh"
out=$(mktemp)
wine "$@" </dev/null >"$out" 2>&1
code=$?
cat "$out"
grep -q '^\[  PASSED  \]' "$out" || { [ "$code" = 0 ] && code=1; }
rm -f "$out"
exit $code
