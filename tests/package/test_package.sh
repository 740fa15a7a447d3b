#!/usr/bin/env bash
# Makes the .deb from the build tree, unpacks it into a throw-away root and
# checks what a user gets: lintian's verdict, the files, the Depends, the
# licence and changelog, a manual page for every program, the menu entry and
# the AppStream data, and the installed program starting and showing its
# window, in Chinese and in English.
#   test_package.sh BUILD/CPackConfig.cmake VERSION
set -euo pipefail
config=$1
version=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
caption="配置软件V1.5"
caption_en="Configuration Software V1.5"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
show() { echo "--- $1"; cat "$1"; }
for tool in lintian appstreamcli desktop-file-validate dpkg-parsechangelog man xdotool Xvfb; do
  command -v "$tool" >/dev/null || fail "$tool is not installed: run scripts/setup"
done

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
for need in 'libmodbus5' 'libqt6widgets6(t64)?' 'fonts-noto-cjk' 'qt6-translations-l10n'; do
  grep -Eqx "$need" <<<"$names" || fail "Depends has no $need"
done

# Debian's own checks. The package carries no lintian overrides today; one
# that is ever needed goes in /usr/share/lintian/overrides/alarmcfg, each
# line under a comment that says why the tag does not apply.
# --no-cfg: a user's lintianrc cannot hide a tag; the Debian profile also
# on Ubuntu.
lintian_rc=0
lintian --no-cfg --profile debian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || lintian_rc=$?
grep -v '^running with root privileges' "$work/lintian.log" || true
[ "$lintian_rc" -eq 0 ] || fail "lintian found errors or warnings (exit $lintian_rc)"
echo "lintian: no errors or warnings"

# Its files, in a root of their own
root="$work/root"
dpkg -x "$deb" "$root"
overrides="$root/usr/share/lintian/overrides/alarmcfg"
if [ -f "$overrides" ]; then
  awk '/^[[:space:]]*$/ { next }
       /^#/ { said = 1; next }
       !said { print "unexplained override: " $0; bad = 1 }
       { said = 0 }
       END { exit bad }' "$overrides" || fail "every lintian override needs a comment above it"
fi
for f in usr/bin/alarmcfg usr/bin/alarmcfg-sim; do
  [ -f "$root/$f" ] && [ -x "$root/$f" ] || fail "no executable /$f"
