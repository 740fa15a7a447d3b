# Sourced by the wine test steps: the private prefix, alarmcfg-sim behind
# COM1, wine's services started outside the runs, the checks and their
# count, the window connected under Xvfb. scripts/windows sets ALARMCFG_SIM,
# ALARMCFG_WINE_DIR, ALARMCFG_BUILD_WINDOWS, ALARMCFG_DEPLOY.
# shellcheck source=/dev/null
source "$ALARMCFG_WINE_DIR/env.sh"
com1="$ALARMCFG_WINE_DIR/COM1" # where wine's COM1 leads
work=$(mktemp -d)
sim_pid=""
sim_port=""

# The simulator with these options, its pty linked where COM1 leads. Its
# registers go to $sim_dump on SIGUSR1 and when it ends.
sim_dump="$work/sim-dump.json"
start_sim() {
  stop_sim
  rm -f "$com1" "$sim_dump"
  "$ALARMCFG_SIM" --dump "$sim_dump" "$@" --link "$com1" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$com1" ] && return 0; sleep 0.05; done
  echo "alarmcfg-sim did not start: $(cat "$work/sim.out")" >&2
  return 1
}

# The simulator serving RTU over TCP on 127.0.0.1; its port name in $sim_port.
start_sim_tcp() {
  stop_sim
  rm -f "$sim_dump"
  "$ALARMCFG_SIM" --dump "$sim_dump" "$@" --tcp 127.0.0.1:0 >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    sim_port=$(head -n1 "$work/sim.out")
    [[ $sim_port == tcp://* ]] && return 0
    sleep 0.05
  done
  echo "alarmcfg-sim did not start: $(cat "$work/sim.out")" >&2
  return 1
}

stop_sim() {
  [ -n "$sim_pid" ] || return 0
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}

# The running simulator's registers now, into $1.
dump_sim() {
  rm -f "$sim_dump"
  kill -USR1 "$sim_pid"
  for _ in $(seq 100); do [ -s "$sim_dump" ] && break; sleep 0.05; done
  [ -s "$sim_dump" ] || { echo "alarmcfg-sim wrote no dump" >&2; return 1; }
  cp "$sim_dump" "$1"
}

# wine's server and services, started here and kept: started inside a test
# run, they would hold its output pipes open after the program ends.
start_wine() {
  wineserver -p >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

finish() {
  stop_sim
  wineserver -k 2>/dev/null || true
  [ -n "${ALARMCFG_KEEP_WORK:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap finish EXIT

# A Unix path as a Windows program sees it.
windows_path() { local p=$1; echo "Z:${p//\//\\}"; }

# One check: its output goes to $work/NAME.log and is shown when it fails;
# what it says with `note` is shown on its line. `summary` ends the run.
passed=0
failed=0
current=""
check() { # check NAME COMMAND...
  local name=$1
  shift
  current=$name
  if "$@" >"$work/$name.log" 2>&1; then
    passed=$((passed + 1))
    echo "ok    $name$(cat "$work/$name.note" 2>/dev/null)"
  else
    failed=$((failed + 1))
    echo "FAIL  $name"
    sed 's/^/      /' "$work/$name.log"
  fi
}
note() { echo " ($*)" >"$work/$current.note"; }
summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# The window under Xvfb, started by COMMAND...: it presses 连接, closes the
# message after the read, lets a status poll pass and takes a screenshot
# of the screen into SHOT. Every wine program is ended afterwards. The
# window runs in the locale WINDOW_LANG (C.UTF-8 unless set; made under
# LOCPATH when it is not the machine's), in which its caption must be
# WINDOW_CAPTION (配置软件V1.5 unless set). WINDOW_MESSAGE_SHOT, when set,
# gets the screen with the message open.
#   window_connect SHOT COMMAND...
window_connect() {
  local shot=$1
  shift
  rm -f "$shot"
  # wine's desktop and services must start on the display: started without
  # one, as for other runs, they would keep the window off the screen.
  # wine takes its display language from the locale as it starts.
  wineserver -k 2>/dev/null
  wineserver -w
  # xdotool finds a Chinese caption only in a UTF-8 locale. The message
  # after the read has the window's caption too.
  LANG=${WINDOW_LANG:-C.UTF-8} LC_ALL=${WINDOW_LANG:-C.UTF-8} WINDOW_CAPTION=${WINDOW_CAPTION:-配置软件V1.5} \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -eu
    caption=$WINDOW_CAPTION
    shot=$1
    shift
    "$@" & app=$!
    trap "kill $app 2>/dev/null || true; wineserver -k 2>/dev/null || true" EXIT
    windows() { xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | wc -l; }
    wait_windows() {
      for _ in $(seq 600); do [ "$(windows)" -eq "$1" ] && return 0; sleep 0.1; done
      echo "expected $1 window(s) titled $caption, saw $(windows); the windows:" \
           "$(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr "\n" " ")"; return 1
    }
    wait_windows 1
    win=$(xdotool search --onlyvisible --name "^$caption\$")
    sleep 2                                              # let it finish painting
    eval "$(xdotool getwindowgeometry --shell "$win")"   # X, Y of the window
    xdotool mousemove $((X + 136)) $((Y + 44)) click 1   # 连接
    wait_windows 2                                       # "读取短信报警控制器参数成功！"
    sleep 1
    [ -z "${WINDOW_MESSAGE_SHOT:-}" ] || import -window root "$WINDOW_MESSAGE_SHOT" # the box and its button
    xdotool key Return
    wait_windows 1
    sleep 1.5                                            # a status poll
    import -window root "$shot"' _ "$shot" "$@" || return 1
  wineserver -w
  [ -s "$shot" ]
}

# Starts the window with COMMAND..., connects it (see window_connect) and
# checks its trace, which goes to a file as the window has no console: COM1
# opened and a full read answered.
#   window_reads_com1 SHOT COMMAND...
window_reads_com1() {
  local shot=$1
  shift
  rm -f "$work/trace.log"
  ALARMCFG_TRACE="$(windows_path "$work/trace.log")" window_connect "$shot" "$@" || return 1
  grep -qF 'OPEN  \\.\COM1 9600 8N1' "$work/trace.log" || { cat "$work/trace.log"; return 1; }
  local rx
  rx=$(grep -c '] RX ' "$work/trace.log")
  [ "$rx" -ge 46 ] || { echo "$rx replies in the trace"; return 1; }
  note "$rx replies traced to a file; screenshot $shot"
}
