#!/usr/bin/env bash
# The Windows packages of scripts/package-windows under wine, in a prefix
# made fresh for them, with COM1 leading to alarmcfg-sim: the zip run from
# an empty folder, the setup's pages in Chinese and English, a silent install
# per machine and per user (files, Start-menu shortcuts, the uninstall key),
# the installed window reading the simulator, a reinstall and an upgrade that
# leave no stale file, and the silent uninstall that leaves the backups.
# Prints one line per check and "N passed, N failed"; exits non-zero on any
# failure. scripts/package-windows sets ALARMCFG_ROOT, ALARMCFG_BUILD_WINDOWS,
# ALARMCFG_SDK and ALARMCFG_SIM.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export ALARMCFG_WINE_DIR="$ALARMCFG_BUILD_WINDOWS/wine-package"
rm -rf "$ALARMCFG_WINE_DIR"
mkdir -p "$ALARMCFG_WINE_DIR"
cat > "$ALARMCFG_WINE_DIR/env.sh" <<ENV
export WINEPREFIX='$ALARMCFG_WINE_DIR/prefix' WINEARCH=win64 WINEDEBUG=-all
# winemenubuilder would turn the setup's shortcuts into menu entries of this machine.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
# What is installed or unpacked runs on its own DLLs.
export WINEPATH=
ENV
source "$here/common.sh"

