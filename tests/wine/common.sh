# Sourced by the wine test steps: the private prefix, alarmcfg-sim behind
# COM1, wine's services started outside the runs. scripts/windows sets
# ALARMCFG_SIM, ALARMCFG_WINE_DIR, ALARMCFG_BUILD_WINDOWS, ALARMCFG_DEPLOY.
# shellcheck source=/dev/null
source "$ALARMCFG_WINE_DIR/env.sh"
com1="$ALARMCFG_WINE_DIR/COM1" # where wine's COM1 leads
work=$(mktemp -d)
sim_pid=""

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
