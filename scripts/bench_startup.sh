#!/usr/bin/env bash
# Start-up benchmark: a one-file package run silently, start to exit, beside
# a Windows program that does nothing, in one hyperfine run (median of 30).
set -euo pipefail
. "$(dirname "$0")/session.sh"
cd "$SFX_ROOT"
command -v hyperfine >/dev/null || apt-get install -y -qq hyperfine >/dev/null
out=build/bench-startup
rm -rf "$out"
mkdir -p "$out/payload" "$out/temp"
printf 'one file\r\n' > "$out/payload/ONE.TXT"
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$out/one.exe" \
  --stub "$SFX_WIN_BUILD/launcher/launcher.exe" "$out/payload" >/dev/null
cp "$SFX_WIN_BUILD/tools/donothing.exe" "$out/"
# TEMP for the package: the prefix's own Temp is used, and every run leaves
# ~EXBnnnn behind (no setup command), so it is emptied before each run.
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
hyperfine --warmup 3 --runs 30 --export-json "$out/result.json" \
  -n do-nothing "wine $out/donothing.exe" \
  -n one-file-package --prepare "rm -rf '$temp'/~EXB*" "wine $out/one.exe -s"
python3 - "$out/result.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
base, pkg = r["do-nothing"]["median"], r["one-file-package"]["median"]
print(f"median do-nothing {base:.4f} s, one-file package {pkg:.4f} s, difference {pkg - base:.4f} s")
PY
