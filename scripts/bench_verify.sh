#!/usr/bin/env bash
# Verify benchmark: `sfxpack verify` of a 1 GiB package (four files of
# 240 MiB and 2,000 small ones, random bytes, with the integrity record)
# beside `cat` of the same file to /dev/null, both from the page cache, in one
# hyperfine run (median of 10; on a busy machine the CPU times say more).
# Then the peak memory of `sfxpack list` and
# `sfxpack verify` on it.
set -euo pipefail
. "$(dirname "$0")/env.sh"
cd "$SFX_ROOT"
command -v hyperfine >/dev/null || apt-get install -y -qq hyperfine >/dev/null
sfxpack="$SFX_NATIVE_BUILD/sfxpack/sfxpack"
stub="$SFX_WIN_BUILD/launcher/launcher.exe"
[ -f "$stub" ] || stub="$SFX_NATIVE_BUILD/sfxpack/stand_in_stub.exe"
out=$PWD/build/bench-verify
[ -n "${SFX_KEEP_BENCH:-}" ] || rm -rf "$out"
mkdir -p "$out/tree/small"
for i in 1 2 3 4; do
  head -c $((240 << 20)) /dev/urandom >"$out/tree/big$i.bin"
done
for i in $(seq 1 2000); do
  head -c $((i * 37 % 60000 + 1)) /dev/urandom >"$out/tree/small/f$i.dat"
done
"$sfxpack" create -o "$out/pkg.exe" --stub "$stub" "$out/tree" >/dev/null
rm -rf "$out/tree"
size=$(stat -c %s "$out/pkg.exe")
hyperfine --warmup 2 --runs 10 --export-json "$out/result.json" \
  -n cat "cat '$out/pkg.exe' >/dev/null" \
  -n verify "'$sfxpack' verify '$out/pkg.exe' >/dev/null" >/dev/null
list_kib=$(/usr/bin/time -f %M "$sfxpack" list "$out/pkg.exe" 2>&1 >/dev/null | tail -1)
verify_kib=$(/usr/bin/time -f %M "$sfxpack" verify "$out/pkg.exe" 2>&1 >/dev/null | tail -1)
python3 - "$out/result.json" "$size" "$list_kib" "$verify_kib" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
r = {x["command"]: x["median"] for x in results}
cpu = {x["command"]: x["user"] + x["system"] for x in results}
size = int(sys.argv[2])
for name, median in r.items():
    print(f"median {name:7} {median:6.3f} s  {size / median / 1e9:5.2f} GB/s  (cpu {cpu[name]:.3f} s)")
print(f"verify throughput / cat throughput: {r['cat'] / r['verify']:.2f} (by cpu time {cpu['cat'] / cpu['verify']:.2f})")
print(f"peak memory of {size >> 20} MiB package: list {int(sys.argv[3]) // 1024} MiB, verify {int(sys.argv[4]) // 1024} MiB")
PY
[ -n "${SFX_KEEP_BENCH:-}" ] || rm -rf "$out"
