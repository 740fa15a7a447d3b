#!/usr/bin/env bash
# Makes the .deb from the build tree, unpacks it into a throw-away root and
# checks what a user gets: the files, the Depends, the menu entry, and the
# installed program starting and showing its window.
#   test_package.sh BUILD/CPackConfig.cmake VERSION
set -euo pipefail
config=$1
version=$2
caption="配置软件V1.5"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
show() { echo "--- $1"; cat "$1"; }

# The package. cpack first runs the tree's pre-install build, a no-op
# once the tree is built.
if ! cpack --config "$config" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  show "$work/cpack.log"
  for log in "$work"/out/_CPack_Packages/*/DEB/*Output.log; do [ -f "$log" ] && tail -30 "$log"; done
  fail "cpack failed"
fi
shopt -s nullglob
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one .deb, found ${#debs[@]}"
deb=${debs[0]}
expected_name="alarmcfg_${version}_$(dpkg --print-architecture).deb"
[ "$(basename "$deb")" = "$expected_name" ] || fail "package file $(basename "$deb"), expected $expected_name"
echo "package: $(basename "$deb")"

# Its control fields
[ "$(dpkg-deb -f "$deb" Package)" = alarmcfg ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Package names alone: no versions, each alternative on its own line.
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/^ *//; s/ *$//')
for need in 'libmodbus5' 'libqt6widgets6(t64)?' 'fonts-noto-cjk'; do
  grep -Eqx "$need" <<<"$names" || fail "Depends has no $need"
done

# Its files, in a root of their own
root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/bin/alarmcfg usr/bin/alarmcfg-sim; do
  [ -f "$root/$f" ] && [ -x "$root/$f" ] || fail "no executable /$f"
  # A build-tree run path would hide libraries missing from Depends.
  if readelf -d "$root/$f" | grep -Eq 'RPATH|RUNPATH'; then fail "/$f has a run path"; fi
done
desktop="$root/usr/share/applications/alarmcfg.desktop"
icon="$root/usr/share/icons/hicolor/scalable/apps/alarmcfg.svg"
[ -f "$desktop" ] || fail "no /usr/share/applications/alarmcfg.desktop"
[ -f "$icon" ] || fail "no /usr/share/icons/hicolor/scalable/apps/alarmcfg.svg"
grep -q '<svg[^>]*viewBox="0 0 256 256"' "$icon" || fail "the icon is not a 256x256 SVG"

# The menu entry: valid, and pointing at the installed program and icon
report=$(desktop-file-validate "$desktop" 2>&1) || { echo "$report"; fail "the .desktop file is not valid"; }
[ -z "$report" ] || { echo "$report"; fail "desktop-file-validate complained"; }
key() { sed -n "s/^$1=//p" "$desktop"; }
[ -x "$root/usr/bin/$(key Exec)" ] || fail "Exec=$(key Exec) is not in /usr/bin"
[ "$(key Icon)" = alarmcfg ] || fail "Icon=$(key Icon)"
[ "$(key 'Name\[zh_CN\]')" = "配置软件" ] || fail "Name[zh_CN]=$(key 'Name\[zh_CN\]')"

# The installed program starts offscreen and keeps running
export ALARMCFG_COM1="$work/no-such-port"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/alarmcfg" >"$work/offscreen.log" 2>&1 &
app=$!
pids+=("$app")
sleep 2
kill -0 "$app" 2>/dev/null || { show "$work/offscreen.log"; fail "alarmcfg exited at once offscreen"; }
kill "$app"

# ... and under a private X server shows its window with the caption.
# Xvfb picks a free display itself, so parallel runs do not collide.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=("$!")
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=$(head -1 "$work/display")
[ -n "$display" ] || { show "$work/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=":$display"

QT_QPA_PLATFORM=xcb "$root/usr/bin/alarmcfg" >"$work/x.log" 2>&1 &
app=$!
pids+=("$app")
# xdotool's --name reads WM_NAME, which Qt garbles for Chinese in the C
# locale; so find the program's mapped windows by process and compare each
# one's UTF-8 title, whatever the locale.
windows=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app" 2>/dev/null) \
  || { show "$work/x.log"; fail "alarmcfg showed no window within 20 s"; }
titles=()
for w in $windows; do titles+=("$(xdotool getwindowname "$w")"); done
printf 'window title: %s\n' "${titles[@]}"
printf '%s\n' "${titles[@]}" | grep -Fqx "$caption" || fail "no window titled $caption"
kill -0 "$app" 2>/dev/null || fail "alarmcfg exited"
echo "package test passed"
