#!/usr/bin/env bash
# Installs, only where missing, what building and testing need on a fresh
# Debian 12 machine (with `deb`, also what making the Debian package needs),
# then creates the project's private Wine prefix once.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake make g++ \
         googletest xvfb xauth imagemagick locales time wine wine64 wine32:i386 \
         openssl osslsigncode clang libclang-rt-14-dev icoutils pev \
         gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
         lzma-dev liblzma-dev libgettextpo-dev fonts-wqy-zenhei; do
  have_pkg "$p" || need+=("$p")
done
# `scripts/setup.sh deb`: what the Debian package's dependencies are read with.
if [ "${1:-}" = deb ]; then
  for p in dpkg-dev file lintian; do
    have_pkg "$p" || need+=("$p")
  done
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Where 32-bit programs cannot run, the Windows side is also built for x86_64.
. scripts/env.sh
if [ "$SFX_WIN_ARCH" = x86_64 ]; then
  need=()
  for p in g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64; do
    have_pkg "$p" || need+=("$p")
  done
  if [ ${#need[@]} -gt 0 ]; then
    echo "setup: this machine runs no 32-bit code; installing ${need[*]} for 64-bit test builds"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
fi

# Double-byte code page tests run Wine with LC_ALL=ja_JP.UTF-8: Wine takes
# code page 932 from the name alone, but converts file names correctly only
# when the C library has the locale. The translation tests run Wine in German
# (Germany and Austria) and Japanese.
for loc in ja_JP de_DE de_AT; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf8"; then
    echo "setup: generating locale $loc.UTF-8"
    localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done

scripts/wineprefix.sh
