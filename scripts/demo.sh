#!/usr/bin/env bash
# Packs demo/payload into a package, runs it under Wine in silent mode, and
# shows the log and the files it extracted.
set -euo pipefail
. "$(dirname "$0")/session.sh"
cd "$SFX_ROOT"
out=build/demo
rm -rf "$out"
mkdir -p "$out/temp"
sfxpack="$SFX_NATIVE_BUILD/sfxpack/sfxpack"
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

echo "== sfxpack create"
"$sfxpack" create -o "$out/demo.exe" --stub "$SFX_WIN_BUILD/launcher/launcher.exe" \
  --title "Demo Product" demo/payload
echo "== sfxpack list"
"$sfxpack" list "$out/demo.exe"
echo "== wine demo.exe -s   (TEMP=$out/temp)"
wine "$SFX_WIN_BUILD/tools/winrun.exe" -e "TEMP=$(winpath "$out/temp")" -t 60000 \
  -c "\"$(winpath "$out/demo.exe")\" -s" </dev/null >/dev/null 2>&1
echo "exit code: $?"
echo "== SETUP.LOG (empty when all went well)"
cat -A "$out/SETUP.LOG"
echo "== extracted files"
(cd "$out/temp" && find . -type f -exec ls -l --time-style=+%Y-%m-%d\ %H:%M:%S {} + | awk '{print $6, $7, $5, $8}')
echo "== compared with demo/payload"
diff -r demo/payload "$out"/temp/~EXB0000 && echo "identical"
