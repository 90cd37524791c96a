#!/usr/bin/env bash
# A compressed package beside NSIS (SetCompressor /SOLID lzma) and 7-Zip's
# self-extractor (7z a -mx9 -sfx) on a release-like payload built from
# installed Debian packages: the 150 largest of Wine's i386-windows DLLs,
# stripped, and the mingw-w64 headers. Sizes, create times, silent
# extraction under Wine with TEMP on disk and on a tmpfs, and the peak
# memory of a run; then a stored package beside cat and NSIS's stored
# installer. The machine is shared: every figure is compared within the
# same run, and the ratios are what to read.
set -uo pipefail
. "$(dirname "$0")/session.sh"
set -e
cd "$SFX_ROOT"
command -v makensis >/dev/null || apt-get install -y -qq nsis >/dev/null
command -v 7z >/dev/null || apt-get install -y -qq p7zip-full >/dev/null
command -v i686-w64-mingw32-strip >/dev/null || apt-get install -y -qq binutils-mingw-w64-i686 >/dev/null
out=$PWD/build/bench-compress
runs=${BENCH_RUNS:-3}
rm -rf "$out"
mkdir -p "$out/payload/bin" "$out/payload/include"
wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
mapfile -t dlls < <(ls -S "$wine_dlls"/*.dll)
for dll in "${dlls[@]:0:150}"; do
  i686-w64-mingw32-strip -o "$out/payload/bin/$(basename "$dll")" "$dll"
done
cp -r /usr/share/mingw-w64/include/. "$out/payload/include/"
files=$(find "$out/payload" -type f | wc -l)
bytes=$(du -sb "$out/payload" | cut -f1)
echo "payload: $files files, $bytes bytes"

sfxpack="$SFX_NATIVE_BUILD/sfxpack/sfxpack"
stub="$SFX_WIN_BUILD/launcher/launcher.exe"
seconds() { /usr/bin/time -f %e -o "$out/time" "$@" >/dev/null 2>&1; cat "$out/time"; }
cat >"$out/solid.nsi" <<NSI
Name "Payload"
OutFile "$out/nsis-solid.exe"
SetCompressor /SOLID lzma
RequestExecutionLevel user
InstallDir "\$TEMP\\nsis-payload"
AutoCloseWindow true
Page instfiles
Section
  SetOutPath "\$INSTDIR"
  File /r "$out/payload/*.*"
SectionEnd
NSI
sed -e 's|SetCompressor /SOLID lzma|SetCompress off|' -e 's|nsis-solid.exe|nsis-stored.exe|' \
  "$out/solid.nsi" >"$out/stored.nsi"

t_pack=$(seconds "$sfxpack" create --quiet --compress -o "$out/pack.exe" --stub "$stub" "$out/payload")
t_nsis=$(seconds makensis -V1 "$out/solid.nsi")
t_7z=$(seconds 7z a -mx9 -sfx "$out/7z.exe" "$out/payload/.")
t_stored=$(seconds "$sfxpack" create --quiet -o "$out/stored.exe" --stub "$stub" "$out/payload")
t_cat=$(seconds sh -c "find '$out/payload' -type f -print0 | sort -z | xargs -0 cat >'$out/cat.bin'")
makensis -V1 "$out/stored.nsi"
size() { stat -c %s "$1"; }

# Silent extraction under Wine; TEMP as the launcher and NSIS see it, set
# through winrun. A tmpfs at $out/ram when one can be mounted.
winrun="$SFX_WIN_BUILD/tools/winrun.exe"
disk_temp="$out/temp-disk"
mkdir -p "$disk_temp" "$out/ram"
ram_temp=""
if mount -t tmpfs -o size=1g tmpfs "$out/ram" 2>/dev/null; then
  ram_temp="$out/ram"
  trap 'umount "$out/ram"' EXIT
fi
winpath() { echo "Z:${1//\//\\}"; }
extract() {  # package, arguments, TEMP: seconds of the median run
  local best=() i
  for ((i = 0; i < runs; i++)); do
    rm -rf "$3"/*
    best+=("$(seconds wine "$winrun" -e "TEMP=$(winpath "$3")" -e "TMP=$(winpath "$3")" -c "$(winpath "$1") $2")")
  done
  printf '%s\n' "${best[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}
# Run straight under wine, not through winrun, so that GNU time sees the
# launcher's own process; TEMP is then the prefix's.
prefix_temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
peak() {  # peak resident kilobytes of a silent run
  rm -rf "$prefix_temp"/~EXB*
  /usr/bin/time -f %M -o "$out/peak" wine "$1" $2 >/dev/null 2>&1
  rm -rf "$prefix_temp"/~EXB*
  cat "$out/peak"
}
wine "$winrun" -c "cmd /c exit" >/dev/null 2>&1 || true
declare -A x
for temp in disk ram; do
  dir=$disk_temp
  [ "$temp" = ram ] && dir=$ram_temp
  [ -n "$dir" ] || continue
  x[pack-$temp]=$(extract "$out/pack.exe" -s "$dir")
  x[nsis-$temp]=$(extract "$out/nsis-solid.exe" /S "$dir")
  x[stored-$temp]=$(extract "$out/stored.exe" -s "$dir")
  x[nsisstored-$temp]=$(extract "$out/nsis-stored.exe" /S "$dir")
done
peak_pack=$(peak "$out/pack.exe" -s)
peak_stored=$(peak "$out/stored.exe" -s)
rm -rf "$disk_temp"/*

ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
echo "launcher: $(size "$stub") bytes"
echo "size: sfxpack --compress $(size "$out/pack.exe"), NSIS solid lzma $(size "$out/nsis-solid.exe"), 7z -mx9 -sfx $(size "$out/7z.exe")"
echo "size ratios: /NSIS $(ratio "$(size "$out/pack.exe")" "$(size "$out/nsis-solid.exe")"), /7z $(ratio "$(size "$out/pack.exe")" "$(size "$out/7z.exe")")"
echo "create s: sfxpack --compress $t_pack, NSIS $t_nsis, 7z $t_7z; ratio /7z $(ratio "$t_pack" "$t_7z")"
echo "create s (stored): sfxpack $t_stored, cat $t_cat"
for temp in disk ram; do
  [ -n "${x[pack-$temp]:-}" ] || continue
  echo "silent extraction s, TEMP on $temp: compressed ${x[pack-$temp]}, NSIS solid ${x[nsis-$temp]}" \
       "(ratio $(ratio "${x[pack-$temp]}" "${x[nsis-$temp]}")); stored ${x[stored-$temp]}," \
       "NSIS stored ${x[nsisstored-$temp]} (ratio $(ratio "${x[stored-$temp]}" "${x[nsisstored-$temp]}"))"
done
echo "peak resident KiB of a silent run: compressed $peak_pack, stored $peak_stored"

# Chunk sizes and the x86 branch filter, with liblzma (Python's lzma) on the
# payload's files in stored order: raw LZMA1 at 9e in independent pieces.
python3 - "$out/payload" <<'PY'
import lzma, os, sys
from concurrent.futures import ProcessPoolExecutor
root = sys.argv[1]
names = sorted(os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs)
stream = b"".join(open(os.path.join(root, n), "rb").read() for n in names)
def packed(args):
    piece, x86, dict_size = args
    filters = ([{"id": lzma.FILTER_X86}] if x86 else []) + [
        {"id": lzma.FILTER_LZMA1, "preset": 9 | lzma.PRESET_EXTREME, "dict_size": dict_size}]
    return len(lzma.compress(piece, format=lzma.FORMAT_RAW, filters=filters))
def total(chunk, x86):
    pieces = [(stream[i:i + chunk], x86, chunk) for i in range(0, len(stream), chunk)]
    with ProcessPoolExecutor(2) as pool:
        return sum(pool.map(packed, pieces))
mib = 1 << 20
plain = {c: total(c * mib, False) for c in (16, 32, 64)}
x86 = total(64 * mib, True)
for c, size in plain.items():
    print(f"liblzma 9e, {c} MiB chunks: {size} bytes, {100 * size / len(stream):.2f} % of {len(stream)}")
print(f"liblzma 9e, 64 MiB chunks, x86 filter first: {x86} bytes ({100 * (x86 / plain[64] - 1):+.2f} % beside none)")
PY
