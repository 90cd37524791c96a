#!/usr/bin/env bash
# Runs the whole test suite: the Windows tests under Wine, then the native
# unit tests and the end-to-end tests that run the launcher under Wine.
set -euo pipefail
. "$(dirname "$0")/session.sh"
cd "$SFX_ROOT"
status=0
ctest --test-dir "$SFX_WIN_BUILD" --output-on-failure -j2 "$@" || status=1
ctest --test-dir "$SFX_NATIVE_BUILD" --output-on-failure "$@" || status=1
exit $status