root=$ALARMCFG_ROOT
version=$(sed -n 's/^project(alarmcfg VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
setup="$ALARMCFG_BUILD_WINDOWS/alarmcfg-$version-win64-setup.exe"
zip="$ALARMCFG_BUILD_WINDOWS/alarmcfg-$version-win64.zip"
site="$here/site.json"
site_w=$(windows_path "$site")
parameters() { jq -S .parameters "$1"; }

drive_c="$WINEPREFIX/drive_c"
profile="$drive_c/users/$(id -un)"
machine_dir="$drive_c/Program Files/alarmcfg"
user_dir="$profile/AppData/Local/Programs/alarmcfg"
machine_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
user_menu="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
backups="$profile/AppData/Local/alarmcfg/backups"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\alarmcfg'
portable="$work/portable"              # the zip, unpacked into an empty folder
programs="$portable/alarmcfg-$version-win64"

# --- helpers ----------------------------------------------------------------

# The uninstall key's values, as `reg export` writes them, into $work/key.reg
# (UTF-8); reg query prints non-ASCII text as question marks.
export_key() { # export_key HKLM|HKCU
  rm -f "$work/key.utf16"
  wine reg export "$1\\$uninstall_key" "$(windows_path "$work/key.utf16")" /y >/dev/null 2>&1 || return 1
  iconv -f UTF-16 -t UTF-8 "$work/key.utf16" | tr -d '\r' >"$work/key.reg"
}
key_value() { # key_value NAME: a string value of $work/key.reg, unescaped
  sed -n "s/^\"$1\"=\"\\(.*\\)\"\$/\\1/p" "$work/key.reg" | sed 's/\\"/"/g; s/\\\\/\\/g'
}
key_dword() { # key_dword NAME: a DWORD value of $work/key.reg, in decimal
  local hex
  hex=$(sed -n "s/^\"$1\"=dword:\\([0-9a-f]*\\)\$/\\1/p" "$work/key.reg")
  [ -n "$hex" ] && echo $((16#$hex))
}
has_key() { wine reg query "$1\\$uninstall_key" >/dev/null 2>&1; }

# The files under a folder, one relative path a line.
files() { (cd "$1" && find . -type f | sort); }

# FOLDER holds the unpacked zip's files, byte for byte, and besides them only
# the given extra files (and alarmcfg-cli.exe only when --cli is given).
holds_the_programs() { # holds_the_programs FOLDER [--cli] [EXTRA...]
  local dir=$1 cli=no
  shift
  [ "${1:-}" = --cli ] && { cli=yes; shift; }
  local expected
  expected=$( { files "$programs" | { [ $cli = yes ] && cat || grep -vx './alarmcfg-cli.exe'; }
                for extra in "$@"; do echo "./$extra"; done; } | sort)
  diff <(echo "$expected") <(files "$dir") || { echo "the files of $dir differ from the above"; return 1; }
  local f
  while IFS= read -r f; do
    [ -f "$programs/$f" ] || continue
    cmp -s "$programs/$f" "$dir/$f" || { echo "$f differs from the zip's"; return 1; }
  done < <(files "$dir")
}

# Every DLL that the programs and plugins of FOLDER import, and what those
# import in turn, is in FOLDER or is one of Windows's own (wine's system32
# holds its stand-ins); every DLL beside the programs is imported. Plugins,
# which Qt loads by path, are the folders' DLLs.
imports_closed() { # imports_closed FOLDER
  local dir=$1 system32="$drive_c/windows/system32"
  local queue=() seen=" " file dll lower own=()
  mapfile -t queue < <(find "$dir" -maxdepth 1 -name '*.exe'; find "$dir" -mindepth 2 -name '*.dll')
  mapfile -t own < <(find "$dir" -maxdepth 1 -iname '*.dll' -printf '%f\n')
  while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
      lower=${dll,,}
      [[ $seen == *" $lower "* ]] && continue
      seen+="$lower "
      local found=""
      for f in "${own[@]}"; do [ "${f,,}" = "$lower" ] && found=$f; done
      if [ -n "$found" ]; then
        queue+=("$dir/$found")
      elif [[ $lower == api-ms-win-* || $lower == ext-ms-win-* ]]; then
        : # an API set, which Windows's loader resolves
      elif [ -z "$(find "$system32" -maxdepth 1 -iname "$dll")" ]; then
        echo "$(basename "$file") imports $dll, which is neither beside it nor Windows's own"
        return 1
      fi
    done
  done
  for f in "${own[@]}"; do
    [[ $seen == *" ${f,,} "* ]] || { echo "$f is shipped but nothing imports it"; return 1; }
  done
  note "$(printf '%s ' "${own[@]}")+ $(cd "$dir" && find . -mindepth 2 -name '*.dll' | sed 's|^\./||' | tr '\n' ' ')"
}

# The texts of a shortcut (.lnk): the target's path (8-bit), then its folder,
# arguments and icon, each a UTF-16 string after its length, which strings
# may show as one character.
shortcut_texts() { strings -a "$1"; strings -el "$1"; }
shortcut_has() { # shortcut_has LNK TEXT
  local texts
  texts=$(shortcut_texts "$1")
  T=$2 awk '$0 == ENVIRON["T"] || substr($0, 2) == ENVIRON["T"] { found = 1 } END { exit !found }' <<<"$texts"
}

# Runs the uninstall key's QuietUninstallString as Windows would and waits
# for the uninstaller, which goes on from a copy of itself, to finish.
uninstall_quietly() { # uninstall_quietly HKLM|HKCU
  export_key "$1" || { echo "no uninstall key in $1"; return 1; }
  local command exe args
  command=$(key_value QuietUninstallString)
  exe=${command#\"}
  exe=${exe%%\"*}
  args=${command#\"*\" }
  # shellcheck disable=SC2086
  wine "$exe" $args || return 1
  local unix_exe
  unix_exe=$(winepath -u "$exe" 2>/dev/null)
  for _ in $(seq 120); do [ -e "$unix_exe" ] || break; sleep 0.5; done
  wineserver -w
  [ ! -e "$unix_exe" ] || { echo "$exe is still there"; return 1; }
}

# The setup's first page under Xvfb in the given locale: its caption must be
# CAPTION; the screen goes to SHOT.
setup_first_page() { # setup_first_page LOCALE CAPTION SHOT
  local locale=$1 caption=$2 shot=$3
  rm -f "$shot"
  wineserver -k 2>/dev/null
  wineserver -w
  LOCPATH="$ALARMCFG_WINE_DIR/locale" LANG=$locale LC_ALL=$locale \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -eu
    wine "$1" & app=$!
    trap "kill $app 2>/dev/null || true; wineserver -k 2>/dev/null || true" EXIT
    for _ in $(seq 300); do
      xdotool search --onlyvisible --name "^$2\$" >/dev/null 2>&1 && break
      sleep 0.1
    done
    xdotool search --onlyvisible --name "^$2\$" >/dev/null 2>&1 ||
      { echo "no window titled $2; the windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null)"; exit 1; }
    sleep 2
    import -window root "$3"' _ "$setup" "$caption" "$shot" || return 1
  wineserver -w
  [ -s "$shot" ]
}

# --- the prefix -----------------------------------------------------------------

fresh_prefix() {
  wineboot -i >/dev/null 2>&1 || true # its status says little without wine32
  wineserver -w
  [ -d "$drive_c/windows" ] || { echo "wineboot made no prefix"; return 1; }
  wine regedit /S "$(windows_path "$here/cjk-fonts.reg")" || return 1
  # The setup's Chinese pages ask for SimSun by its Chinese name.
  LANG=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /t REG_SZ /d 'Noto Sans CJK SC' /f || return 1
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$com1" /f || return 1
  wineserver -k 2>/dev/null
  wineserver -w
  # A Chinese and an English system, for the setup's pages and the window:
  # zh_CN.UTF-8 and en_US.UTF-8 made here, not for the machine.
  mkdir -p "$ALARMCFG_WINE_DIR/locale"
  localedef -i zh_CN -f UTF-8 "$ALARMCFG_WINE_DIR/locale/zh_CN.UTF-8" || return 1
  localedef -i en_US -f UTF-8 "$ALARMCFG_WINE_DIR/locale/en_US.UTF-8" || return 1
}
check fresh_prefix fresh_prefix || true
[ "$failed" -eq 0 ] || { summary; exit 1; }

# --- the names and the version ---------------------------------------------------

versions() {
  local changelog
  changelog=$(sed -n '1s/^alarmcfg (\([^)]*\)).*/\1/p' "$root/packaging/changelog")
  [ -n "$version" ] && [ "$version" = "$changelog" ] ||
    { echo "CMakeLists.txt: '$version', packaging/changelog: '$changelog'"; return 1; }
  [ -f "$setup" ] && [ -f "$zip" ] || { echo "no $setup or $zip"; return 1; }
  local others
  others=$(find "$ALARMCFG_BUILD_WINDOWS" -maxdepth 1 -name 'alarmcfg-*-win64*' ! -name "$(basename "$setup")" ! -name "$(basename "$zip")")
  [ -z "$others" ] || { echo "packages of another version: $others"; return 1; }
  # (Read whole: grep -q would close the pipe on strings, a failure under pipefail.)
  local texts
  texts=$(strings -el "$setup")
  grep -qx "$version" <<<"$texts" || { echo "the setup's version resource is not $version"; return 1; }
  note "$version: CMakeLists.txt, packaging/changelog, the file names, the setup's resource"
}
check versions versions

# --- the zip -----------------------------------------------------------------------

zip_contents() {
  mkdir -p "$portable"
  (cd "$portable" && unzip -q "$zip") || return 1
  [ "$(ls "$portable")" = "alarmcfg-$version-win64" ] || { echo "the zip's top folder: $(ls "$portable")"; return 1; }
  local f
  for f in alarmcfg.exe alarmcfg-cli.exe README.txt LICENSE.txt THIRD-PARTY.txt \
           licenses/LGPL-3.0-only.txt licenses/GPL-3.0-only.txt licenses/qt6-base-copyright.txt \
           licenses/gcc-runtime-copyright.txt licenses/mingw-w64-copyright.txt \
           translations/qtbase_zh_CN.qm licenses/qt6-translations-copyright.txt; do
    [ -s "$programs/$f" ] || { echo "no $f"; return 1; }
  done
  # Notepad shows them right: UTF-8 with a byte order mark, CRLF line ends.
  while IFS= read -r f; do
    [ "$(head -c3 "$programs/$f" | od -An -tx1 | tr -d ' ')" = efbbbf ] || { echo "$f has no byte order mark"; return 1; }
    iconv -f UTF-8 -t UTF-8 "$programs/$f" >/dev/null || { echo "$f is not UTF-8"; return 1; }
    ! grep -q $'[^\r]$' "$programs/$f" && ! grep -q '^$' "$programs/$f" || { echo "$f has a line without CR"; return 1; }
  done < <(cd "$programs" && find . -name '*.txt' | sed 's|^\./||')
  grep -q '设备管理器' "$programs/README.txt" && grep -q 'Device Manager' "$programs/README.txt" ||
    { echo "README.txt is not in Chinese and English"; return 1; }
  grep -q "qt6-base $(sed -n 's/^qt6-base \([^ ]*\) .*/\1/p' "$ALARMCFG_SDK/share/alarmcfg-sdk/SOURCES")" \
    "$programs/THIRD-PARTY.txt" || { echo "THIRD-PARTY.txt does not name the SDK's qt6-base source"; return 1; }
  note "$(files "$programs" | wc -l) files"
}
check zip_contents zip_contents

check zip_imports_closed imports_closed "$programs"

# From the unpacked folder alone, started elsewhere: the version, then a
# write and a read of the simulator.
zip_cli() {
  mkdir -p "$work/elsewhere"
  cd "$work/elsewhere" || return 1
  local cli="$programs/alarmcfg-cli.exe" said
  said=$(wine "$cli" --version | tr -d '\r') || return 1
  [ "$said" = "alarmcfg-cli $version" ] || { echo "--version: $said"; return 1; }
  start_sim || return 1
  wine "$cli" write "$site_w" -p COM1 --no-backup || return 1
  wine "$cli" read -p COM1 -o "$(windows_path "$work/read.json")" || return 1
  [ "$(parameters "$work/read.json")" = "$(parameters "$site")" ] || { echo "read.json differs from site.json"; return 1; }
  note "$said; read on COM1 gives what was written"
}
check zip_cli_runs_alone zip_cli
cd "$work" || exit 1

# --- the setup: pages, a silent install per machine ---------------------------------

setup_pages() {
  setup_first_page zh_CN.UTF-8 "alarmcfg $version 安装" "$ALARMCFG_BUILD_WINDOWS/setup-under-wine.png" || return 1
  setup_first_page C.UTF-8 "alarmcfg $version Setup" "$ALARMCFG_BUILD_WINDOWS/setup-under-wine-en.png" || return 1
  note "Chinese on a Chinese system, English otherwise; screenshots $ALARMCFG_BUILD_WINDOWS/setup-under-wine.png, setup-under-wine-en.png"
}
check setup_pages_follow_the_language setup_pages

# Windows's Start menu and "Apps and features" find these: the uninstall
# key of HIVE for the install in WINDOWS_FOLDER (FOLDER here), in MODE.
publisher=$(sed -n 's/^ -- \(.*\) <.*/\1/p' "$root/packaging/changelog" | head -1)
registered() { # registered HIVE WINDOWS_FOLDER FOLDER MODE
  local hive=$1 win_dir=$2 dir=$3 mode=$4
  has_key "$hive" || { echo "no $hive\\$uninstall_key"; return 1; }
  export_key "$hive" || return 1
  local expect
  for expect in "DisplayName=alarmcfg (配置软件)" "Publisher=$publisher" "DisplayVersion=$version" \
                "DisplayIcon=$win_dir\\alarmcfg.exe,0" "InstallLocation=$win_dir" \
                "UninstallString=\"$win_dir\\uninstall.exe\" /$mode" \
                "QuietUninstallString=\"$win_dir\\uninstall.exe\" /S /$mode"; do
    [ "$(key_value "${expect%%=*}")" = "${expect#*=}" ] ||
      { echo "${expect%%=*}: '$(key_value "${expect%%=*}")', not '${expect#*=}'"; cat "$work/key.reg"; return 1; }
  done
  # EstimatedSize, in KiB: the files' sizes added up.
  local size bytes
  size=$(key_dword EstimatedSize)
  bytes=$(find "$dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  [ -n "$size" ] && [ $((size * 1024)) -ge $((bytes * 95 / 100)) ] && [ $((size * 1024)) -le $((bytes * 105 / 100)) ] ||
    { echo "EstimatedSize $size KiB for $bytes bytes"; return 1; }
}
machine_dir_w='C:\Program Files\alarmcfg'
user_dir_w="C:\\users\\$(id -un)\\AppData\\Local\\Programs\\alarmcfg"

shortcut_to() { # shortcut_to LNK TARGET: the shortcut exists and starts TARGET
  [ -f "$1" ] || { echo "no shortcut $1"; return 1; }
  shortcut_has "$1" "$2" || { echo "$1 does not start $2:"; shortcut_texts "$1"; return 1; }
}

per_machine() {
  wine "$setup" /S /CLI || return 1
  holds_the_programs "$machine_dir" --cli uninstall.exe || return 1
  shortcut_to "$machine_menu/配置软件.lnk" "$machine_dir_w\\alarmcfg.exe" || return 1
  shortcut_to "$machine_menu/alarmcfg-cli.lnk" 'C:\windows\system32\cmd.exe' || return 1
  registered HKLM "$machine_dir_w" "$machine_dir" AllUsers || return 1
  ! has_key HKCU || { echo "an uninstall key in HKCU as well"; return 1; }
  note "C:\\Program Files\\alarmcfg, Start menu of all users, HKLM\\$uninstall_key"
}
check setup_silent_per_machine per_machine

check setup_imports_closed imports_closed "$machine_dir"

installed_resources() {
  local exe texts
  for exe in alarmcfg alarmcfg-cli; do
    texts=$(strings -el "$machine_dir/$exe.exe")
    grep -qx "$version" <<<"$texts" || { echo "$exe.exe: no version $version"; return 1; }
  done
}
check installed_version_resources installed_resources

# The console of the Start-menu entry alarmcfg-cli: its command, as cmd.exe
# runs it (/c where the shortcut keeps the console with /k), finds
# alarmcfg-cli with nothing on PATH but Windows's folders. (cmd.exe by its
# full path, the shortcut's target: wine's cmd looks up a bare "cmd" as a
# 32-bit program, which needs wine32.)
console_shortcut() {
  local arguments
  arguments=$(shortcut_texts "$machine_menu/alarmcfg-cli.lnk" | sed -n 's|^.*\(/k ".*"\)$|\1|p')
  [ -n "$arguments" ] || { echo "no /k command in the shortcut"; return 1; }
  printf '@C:\\windows\\system32\\cmd.exe /c %s\r\n' "${arguments#/k }" >"$work/console.cmd"
  wine cmd /c "$(windows_path "$work/console.cmd")" >"$work/console.out" 2>&1 || { cat "$work/console.out"; return 1; }
  grep -q '^Commands:' "$work/console.out" || { cat "$work/console.out"; return 1; }
}
check console_shortcut_finds_the_cli console_shortcut

# Through its Start-menu shortcut, as a user starts it: 连接 reads the
# simulator. The window speaks the display language wine takes from the
# locale: English on an English system, Chinese on a Chinese one.
installed_window() { # installed_window LOCALE CAPTION SHOT
  start_sim || return 1
  LOCPATH="$ALARMCFG_WINE_DIR/locale" WINDOW_LANG=$1 WINDOW_CAPTION=$2 WINDOW_MESSAGE_SHOT="$ALARMCFG_BUILD_WINDOWS/message-$3" \
    window_reads_com1 "$ALARMCFG_BUILD_WINDOWS/$3" wine start /unix "$machine_menu/配置软件.lnk"
}
check installed_window_in_english installed_window en_US.UTF-8 "Configuration Software V1.5" installed-window-under-wine-en.png
check installed_window_in_chinese installed_window zh_CN.UTF-8 "配置软件V1.5" installed-window-under-wine.png

# A write by the installed command line leaves its backup in the user's folder.
installed_backup() {
  start_sim || return 1
  rm -rf "$backups"
  wine "$machine_dir/alarmcfg-cli.exe" write "$site_w" -p COM1 || return 1
  ls "$backups"/*-COM1.json >/dev/null || { echo "no backup in $backups"; return 1; }
}
check installed_cli_backs_up installed_backup

# While a program of the install runs, its files cannot all go: the
# uninstaller then removes nothing and says so (exit code 2), and a setup
# run over the install stops before it copies anything.
while_running() {
  start_sim || return 1
  wine "$machine_dir/alarmcfg-cli.exe" status -p COM1 --watch >"$work/watch.out" 2>&1 &
  local watch=$! rc=0
  for _ in $(seq 100); do grep -q firmware "$work/watch.out" && break; sleep 0.1; done
  grep -q firmware "$work/watch.out" || { cat "$work/watch.out"; kill $watch; return 1; }
  # In place (_?=, unquoted and last, as a setup runs it), so that its exit
  # code is the one that counts; wine would quote the argument.
  printf '@"%s\\uninstall.exe" /S /AllUsers _?=%s\r\n@exit /b %%errorlevel%%\r\n' \
    "$machine_dir_w" "$machine_dir_w" >"$work/uninstall.cmd"
  wine cmd /c "$(windows_path "$work/uninstall.cmd")" || rc=$?
  local setup_rc=0
  wine "$setup" /S || setup_rc=$?
  kill $watch
  wait $watch 2>/dev/null
  [ $rc -eq 2 ] && [ $setup_rc -eq 2 ] || { echo "exit codes: uninstaller $rc, setup $setup_rc"; return 1; }
  holds_the_programs "$machine_dir" --cli uninstall.exe || return 1
  registered HKLM "$machine_dir_w" "$machine_dir" AllUsers || return 1
  note "alarmcfg-cli status --watch running: uninstaller and setup exit 2, the install as it was"
}
check nothing_removed_while_running while_running

# --- again, and over an older version ------------------------------------------

reinstall() {
  wine "$setup" /S || return 1
  # The command line stays: the installed version had it.
  holds_the_programs "$machine_dir" --cli uninstall.exe || return 1
  registered HKLM "$machine_dir_w" "$machine_dir" AllUsers || return 1
  [ "$(find "$machine_menu" -name '*.lnk' | wc -l)" -eq 2 ] || { echo "shortcuts: $(ls "$machine_menu")"; return 1; }
}
check reinstall_same_setup reinstall

# An older version that shipped a file this one does not (built here from
# the zip's folder with one DLL more): the upgrade leaves none of it.
upgrade() {
  local older="$work/older/alarmcfg-0.1.0-win64"
  mkdir -p "$work/older"
  cp -r "$programs" "$older" || return 1
  cp "$programs/libwinpthread-1.dll" "$older/libdropped-1.dll"
  cp "$programs/platforms/qwindows.dll" "$older/platforms/qdropped.dll"
  "$root/packaging/windows/make-setup" "$older" 0.1.0 "$publisher" "$ALARMCFG_BUILD_WINDOWS/windows/alarmcfg.ico" \
    "$work/older-setup.exe" 2>&1 | grep -v '^$' || true
  [ -f "$work/older-setup.exe" ] || return 1
  wine "$work/older-setup.exe" /S || return 1
  export_key HKLM && [ "$(key_value DisplayVersion)" = 0.1.0 ] || { echo "the older version is not installed"; return 1; }
  [ -f "$machine_dir/libdropped-1.dll" ] && [ -f "$machine_dir/platforms/qdropped.dll" ] || return 1
  wine "$setup" /S || return 1
  holds_the_programs "$machine_dir" --cli uninstall.exe || return 1
  registered HKLM "$machine_dir_w" "$machine_dir" AllUsers || return 1
  note "0.1.0 with two DLLs more, then $version: none of them left"
}
check upgrade_leaves_no_stale_file upgrade

# --- the silent uninstall -----------------------------------------------------------

uninstall_machine() {
  uninstall_quietly HKLM || return 1
  [ ! -e "$machine_dir" ] || { echo "left in $machine_dir:"; files "$machine_dir"; return 1; }
  ! has_key HKLM || { echo "the uninstall key is still there"; return 1; }
  [ -z "$(find "$machine_menu" -name '*.lnk')" ] || { echo "shortcuts left: $(ls "$machine_menu")"; return 1; }
  local kept
  kept=$(ls "$backups"/*-COM1.json 2>/dev/null | wc -l)
  [ "$kept" -ge 1 ] || { echo "the backups are gone"; return 1; }
  note "the program, its shortcuts and its key gone; $kept backup(s) kept in AppData/Local/alarmcfg/backups"
}
check uninstall_silent_per_machine uninstall_machine

# --- per user -------------------------------------------------------------------------

per_user() {
  wine "$setup" /S /CurrentUser || return 1
  holds_the_programs "$user_dir" uninstall.exe || return 1
  shortcut_to "$user_menu/配置软件.lnk" "$user_dir_w\\alarmcfg.exe" || return 1
  [ ! -e "$user_menu/alarmcfg-cli.lnk" ] || { echo "the command line was not asked for"; return 1; }
  registered HKCU "$user_dir_w" "$user_dir" CurrentUser || return 1
  ! has_key HKLM || { echo "an uninstall key in HKLM as well"; return 1; }
  # A file of the user's in the folder, and a configuration file of theirs.
  echo "site notes" >"$user_dir/notes.txt"
  mkdir -p "$profile/Documents" && cp "$site" "$profile/Documents/site.json"
  uninstall_quietly HKCU || return 1
  [ "$(files "$user_dir")" = "./notes.txt" ] || { echo "left in $user_dir:"; files "$user_dir"; return 1; }
  [ -f "$profile/Documents/site.json" ] && [ -n "$(ls "$backups")" ] || { echo "a file of the user's is gone"; return 1; }
  ! has_key HKCU || { echo "the uninstall key is still there"; return 1; }
  [ ! -e "$user_menu/配置软件.lnk" ] || { echo "the shortcut is still there"; return 1; }
  note "AppData\\Local\\Programs\\alarmcfg, HKCU; uninstalled, the user's own files kept"
}
check setup_silent_per_user per_user

summary
