# Sourced by test and demo scripts: a virtual display and a persistent Wine
# server. The server and Wine's background services are started here with
# their output sent to /dev/null, so that no later test that captures a Wine
# program's output through a pipe waits for them.
. "$(dirname "${BASH_SOURCE[0]}")/env.sh"
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 99); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      SFX_XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    fi
  done
  trap 'wineserver -k >/dev/null 2>&1 || true; kill ${SFX_XVFB_PID:-} 2>/dev/null || true' EXIT
fi
wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
