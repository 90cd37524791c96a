#!/usr/bin/env bash
# Creates the project's Wine prefix once. Windows of the launcher are tested
# under a bare Xvfb, where Wine's managed windows stall about 2 s whenever a
# visible window is hidden or destroyed: Managed=N avoids that.
set -euo pipefail
. "$(dirname "$0")/env.sh"
if [ -f "$WINEPREFIX/.sfx-ready" ]; then
  exit 0
fi
echo "setup: creating Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
# A crash ends the program instead of opening the debugger's dialog.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.sfx-ready"
