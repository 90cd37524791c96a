#!/usr/bin/env bash
# The launcher beside an NSIS installer that installs the same 200 MB tree
# (stored, no compression, default progress page, closing by itself), both
# with their windows shown under Xvfb and both silent, in one hyperfine run.
set -uo pipefail
. "$(dirname "$0")/session.sh"
set -e
cd "$SFX_ROOT"
command -v hyperfine >/dev/null || apt-get install -y -qq hyperfine >/dev/null
command -v makensis >/dev/null || apt-get install -y -qq nsis >/dev/null
out=$PWD/build/bench-nsis
rm -rf "$out"
mkdir -p "$out"
scripts/bench_tree.py "$out" >/dev/null
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$out/tree.exe" \
  --stub "$SFX_WIN_BUILD/launcher/launcher.exe" "$out/tree" >/dev/null
cat >"$out/tree.nsi" <<NSI
Name "Tree"
OutFile "$out/nsis-tree.exe"
SetCompress off
RequestExecutionLevel user
InstallDir "\$TEMP\\nsis-tree"
AutoCloseWindow true
Page instfiles
Section
  SetOutPath "\$INSTDIR"
  File /r "$out/tree/*.*"
SectionEnd
NSI
makensis -V1 "$out/tree.nsi"
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
clean="rm -rf '$temp'/~EXB* '$temp'/nsis-tree"
hyperfine --warmup 1 --runs 10 --export-json "$out/result.json" \
  -n launcher-shown --prepare "$clean" "wine $out/tree.exe" \
  -n nsis-shown --prepare "$clean" "wine $out/nsis-tree.exe" \
  -n launcher-silent --prepare "$clean" "wine $out/tree.exe -s" \
  -n nsis-silent --prepare "$clean" "wine $out/nsis-tree.exe /S"
eval "$clean"
python3 - "$out/result.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
for name, median in r.items():
    print(f"median {name:16} {median:7.3f} s")
print(f"shown: launcher / nsis {r['launcher-shown'] / r['nsis-shown']:.2f}; "
      f"silent: launcher / nsis {r['launcher-silent'] / r['nsis-silent']:.2f}")
PY
