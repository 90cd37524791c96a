#!/usr/bin/env bash
# Builds the Debian package from a native build folder (the argument) into a
# scratch folder, as `make deb` does, and has lintian check it: any error
# fails. Without a configured maintainer, a stand-in one is given to cpack.
set -euo pipefail
native="$1"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sfx-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
maintainer=()
if ! grep -q '^set(CPACK_DEBIAN_PACKAGE_MAINTAINER "[^"]' "$native/CPackConfig.cmake"; then
  maintainer=(-D "CPACK_DEBIAN_PACKAGE_MAINTAINER=Package Check <package-check@sfxpack.invalid>")
fi
cpack --config "$native/CPackConfig.cmake" -B "$scratch" "${maintainer[@]}" >/dev/null
deb=$(ls "$scratch"/*.deb)
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$(basename "$deb"): no lintian error"
