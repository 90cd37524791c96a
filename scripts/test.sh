#!/usr/bin/env bash
# Runs the whole test suite: the Windows tests under Wine, then the native
# unit tests and the end-to-end tests that run the launcher under Wine.
set -euo pipefail
. "$(dirname "$0")/session.sh"
cd "$SFX_ROOT"
status=0
# Windows driven under Wine and Xvfb have timing of their own: a test
# program that fails is run once more, and its first failure stays in the
# output. A real fault fails both runs.
ctest --test-dir "$SFX_WIN_BUILD" --output-on-failure --repeat until-pass:2 -j2 "$@" || status=1
ctest --test-dir "$SFX_NATIVE_BUILD" --output-on-failure --repeat until-pass:2 "$@" || status=1
exit $status
