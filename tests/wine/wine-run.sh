#!/usr/bin/env bash
# Runs a cross-built program under wine in the build's private prefix, with
# the SDK's and mingw's DLLs on its path: CTest's CMAKE_CROSSCOMPILING_EMULATOR
# for the Windows build, and what scripts/windows runs programs with.
#   wine-run.sh WINE_DIR PROGRAM.exe [ARGS...]
# WINE_DIR holds env.sh (written by scripts/windows) and wine-launcher.exe.
set -euo pipefail
wine_dir=$1
shift
# shellcheck source=/dev/null
source "$wine_dir/env.sh"
# QtTest on Windows logs to the debugger unless told otherwise.
export QT_FORCE_STDERR_LOGGING=1
for v in $(compgen -e | grep '^QT_' || true); do
  export "ALARMCFG_WINEPASS_$v=${!v}"
done
# The launcher starts the program as Windows does, so give it a Windows path.
program=$1
shift
[[ $program == /* ]] && program="Z:${program//\//\\}"
exec wine "$wine_dir/wine-launcher.exe" "$program" "$@"
