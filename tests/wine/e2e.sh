#!/usr/bin/env bash
# The Windows programs under wine against the Linux alarmcfg-sim, COM1
# leading to its pty: alarmcfg-cli.exe as laid out for users, the window
# (test_window_com.exe on the real link, and alarmcfg.exe itself under Xvfb),
# on a clean line and on one with a late or a doubled reply; and both
# through tcp://127.0.0.1:PORT, the simulator serving RTU over TCP. Prints one line
# per check and "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

# The laid-out programs run on their own DLLs alone: no WINEPATH.
cli() { WINEPATH= wine "$ALARMCFG_DEPLOY/alarmcfg-cli.exe" "$@"; }
run_built() { "$here/wine-run.sh" "$ALARMCFG_WINE_DIR" "$@"; }
parameters() { jq -S .parameters "$1"; }
site="$here/site.json"
site_w=$(windows_path "$site")
backups="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/alarmcfg/backups"

start_wine

# Each program carries the project's version and its icon.
current=version_resources
resources() {
  local version exe
  version=$(sed -n 's/^project(alarmcfg VERSION \([0-9.]*\).*/\1/p' "$ALARMCFG_ROOT/CMakeLists.txt")
  for exe in alarmcfg alarmcfg-cli; do
    local texts
    texts=$(strings -el "$ALARMCFG_DEPLOY/$exe.exe")
    grep -qx "$version" <<<"$texts" || { echo "$exe.exe: no version $version"; return 1; }
    grep -qx "$exe.exe" <<<"$texts" || { echo "$exe.exe: no file name"; return 1; }
    grep -q 'IDI_ICON1$' <<<"$texts" || { echo "$exe.exe: no icon"; return 1; }
  done
  note "version $version"
}
check version_resources resources

# --- a clean line --------------------------------------------------------
start_sim

current=cli_status
status() {
  cli status -p COM1 >"$work/status.out" || return 1
  grep -q 'V1.5' "$work/status.out"
}
check cli_status status

