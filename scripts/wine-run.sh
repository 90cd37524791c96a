#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix and returns its
# exit code. Used by CTest for the Windows test programs.
. "$(dirname "$0")/env.sh"
exec wine "$@"
