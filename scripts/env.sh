# Sourced by the scripts: the project's private Wine prefix and build folders.
SFX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$SFX_ROOT/build/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
SFX_WIN_BUILD="${SFX_BUILD_ROOT:-$SFX_ROOT/build}/win"
SFX_NATIVE_BUILD="${SFX_BUILD_ROOT:-$SFX_ROOT/build}/native"
