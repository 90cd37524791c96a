#!/usr/bin/env bash
# Builds the Windows side (launcher, tools, Windows tests) and the native side
# (package writer, test drivers) into build/.
set -euo pipefail
. "$(dirname "$0")/env.sh"
cd "$SFX_ROOT"
cmake -S . -B "$SFX_WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DWINEPREFIX="$WINEPREFIX" -DWIN_BUILD_DIR="$SFX_WIN_BUILD" >/dev/null
cmake --build "$SFX_WIN_BUILD" -j"$(nproc)"
cmake -S . -B "$SFX_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Release \
  -DWINEPREFIX="$WINEPREFIX" -DWIN_BUILD_DIR="$SFX_WIN_BUILD" \
  -DSHIPPED_LAUNCHER="$SFX_WIN_BUILD/launcher/launcher.exe" >/dev/null
cmake --build "$SFX_NATIVE_BUILD" -j"$(nproc)"
