#!/usr/bin/env bash
# Extraction benchmark: a silent run of a 200 MB package of 2,000 files in 50
# nested directories, beside the same package without its integrity record
# (what the record's checks cost) and beside copying the same tree inside Wine
# (xcopy) and natively (cp -r), in one hyperfine run (median of 10). Then the
# same bytes as one file, and the cost of the per-block progress pump on its
# own.
set -uo pipefail
. "$(dirname "$0")/session.sh"
set -e
cd "$SFX_ROOT"
command -v hyperfine >/dev/null || apt-get install -y -qq hyperfine >/dev/null
out=$PWD/build/bench-extract
rm -rf "$out"
mkdir -p "$out"
scripts/bench_tree.py "$out"
stub="$SFX_WIN_BUILD/launcher/launcher.exe"
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$out/tree.exe" --stub "$stub" "$out/tree" >/dev/null
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create --no-integrity -o "$out/tree-no-record.exe" --stub "$stub" \
  "$out/tree" >/dev/null
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$out/one.exe" --stub "$stub" "$out/one" >/dev/null
# TEMP for the packages: the prefix's own Temp. Without a setup command every
# run leaves ~EXBnnnn behind, so it is emptied before each run.
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
# Wine's Z: drive is /; no Wine program's output goes through a pipe.
src="Z:${out//\//\\}\\tree"
dst="Z:${out//\//\\}\\xcopy"
hyperfine --warmup 1 --runs 10 --export-json "$out/result.json" \
  -n extract --prepare "rm -rf '$temp'/~EXB*" "wine $out/tree.exe -s" \
  -n extract-no-record --prepare "rm -rf '$temp'/~EXB*" "wine $out/tree-no-record.exe -s" \
  -n xcopy --prepare "rm -rf '$out/xcopy'" "wine xcopy /e /i /q /y '$src' '$dst'" \
  -n cp --prepare "rm -rf '$out/cp'" "cp -r '$out/tree' '$out/cp'" \
  -n extract-one-file --prepare "rm -rf '$temp'/~EXB*" "wine $out/one.exe -s"
rm -rf "$temp"/~EXB* "$out/xcopy" "$out/cp"
blocks=$("$SFX_NATIVE_BUILD/sfxpack/sfxpack" list "$out/tree.exe" | sed -n 's/^totalBlocks: //p')
wine "$SFX_WIN_BUILD/tools/pumpcost.exe" "$blocks" >"$out/pump.txt" </dev/null 2>/dev/null
pump=$(sed -n 's/^pump //p' "$out/pump.txt")
python3 - "$out/result.json" "$blocks" "$pump" <<'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
blocks, pump = int(sys.argv[2]), float(sys.argv[3])
for name, median in r.items():
    print(f"median {name:17} {median:7.3f} s")
print(f"integrity record: extract / extract-no-record {r['extract'] / r['extract-no-record']:.3f}")
print(f"ratio extract / xcopy {r['extract'] / r['xcopy']:.2f}, extract / cp {r['extract'] / r['cp']:.1f}")
print(f"pump: {pump:.1f} us per update x {blocks} blocks = {pump * blocks / 1e6:.3f} s")
print(f"per file beyond the one-file run: {(r['extract'] - r['extract-one-file']) / 2000 * 1e3:.3f} ms")
PY
