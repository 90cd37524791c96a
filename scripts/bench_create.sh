#!/usr/bin/env bash
# Package writer benchmark: `sfxpack create` (integrity record included, and
# without it) beside `cat` of the same files into one file, on the 200 MB / 2,000-file
# tree and on about 1.9 GiB in four files: medians of hyperfine runs with
# warm caches, mean processor time (user and system, steadier than the wall
# clock on a busy machine), and the writer's peak memory (GNU time's maximum
# resident set size).
# With --wine, the 1.9 GiB package, written with the launcher that runs here
# (the 64-bit test build where 32-bit programs cannot run), is then run
# silently under Wine and what it extracts is compared byte for byte with the
# sources.
set -euo pipefail
wine_check=no
case "${1:-}" in
  --wine) wine_check=yes ;;
  "") ;;
  *) echo "usage: $0 [--wine]" >&2; exit 2 ;;
esac
. "$(dirname "$0")/env.sh"
cd "$SFX_ROOT"
command -v hyperfine >/dev/null || apt-get install -y -qq hyperfine >/dev/null
[ -x /usr/bin/time ] || scripts/setup.sh
sfxpack="$SFX_NATIVE_BUILD/sfxpack/sfxpack"
stub="$SFX_SHIP_BUILD/launcher/launcher.exe"
out=$PWD/build/bench-create
rm -rf "$out"
mkdir -p "$out"
scripts/bench_tree.py "$out" >/dev/null
rm -rf "$out/one"
# Four files of 486 MiB: 1,944 MiB in all, the same bytes every time.
python3 - "$out/big" <<'PY'
import os, random, sys
os.makedirs(sys.argv[1])
block = random.Random(11).randbytes(1 << 20)
for i in range(4):
    with open(os.path.join(sys.argv[1], f"part{i}.bin"), "wb") as f:
        for k in range(486):
            s = (i * 4099 + k * 131) % len(block)
            f.write(block[s:] + block[:s])
PY

# One line per figure: what, median seconds, MB/s, peak resident memory.
measure() {
  local name=$1 dir=$2 runs=$3
  local files bytes
  mapfile -t files < <(find "$dir" -type f | sort)
  bytes=$(cat "${files[@]}" | wc -c)
  printf '%s\n' "${files[@]}" >"$out/$name.list"
  hyperfine --warmup 1 --runs "$runs" --export-json "$out/$name.json" \
    -n create --prepare "rm -f '$out/$name.exe'" "'$sfxpack' create --quiet -o '$out/$name.exe' --stub '$stub' '$dir'" \
    -n no-integrity --prepare "rm -f '$out/$name.exe'" \
    "'$sfxpack' create --quiet --no-integrity -o '$out/$name.exe' --stub '$stub' '$dir'" \
    -n cat --prepare "rm -f '$out/$name.cat'" "xargs -d '\n' cat <'$out/$name.list' >'$out/$name.cat'" >/dev/null
  rm -f "$out/$name.exe"
  /usr/bin/time -f '%M' -o "$out/$name.rss" "$sfxpack" create --quiet -o "$out/$name.exe" --stub "$stub" "$dir"
  rm -f "$out/$name.cat"
  python3 - "$out/$name.json" "$bytes" "$(cat "$out/$name.rss")" "$name" <<'PY'
import json, sys
results = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
r = {what: x["median"] for what, x in results.items()}
cpu = {what: x["user"] + x["system"] for what, x in results.items()}
bytes, rss, name = int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
for what in ("create", "no-integrity", "cat"):
    print(f"{name:5} {what:12} {r[what]:7.3f} s  {bytes / r[what] / 1e6:7.1f} MB/s  cpu {cpu[what]:6.3f} s")
print(f"{name:5} create / cat throughput {r['cat'] / r['create']:.2f} (by cpu time {cpu['cat'] / cpu['create']:.2f});"
      f" create peak memory {rss / 1024:.1f} MiB")
PY
}

measure tree "$out/tree" 10
measure big "$out/big" 10

if [ "$wine_check" = yes ]; then
  . scripts/session.sh
  "$sfxpack" create --quiet -o "$out/wine.exe" --stub "$SFX_WIN_BUILD/launcher/launcher.exe" "$out/big"
  # TEMP for the package: the prefix's own Temp; without a setup command the
  # extracted files stay in ~EXBnnnn for the comparison.
  temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
  rm -rf "$temp"/~EXB*
  start=$(date +%s%N)
  wine "$out/wine.exe" -s </dev/null >/dev/null 2>&1
  end=$(date +%s%N)
  extracted=$(ls -d "$temp"/~EXB*)
  if diff -r "$out/big" "$extracted"; then
    echo "wine  extracted $(du -sb "$extracted" | cut -f1) bytes, the same bytes, in $(((end - start) / 1000000)) ms"
  else
    echo "wine  the extracted files differ from the sources; log:" >&2
    cat "$out/SETUP.LOG" >&2 2>/dev/null || true
    exit 1
  fi
  rm -rf "$temp"/~EXB* "$out/wine.exe"
fi
rm -rf "$out/big" "$out/tree" "$out/big.exe" "$out/tree.exe"
