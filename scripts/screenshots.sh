#!/usr/bin/env bash
# Takes screenshots of the launcher's windows into docs/: the install
# question, the password dialog and the progress window part-way. A real
# package runs under Wine on a display of its own, driven by the test tool
# winctl, and each window is cut out of a capture of the whole screen.
# Needs the builds (scripts/build.sh) and ImageMagick's import and convert.
#
# The run gets a copy of the Wine prefix, so that its server, desktop and
# display are its own: other programs' windows cannot cover the captures.
set -euo pipefail
. "$(dirname "$0")/env.sh"
SHARED_PREFIX="$WINEPREFIX"
export WINEPREFIX="${SFX_BUILD_ROOT:-$SFX_ROOT/build}/screenshot-prefix"
if [ ! -d "$WINEPREFIX" ]; then
  cp -a "$SHARED_PREFIX" "$WINEPREFIX"
fi
unset DISPLAY
. "$SFX_ROOT/scripts/session.sh"

TOOLS="$SFX_WIN_BUILD/tools"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/sfx-screenshots.XXXXXX")"
trap 'rm -rf "$WORK"; wineserver -k >/dev/null 2>&1 || true; kill ${SFX_XVFB_PID:-} 2>/dev/null || true' EXIT
DOCS="$SFX_ROOT/docs"
mkdir -p "$DOCS" "$WORK/content/sub" "$WORK/temp"

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
# Wine programs write to a file, never to a pipe: programs they start may
# keep a pipe open long after they are gone.
winctl() {
  wine "$TOOLS/winctl.exe" -p "$PID" "$@" </dev/null >"$WORK/out.txt" 2>/dev/null
  tr -d '\r' <"$WORK/out.txt"
}

# Cuts the window out of a capture of the whole screen.
capture() {
  local name="$1"; shift
  local left top right bottom
  read -r left top right bottom _ _ < <(winctl "$@" rect)
  import -window root "$WORK/screen.png"
  convert "$WORK/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$DOCS/$name"
  echo "docs/$name"
}

# Two files of 4 and 6 blocks: the bar shows 3, 6, 10, 13, 39, 43, ...
head -c $((4 * 8192)) /dev/urandom >"$WORK/content/setup-data.bin"
head -c $((5 * 8192 + 100)) /dev/urandom >"$WORK/content/sub/more-data.bin"
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$WORK/package.exe" --stub "$SFX_WIN_BUILD/launcher/launcher.exe" \
  --title "Demo Product 2.1" --password "Open Sesame" "$WORK/content" >/dev/null

wine "$TOOLS/winrun.exe" -n -e "TEMP=$(winpath "$WORK/temp")" -d "$(winpath "$WORK")" \
  -c "\"$(winpath "$WORK/package.exe")\"" </dev/null >"$WORK/pid.txt" 2>/dev/null
PID=$(tr -d '\r' <"$WORK/pid.txt")
BOX=(-c "#32770" -t "Tollivex Self-extracting EXE")
DIALOG=(-c "#32770" -t "Tollivex Self-extracting Exe")

winctl "${BOX[@]}" -v -w 20000 wait >/dev/null
# Holds the launcher when the bar is about to change from 39 to 43 %.
wine "$TOOLS/winctl.exe" -p "$PID" -c Progress -i 1000 record 43 4000 </dev/null >"$WORK/bar.txt" 2>/dev/null &
RECORDER=$!
for _ in $(seq 200); do grep -q ready "$WORK/bar.txt" && break; sleep 0.05; done
capture install-question.png "${BOX[@]}"
winctl "${BOX[@]}" -i 6 click

winctl "${DIALOG[@]}" -v -w 20000 wait >/dev/null
winctl "${DIALOG[@]}" -i 104 type "Open Sesame"
capture password-dialog.png "${DIALOG[@]}"
winctl "${DIALOG[@]}" -i 104 key enter

for _ in $(seq 200); do grep -q '^43' "$WORK/bar.txt" && break; sleep 0.05; done
sleep 0.5
capture progress-39.png -c Progress
wait "$RECORDER"
winctl -w 20000 watch >/dev/null

# The progress window of a package with an icon of its own (--icon).
for side in 16 32 48; do
  convert -size "${side}x${side}" xc:none -fill '#1f6f3f' -draw "roundrectangle 0,0 $((side - 1)),$((side - 1)) $((side / 5)),$((side / 5))" \
    -fill '#f2c14e' -draw "circle $((side / 2)),$((side / 2)) $((side / 2)),$((side / 5))" "PNG32:$WORK/icon$side.png"
done
icotool -c -o "$WORK/product.ico" "$WORK/icon16.png" "$WORK/icon32.png" "$WORK/icon48.png"
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$WORK/icon-package.exe" --stub "$SFX_WIN_BUILD/launcher/launcher.exe" \
  --title "Demo Product 2.1" --icon "$WORK/product.ico" "$WORK/content" >/dev/null
rm -rf "$WORK/temp"/*
wine "$TOOLS/winrun.exe" -n -e "TEMP=$(winpath "$WORK/temp")" -d "$(winpath "$WORK")" \
  -c "\"$(winpath "$WORK/icon-package.exe")\"" </dev/null >"$WORK/pid.txt" 2>/dev/null
PID=$(tr -d '\r' <"$WORK/pid.txt")
winctl "${BOX[@]}" -v -w 20000 wait >/dev/null
wine "$TOOLS/winctl.exe" -p "$PID" -c Progress -i 1000 record 43 4000 </dev/null >"$WORK/bar.txt" 2>/dev/null &
RECORDER=$!
for _ in $(seq 200); do grep -q ready "$WORK/bar.txt" && break; sleep 0.05; done
winctl "${BOX[@]}" -i 6 click
for _ in $(seq 200); do grep -q '^43' "$WORK/bar.txt" && break; sleep 0.05; done
sleep 0.5
capture progress-custom-icon.png -c Progress
wait "$RECORDER"
winctl -w 20000 watch >/dev/null

# The progress window of the same package with the German translation, for a
# user whose language is German: the texts of the German templates.
"$SFX_NATIVE_BUILD/sfxpack/sfxpack" create -o "$WORK/german-package.exe" --stub "$SFX_WIN_BUILD/launcher/launcher.exe" \
  --title "Demo Product 2.1" --language de "$WORK/content" >/dev/null
rm -rf "$WORK/temp"/*
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 wine "$TOOLS/winrun.exe" -n -e "TEMP=$(winpath "$WORK/temp")" -d "$(winpath "$WORK")" \
  -c "\"$(winpath "$WORK/german-package.exe")\"" </dev/null >"$WORK/pid.txt" 2>/dev/null
PID=$(tr -d '\r' <"$WORK/pid.txt")
winctl -c "#32770" -v -w 20000 wait >/dev/null
wine "$TOOLS/winctl.exe" -p "$PID" -c Progress -i 1000 record 43 4000 </dev/null >"$WORK/bar.txt" 2>/dev/null &
RECORDER=$!
for _ in $(seq 200); do grep -q ready "$WORK/bar.txt" && break; sleep 0.05; done
winctl -c "#32770" -v -i 6 click
for _ in $(seq 200); do grep -q '^43' "$WORK/bar.txt" && break; sleep 0.05; done
sleep 0.5
capture progress-german.png -c Progress
wait "$RECORDER"
winctl -w 20000 watch >/dev/null
