#!/usr/bin/env bash
# Builds the Windows side (launcher, tools, Windows tests) and the native side
# (package writer, test drivers) into build/. Where 32-bit Windows programs
# cannot run, the Windows side is built a second time for x86_64, and the
# tests use that build.
set -euo pipefail
. "$(dirname "$0")/env.sh"
cd "$SFX_ROOT"
configure_windows() {
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$2.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DWINEPREFIX="$WINEPREFIX" -DWIN_BUILD_DIR="$1" \
    -DSHIP_BUILD_DIR="$SFX_SHIP_BUILD" >/dev/null
  cmake --build "$1" -j"$(nproc)"
}
configure_windows "$SFX_SHIP_BUILD" i686
if [ "$SFX_WIN_BUILD" != "$SFX_SHIP_BUILD" ]; then
  configure_windows "$SFX_WIN_BUILD" x86_64
fi
cmake -S . -B "$SFX_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Release \
  -DWINEPREFIX="$WINEPREFIX" -DWIN_BUILD_DIR="$SFX_WIN_BUILD" -DSHIP_BUILD_DIR="$SFX_SHIP_BUILD" >/dev/null
cmake --build "$SFX_NATIVE_BUILD" -j"$(nproc)"
