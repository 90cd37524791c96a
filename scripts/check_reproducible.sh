#!/usr/bin/env bash
# Builds the launcher a second time, from scratch, in a folder of its own
# under another path, and compares it byte for byte with the one in the
# shipped Windows build folder (the argument; by default the project's):
# the same source must give the same bytes, wherever and whenever it is built.
set -euo pipefail
. "$(dirname "$0")/env.sh"
win_build="${1:-$SFX_SHIP_BUILD}"
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$win_build/CMakeCache.txt")
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$win_build/CMakeCache.txt")
second=$(mktemp -d "${TMPDIR:-/tmp}/sfx-second-build.XXXXXX")
trap 'rm -rf "$second"' EXIT
cmake -S "$SFX_ROOT" -B "$second" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
cmake --build "$second" --target launcher -j"$(nproc)" >/dev/null
cmp "$win_build/launcher/launcher.exe" "$second/launcher/launcher.exe"
echo "launcher.exe: the same $(stat -c %s "$second/launcher/launcher.exe") bytes from a second build"
