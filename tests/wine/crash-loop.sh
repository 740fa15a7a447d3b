#!/usr/bin/env bash
# The Windows programs' short commands under wine, each run again and again,
# every run's end told apart: a crash (an exit by a signal, such as wine's 139
# for SIGSEGV, or wine's report of an unhandled exception such as 0xC0000005,
# whose exit status is that code's low byte) or any other failure fails the
# check. alarmcfg-cli.exe as laid out, against a simulator behind COM1 and
# another behind COM2: status on both, read -o, write --dry-run, --help and
# --version, and no thread left as it exits; then alarmcfg.exe opened under
# Xvfb and closed with Alt+F4.
#   ALARMCFG_CRASH_LOOPS=N  runs of each (default 10: CI; 200 by hand)
# Prints one line per command with its counts and "N passed, N failed";
# exits non-zero on any crash or failure. The output of the first bad run
# of each command is shown.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
runs=${ALARMCFG_CRASH_LOOPS:-10}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "ALARMCFG_CRASH_LOOPS: a positive number, not '$runs'" >&2; exit 2; }

# How a run ended, from its exit status and what it printed (file $2): "ok",
# "crash ..." or "exit N".
ending() { # ending STATUS OUTPUT
  local status=$1 report
  report=$(grep -m1 -o '^wine: Unhandled [^(]*[^ (]' "$2" 2>/dev/null)
  report=${report#wine: }
  if [ -n "$report" ]; then
    echo "crash ($report, exit status $status)"
  elif [ "$status" -gt 128 ]; then
    echo "crash (signal $((status - 128)), exit status $status)"
  elif [ "$status" -ne 0 ]; then
    echo "exit $status"
  else
    echo ok
  fi
}

# One check: COMMAND... run $runs times; every run must end with status 0.
# What the runs ended with is its note.
loop() { # loop COMMAND...
  local i status end bad=0
  declare -A ends=()
  for i in $(seq "$runs"); do
    "$@" >"$work/run.out" 2>&1
    status=$?
    end=$(ending "$status" "$work/run.out")
    ends[$end]=$(( ${ends[$end]:-0} + 1 ))
    [ "$end" = ok ] && continue
    bad=$((bad + 1))
    [ "$bad" -eq 1 ] && { echo "run $i: $end"; cat "$work/run.out"; }
  done
  local counts="" e
  for e in "${!ends[@]}"; do counts+="${counts:+, }${ends[$e]} $e"; done
  note "$runs runs: $counts"
  [ "$bad" -eq 0 ] || { echo "$bad of $runs runs went wrong: $counts"; return 1; }
}

cli() { WINEPATH= wine "$ALARMCFG_DEPLOY/alarmcfg-cli.exe" "$@"; }

# The second simulator, its pty linked where COM2 leads.
com2="$ALARMCFG_WINE_DIR/COM2"
sim2_pid=""
stop_sim2() { [ -z "$sim2_pid" ] || { kill "$sim2_pid" 2>/dev/null; wait "$sim2_pid" 2>/dev/null; sim2_pid=""; }; }
trap 'stop_sim2; finish' EXIT
start_sim || exit 1
rm -f "$com2"
"$ALARMCFG_SIM" --link "$com2" >"$work/sim2.out" 2>&1 &
sim2_pid=$!
for _ in $(seq 100); do [ -e "$com2" ] && break; sleep 0.05; done
[ -e "$com2" ] || { echo "the second alarmcfg-sim did not start: $(cat "$work/sim2.out")" >&2; exit 1; }
start_wine

site_w=$(windows_path "$here/site.json")
read_w=$(windows_path "$work/read.json")
echo "each command $runs times"
current=status_two_ports && check "$current" loop cli status -p COM1 -p COM2
current=read_to_file && check "$current" loop cli read -p COM1 -o "$read_w"
current=write_dry_run && check "$current" loop cli write "$site_w" --dry-run
current=help && check "$current" loop cli --help
current=version && check "$current" loop cli --version

# What made it crash at exit, looked for in every run: a thread still alive
# as the program ends. wine's +module trace shows each thread's attach and
# detach calls to Qt6Core.dll, then its process detach at exit. status on
# two ports starts a thread for each and no other (a port thread adopted by
# Qt would bring Qt's watcher thread), and both have ended by then.
threads_at_exit() {
  WINEPATH= WINEDEBUG=+pid,+module wine "$ALARMCFG_DEPLOY/alarmcfg-cli.exe" status -p COM1 -p COM2 \
    2>"$work/module.log" || return 1
  local calls attached detached
  calls=$(grep -o '^[0-9a-f]*:[0-9a-f]*:trace:module:MODULE_InitDLL ([0-9A-F]* L"Qt6Core.dll",[A-Z_]*' "$work/module.log" |
            sed 's/:trace.*",/ /' | sed '/PROCESS_DETACH/q')
  grep -q PROCESS_DETACH <<<"$calls" || { echo "no process detach of Qt6Core.dll in the trace"; return 1; }
  attached=$(grep THREAD_ATTACH <<<"$calls" | cut -d' ' -f1 | sort)
  detached=$(grep THREAD_DETACH <<<"$calls" | cut -d' ' -f1 | sort)
  [ "$(wc -w <<<"$attached")" -eq 2 ] && [ "$attached" = "$detached" ] && return 0
  echo "threads (process:thread) started: $(tr "\n" " " <<<"$attached"); ended before the program: $(tr "\n" " " <<<"$detached")"
  return 1
}
current=threads_at_exit && check "$current" loop threads_at_exit

# The window, started and closed $runs times under one Xvfb; each run's
# status and output go to $work/window-N.status and .out.
windows_opened() { # runs alarmcfg.exe $runs times on this display
  local caption="配置软件V1.5" i app win
  for i in $(seq "$runs"); do
    WINEPATH= wine "$ALARMCFG_DEPLOY/alarmcfg.exe" >"$work/window-$i.out" 2>&1 &
    app=$!
    win=""
    for _ in $(seq 600); do
      win=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -1)
      [ -n "$win" ] && break
      kill -0 "$app" 2>/dev/null || break
      sleep 0.1
    done
    if [ -n "$win" ]; then
      xdotool windowfocus --sync "$win" key alt+F4
    else
      echo "no window titled $caption appeared" >>"$work/window-$i.out"
    fi
    # A window that does not close in 60 s counts as a failure too.
    for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && { echo "still open 60 s after Alt+F4" >>"$work/window-$i.out"; kill "$app"; }
    wait "$app"
    echo $? >"$work/window-$i.status"
  done
}
window_runs() { # the check on the outcomes that windows_opened left
  wineserver -k 2>/dev/null
  wineserver -w
  # Under wine the program follows the Windows language, which wine takes
  # from LANG: with C.UTF-8 that is English. The caption looked for is the
  # Chinese one, so the window is asked for in Chinese.
  ALARMCFG_LANG=zh LANG=C.UTF-8 runs=$runs work=$work ALARMCFG_DEPLOY=$ALARMCFG_DEPLOY \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$(declare -f windows_opened); windows_opened"
  wineserver -k 2>/dev/null
  wineserver -w
  replayed=0
  replay() {
    replayed=$((replayed + 1))
    cat "$work/window-$replayed.out" 2>/dev/null
    return "$(cat "$work/window-$replayed.status" 2>/dev/null || echo 125)"
  }
  loop replay
}
current=window_opened_and_closed && check "$current" window_runs

summary