current=cli_write_verify_backup
write_verify() {
  rm -rf "$backups"
  cli write "$site_w" -p COM1 --verify || return 1
  # The backup lies in %LOCALAPPDATA%\alarmcfg\backups and is the factory configuration read before.
  local backup
  backup=$(ls "$backups"/*-COM1.json) || return 1
  jq -e '.format == "alarmcfg-backup" and .configuration.parameters.password == "739154"' "$backup" >/dev/null || return 1
  note "backup $(basename "$backup") in AppData/Local/alarmcfg/backups"
}
check cli_write_verify_backup write_verify

current=cli_diff_same
check cli_diff_same cli diff "$site_w" -p COM1

current=cli_read_write_round_trip
round_trip() {
  dump_sim "$work/before.json" || return 1
  cli read -p COM1 -o "$(windows_path "$work/read.json")" || return 1
  [ "$(parameters "$work/read.json")" = "$(parameters "$site")" ] || { echo "read.json differs from site.json"; return 1; }
  cli write "$(windows_path "$work/read.json")" -p COM1 --no-backup || return 1
  dump_sim "$work/after.json" || return 1
  cmp "$work/before.json" "$work/after.json"
}
check cli_read_write_round_trip round_trip
cp "$work/before.json" "$work/site-image.json"

# The hand-over sheet of site.json: every command as it must be sent
# (password, "*", command), every font embedded, one page.
current=cli_sheet
sheet() {
  local pdf=$work/sheet.pdf password command
  cli sheet "$site_w" -o "$(windows_path "$pdf")" || return 1
  pdftotext -layout "$pdf" "$work/sheet.txt" || return 1
  password=$(jq -r .parameters.password "$site")
  while IFS= read -r command; do
    grep -qF -- "$password*$command" "$work/sheet.txt" || { echo "not on the sheet: $password*$command"; return 1; }
  done < <(jq -r '.parameters | (.relays[] | .on, .off), .allOn, .allOff' "$site")
  pdffonts "$pdf" | awk 'NR > 2 { n++; if ($(NF - 4) != "yes") bad = 1 } END { exit bad || !n }' || { pdffonts "$pdf"; return 1; }
  pdfinfo "$pdf" | grep -qE '^Pages: +1$' || return 1
  note "$(pdffonts "$pdf" | awk 'NR > 2 { print $1 }' | paste -sd ' '), $(stat -c %s "$pdf") bytes"
}
check cli_sheet sheet

current=cli_open_failure
open_failure() {
  local rc=0
  cli status -p COM9 2>"$work/err.txt" || rc=$?
  cat "$work/err.txt"
  [ "$rc" -eq 3 ] && grep -qF 'COM9: no such device' "$work/err.txt" && ! grep -q dialout "$work/err.txt"
}
check cli_open_failure open_failure

current=window_on_com1
window_test() { # window_test FUNCTIONS...: test_window_com.exe's functions on COM1
  ALARMCFG_E2E_PORT=COM1 ALARMCFG_E2E_FILE="$site_w" run_built "$ALARMCFG_BUILD_WINDOWS/tests/wine/test_window_com.exe" "$@"
}
window_com() {
  window_test thePortLineFindsThePortInTheSystemsList anExportIsOfferedInTheUsersDocuments \
    aConnectShowsWhatTheDeviceHolds aWriteWithoutEditsLeavesTheDeviceAsItWas || return 1
  dump_sim "$work/after-window.json" || return 1
  cmp "$work/site-image.json" "$work/after-window.json"
}
check window_on_com1 window_com

# Each edit comes back; then the file's configuration is written again. A
# shorter text leaves an older one's tail behind its end, so the fields, not
# the registers, are compared.
current=window_edits
window_edits() {
  window_test aConnectShowsWhatTheDeviceHolds editsComeBackFromTheDevice || return 1
  cli diff "$site_w" -p COM1
}
check window_edits window_edits

# A write the device refuses part-way: the printed command, pasted into
# cmd.exe as it stands, puts the backup (the factory configuration) back.
current=cli_put_it_back
put_it_back() {
  start_sim && dump_sim "$work/factory.json" || return 1
  start_sim --exception-on 830 || return 1
  local rc=0
  cli write "$site_w" -p COM1 2>"$work/err.txt" || rc=$?
  cat "$work/err.txt"
  [ "$rc" -eq 3 ] || return 1
  local command
  command=$(sed -n 's/.*put it back with: //p' "$work/err.txt" | tr -d '\r')
  [ -n "$command" ] || return 1
  stop_sim # and its registers, half written, go to its dump
  cp "$sim_dump" "$work/partial.json"
  cmp -s "$work/factory.json" "$work/partial.json" && return 1
  start_sim --image "$work/partial.json" || return 1
  WINEPATH= wine cmd /c "$(windows_path "$ALARMCFG_DEPLOY")\\${command}" || return 1
  dump_sim "$work/restored.json" || return 1
  cmp "$work/factory.json" "$work/restored.json"
}
check cli_put_it_back put_it_back

# --- a late and a doubled reply: exact or an honest failure -----------------
faulty_read() { # faulty_read SIM_OPTIONS...: a read gives the device's configuration or fails
  start_sim --image "$work/site-image.json" "$@" || return 1
  local rc=0
  cli read -p COM1 --retries 2 -o "$(windows_path "$work/faulty.json")" || rc=$?
  if [ "$rc" -eq 0 ]; then
    [ "$(parameters "$work/faulty.json")" = "$(parameters "$site")" ] || { echo "a wrong success"; return 1; }
    note "read exact"
  else
    [ "$rc" -eq 3 ] || return 1
    note "read failed, exit 3"
  fi
}
faulty_write() { # a write --verify leaves the device exact or fails
  start_sim --image "$work/site-image.json" "$@" || return 1
  local rc=0
  cli write "$site_w" -p COM1 --retries 2 --verify --no-backup || rc=$?
  dump_sim "$work/faulty-dump.json" || return 1
  if [ "$rc" -eq 0 ]; then
    cmp "$work/site-image.json" "$work/faulty-dump.json" || { echo "a wrong success"; return 1; }
    note "write exact"
  else
    [ "$rc" -eq 3 ] || return 1
    note "write failed, exit 3"
  fi
}
faulty_window() { # the window shows the device's configuration or refuses the read
  start_sim --image "$work/site-image.json" "$@" || return 1
  ALARMCFG_E2E_PORT=COM1 ALARMCFG_E2E_FILE="$site_w" ALARMCFG_E2E_FAULTY=1 \
    run_built "$ALARMCFG_BUILD_WINDOWS/tests/wine/test_window_com.exe" >"$work/faulty-window.out" 2>&1
  local rc=$?
  cat "$work/faulty-window.out"
  note "$(sed -n 's/.*outcome: //p' "$work/faulty-window.out")"
  return $rc
}
for fault in "late:--late 5:900 --baud 9600" "doubled:--duplicate-reply 5"; do
  name=${fault%%:*}
  # shellcheck disable=SC2206
  options=(${fault#*:})
  current=cli_read_$name && check "$current" faulty_read "${options[@]}"
  current=cli_write_$name && check "$current" faulty_write "${options[@]}"
  current=window_connect_$name && check "$current" faulty_window "${options[@]}"
done

# --- a port behind a serial device server: RTU over TCP -------------------
# The simulator serves tcp://127.0.0.1:PORT itself; Windows's sockets carry it.
current=cli_read_tcp
read_tcp() {
  start_sim_tcp --image "$work/site-image.json" || return 1
  cli read -p "$sim_port" -o "$(windows_path "$work/tcp.json")" || return 1
  [ "$(parameters "$work/tcp.json")" = "$(parameters "$site")" ] || { echo "the read through $sim_port differs"; return 1; }
  note "read exact through $sim_port"
}
check cli_read_tcp read_tcp

current=window_on_tcp
window_tcp() {
  start_sim_tcp --image "$work/site-image.json" || return 1
  ALARMCFG_E2E_PORT=$sim_port ALARMCFG_E2E_FILE="$site_w" run_built "$ALARMCFG_BUILD_WINDOWS/tests/wine/test_window_com.exe" \
    aConnectShowsWhatTheDeviceHolds aWriteWithoutEditsLeavesTheDeviceAsItWas || return 1
  dump_sim "$work/after-tcp.json" || return 1
  cmp "$work/site-image.json" "$work/after-tcp.json"
}
check window_on_tcp window_tcp

# --- the line doctor: a controller, and nothing behind COM1 ---------------
current=cli_doctor_healthy
doctor_healthy() {
  start_sim || return 1
  cli doctor -p COM1 --json >"$work/doctor.json" || return 1
  jq -e '.verdict == "healthy"' "$work/doctor.json" >/dev/null || { cat "$work/doctor.json"; return 1; }
  note "$(jq -r '.verdict + ", firmware " + .evidence.firmware' "$work/doctor.json")"
}
check cli_doctor_healthy doctor_healthy

current=cli_doctor_no_answer
doctor_no_answer() {
  start_sim --line silent || return 1
  local status=0
  cli doctor -p COM1 --json >"$work/doctor.json" || status=$?
  [ "$status" = 3 ] || { echo "exit $status"; return 1; }
  jq -e '.verdict == "no-answer"' "$work/doctor.json" >/dev/null || { cat "$work/doctor.json"; return 1; }
  note "no-answer, exit 3"
}
check cli_doctor_no_answer doctor_no_answer

# --- alarmcfg.exe itself under Xvfb: 连接, its trace in a file, a screenshot --
current=window_program
window_program() {
  start_sim --image "$work/site-image.json" || return 1
  # Chinese whatever wine's display language (English in C.UTF-8).
  ALARMCFG_LANG=zh WINEPATH= window_reads_com1 "$ALARMCFG_BUILD_WINDOWS/window-under-wine.png" \
    wine "$ALARMCFG_DEPLOY/alarmcfg.exe"
}
check window_program window_program

summary
