#!/usr/bin/env bash
# Long fuzzing of the package reader (list, verify, the integrity record and
# extract's name rules) under AddressSanitizer and UndefinedBehaviorSanitizer:
#   scripts/fuzz.sh [SECONDS]      (default 600)
# Starts from tests/fuzz/corpus; what it learns stays in build/fuzz-corpus.
# A finding is written as build/fuzz-findings/crash-*: fix it, then copy it
# into tests/fuzz/corpus/ so that `make test` replays it from then on.
set -euo pipefail
. "$(dirname "$0")/env.sh"
cd "$SFX_ROOT"
seconds=${1:-600}
cmake --build "$SFX_NATIVE_BUILD" --target package_fuzz >/dev/null
mkdir -p build/fuzz-corpus build/fuzz-findings
exec "$SFX_NATIVE_BUILD/tests/package_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz-findings/ build/fuzz-corpus tests/fuzz/corpus