done
for f in "$root"/usr/bin/*; do
  # A build-tree run path would hide libraries missing from Depends.
  if readelf -d "$f" | grep -Eq 'RPATH|RUNPATH'; then fail "/usr/bin/$(basename "$f") has a run path"; fi
done

# The licence: DEP-5, MIT for the project, with the same text as LICENSE, and
# the libraries the programs link against named with their licences.
copyright="$root/usr/share/doc/alarmcfg/copyright"
[ -f "$copyright" ] || fail "no /usr/share/doc/alarmcfg/copyright"
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not in the machine-readable format"
awk '/^Files: \*$/ { files = 1 } files && /^License: / { print $2; exit }' "$copyright" | grep -qx MIT \
  || fail "the copyright file does not give MIT for Files: *"
grep -q 'Qt 6.*LGPL-3\|LGPL-3.*Qt 6' <(tr '\n' ' ' <"$copyright") || fail "the copyright file does not name Qt's LGPL-3"
grep -q 'libmodbus.*LGPL-2.1+' <(tr '\n' ' ' <"$copyright") || fail "the copyright file does not name libmodbus's LGPL-2.1+"
words() { tr -s ' \n' '\n\n' | grep -vx '[.]\?'; }
diff <(sed -n '/^Permission is hereby/,$p' "$source_dir/LICENSE" | words) \
     <(sed -n '/^License: MIT$/,/^$/p' "$copyright" | sed -n '/Permission is hereby/,$p' | words) >"$work/licence.diff" \
  || { cat "$work/licence.diff"; fail "the copyright file's MIT text is not LICENSE's"; }

# The changelog, native style: its top entry is this version.
changelog="$root/usr/share/doc/alarmcfg/changelog.gz"
[ -f "$changelog" ] || fail "no /usr/share/doc/alarmcfg/changelog.gz"
[ ! -e "$root/usr/share/doc/alarmcfg/changelog.Debian.gz" ] || fail "a native package has no changelog.Debian.gz"
gzip -dc "$changelog" >"$work/changelog"
top=$(dpkg-parsechangelog -l "$work/changelog" -S Version) || fail "changelog.gz is not a Debian changelog"
[ "$top" = "$version" ] || fail "the changelog's top entry is $top, the package $version: add an entry"

# A manual page, section 1, gzipped, for every program in /usr/bin; man
# formats each without a warning. A page help2man made names every option
# the program's --help lists.
programs=()
for f in "$root"/usr/bin/*; do programs+=("$(basename "$f")"); done
[ ${#programs[@]} -ge 2 ] || fail "only ${#programs[@]} programs in /usr/bin"
for p in "${programs[@]}"; do
  page="$root/usr/share/man/man1/$p.1.gz"
  [ -f "$page" ] || fail "no manual page /usr/share/man/man1/$p.1.gz"
  gzip -t "$page" || fail "$p.1.gz is not gzip"
  # Decompressed once: with pipefail, "gzip -dc | grep -q" fails whenever grep
  # stops reading before gzip has written everything.
  text=$(gzip -dc "$page")
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man cannot format $p.1.gz"
  [ -z "$warnings" ] || { echo "$warnings"; fail "man warns about $p.1.gz"; }
  grep -A1 '^\.SH NAME' <<<"$text" | tail -1 | grep -q "^$p \\\\- " || fail "$p.1.gz's NAME is not '$p - ...'"
  if grep -q 'generated by help2man' <<<"$text"; then
    options=$("$root/usr/bin/$p" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
    [ -n "$options" ] || fail "$p --help lists no options"
    for o in $options; do
      grep -qF -- "\fB${o//-/\\-}\fR" <<<"$text" || fail "$p.1.gz does not describe $o"
    done
  fi
done
echo "manual pages: ${programs[*]}"
# The window's page is written by hand: it covers what an operator needs.
window_page=$(gzip -dc "$root/usr/share/man/man1/alarmcfg.1.gz" | sed 's/\\-/-/g')
for topic in 'COM1' 'ALARMCFG_COM' 'ALARMCFG_TRACE' 'ALARMCFG_BAUD' 'ALARMCFG_LANG' 'LC_MESSAGES' 'ports.json' 'dialout'; do
  grep -qF "$topic" <<<"$window_page" \
    || fail "alarmcfg.1 says nothing of $topic"
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

# The AppStream data: valid on its own and with the tree it describes (the
# desktop entry it launches), with English and Chinese summaries, a
# screenshot, this release, and every program in /usr/bin.
metainfos=("$root"/usr/share/metainfo/*.metainfo.xml)
[ ${#metainfos[@]} -eq 1 ] || fail "expected one file in /usr/share/metainfo, found ${#metainfos[@]}"
metainfo=${metainfos[0]}
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate failed on $(basename "$metainfo")"
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree failed"
grep -q '<summary>[^<]' "$metainfo" || fail "the metainfo has no English summary"
grep -q '<summary xml:lang="zh_CN">[^<]' "$metainfo" || fail "the metainfo has no Chinese summary"
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no screenshot"
grep -q '<image[^>]*>https://[^<]*\.png</image>' "$metainfo" || fail "the metainfo's screenshot is no https address of a PNG"
grep -q '<launchable type="desktop-id">alarmcfg.desktop</launchable>' "$metainfo" || fail "the metainfo does not launch alarmcfg.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
for p in "${programs[@]}"; do
  grep -qF "<binary>$p</binary>" "$metainfo" || fail "the metainfo does not provide $p"
done

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

# The language is the locale's: C is Chinese, English English (the
# catalogues are in the program, Qt's own Chinese one in qt6-translations-l10n).
unset LANGUAGE LC_ALL LC_MESSAGES
shows_window() { # shows_window LANG CAPTION
  LANG=$1 QT_QPA_PLATFORM=xcb "$root/usr/bin/alarmcfg" >"$work/x.log" 2>&1 &
  app=$!
  pids+=("$app")
  # xdotool's --name reads WM_NAME, which Qt garbles for Chinese in the C
  # locale; so find the program's mapped windows by process and compare each
  # one's UTF-8 title, whatever the locale.
  windows=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app" 2>/dev/null) \
    || { show "$work/x.log"; fail "alarmcfg showed no window within 20 s"; }
  titles=()
  for w in $windows; do titles+=("$(xdotool getwindowname "$w")"); done
  printf 'LANG=%s, window title: %s\n' "$1" "${titles[@]}"
  printf '%s\n' "${titles[@]}" | grep -Fqx "$2" || fail "no window titled $2 with LANG=$1"
  kill -0 "$app" 2>/dev/null || fail "alarmcfg exited"
  ! grep -F 'catalogue' "$work/x.log" || fail "a catalogue is missing with LANG=$1"
  kill "$app"
  wait "$app" 2>/dev/null || true
}
shows_window C.UTF-8 "$caption"
shows_window en_US.UTF-8 "$caption_en"
echo "package test passed"
