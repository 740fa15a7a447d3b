#!/usr/bin/env bash
# The cross-built test suites under wine, through CTest, with COM1 leading
# to a simulator so that the Windows port tests have a port to try.
set -euo pipefail
source "$(dirname "$0")/common.sh"
start_sim
start_wine
cd "$ALARMCFG_BUILD_WINDOWS"
ALARMCFG_TEST_COM=COM1 ctest --output-on-failure --timeout 300
