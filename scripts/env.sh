# Sourced by the scripts: the project's private Wine prefix and build folders.
SFX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$SFX_ROOT/build/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
SFX_BUILD_DIR="${SFX_BUILD_ROOT:-$SFX_ROOT/build}"
SFX_NATIVE_BUILD="$SFX_BUILD_DIR/native"
# The shipped launcher and sfxpack.exe: 32-bit Windows, always built.
SFX_SHIP_BUILD="$SFX_BUILD_DIR/win"

# Some machines run no 32-bit user code at all (the kernel refuses i386
# programs, so 32-bit Wine cannot start). There the launcher, the Windows
# tests and their tools are also built for x86_64 and run under 64-bit Wine;
# SFX_WIN_BUILD is the Windows build that runs here. SFX_WIN_ARCH=i686 or
# x86_64 overrides the check.
if [ -z "${SFX_WIN_ARCH:-}" ]; then
  if [ -e /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    SFX_WIN_ARCH=x86_64
  else
    SFX_WIN_ARCH=i686
  fi
fi
export SFX_WIN_ARCH
if [ "$SFX_WIN_ARCH" = x86_64 ]; then
  SFX_WIN_BUILD="$SFX_BUILD_DIR/win64"
  # Debian's `wine` starts the 32-bit loader first, even for 64-bit programs.
  export WINELOADER=/usr/lib/wine/wine64
  mkdir -p "$SFX_BUILD_DIR/wine64-bin"
  if [ ! -x "$SFX_BUILD_DIR/wine64-bin/wine" ]; then
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$SFX_BUILD_DIR/wine64-bin/wine"
    chmod +x "$SFX_BUILD_DIR/wine64-bin/wine"
  fi
  case ":$PATH:" in *":$SFX_BUILD_DIR/wine64-bin:"*) ;; *) export PATH="$SFX_BUILD_DIR/wine64-bin:$PATH" ;; esac
else
  SFX_WIN_BUILD="$SFX_SHIP_BUILD"
fi
