#!/usr/bin/env bash
# alarmcfg-bench's connect and write at 9600 baud: the Windows build under
# wine on COM1, then the Linux build on the same simulator's pty, each next
# to the line's limit.
set -euo pipefail
source "$(dirname "$0")/common.sh"
start_wine
start_sim --baud 9600
echo "== Windows build under wine, COM1 -> alarmcfg-sim --baud 9600"
"$(dirname "$0")/wine-run.sh" "$ALARMCFG_WINE_DIR" "$ALARMCFG_BUILD_WINDOWS/bench/alarmcfg-bench.exe" --port COM1 --baud 9600
linux_bench="$(dirname "$ALARMCFG_SIM")/../bench/alarmcfg-bench"
if [ -x "$linux_bench" ]; then
  start_sim --baud 9600
  echo "== Linux build, the same simulator's pty"
  "$linux_bench" --port "$(readlink -f "$com1")" --baud 9600
fi
