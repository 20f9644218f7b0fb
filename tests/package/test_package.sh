#!/usr/bin/env bash
# The Debian package, as a user gets it: its metadata and files, its desktop entry,
# AppStream metainfo, manual page and icons checked with Debian's own tools; then it is
# installed with apt-get, the installed /usr/bin/qksonnerix runs two desktop scenarios
# (start, a key that sounds, close, the settings kept; the first start with the installed
# demo bank on the keys), and it is removed again, leaving
# nothing behind in /usr. Needs root or sudo (CI runs as root).
#
#   test_package.sh <qksonnerix_<version>_<arch>.deb>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: package: $*" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -y -q -o DPkg::Lock::Timeout=300)
[ "$(id -u)" -eq 0 ] || apt=(sudo DEBIAN_FRONTEND=noninteractive "${apt[@]}")

echo "-- the package's control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = qksonnerix ] || fail "Package is $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
version=$(field Version)
[ "$(basename "$deb")" = "qksonnerix_${version}_$(dpkg --print-architecture).deb" ] || fail "named $(basename "$deb")"
depends=$(field Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for need in fonts-wine libc6 libsdl2-2.0-0 libsdl2-ttf-2.0-0 libx11-6 libstdc++6; do
  grep -qxF "$need" <<<"$names" || fail "Depends lacks $need: $depends"
done
echo "Depends: $depends"

echo "-- its files"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' | grep -v '/$' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
/usr/bin/qksonnerix
/usr/share/applications/qksonnerix.desktop
/usr/share/icons/hicolor/16x16/apps/qksonnerix.png
/usr/share/icons/hicolor/256x256/apps/qksonnerix.png
/usr/share/icons/hicolor/32x32/apps/qksonnerix.png
/usr/share/icons/hicolor/48x48/apps/qksonnerix.png
/usr/share/man/man1/qksonnerix.1.gz
/usr/share/metainfo/org.qksonnerix.QKSonnerix.metainfo.xml
/usr/share/qksonnerix/QK_AUDIO.html
/usr/share/qksonnerix/demo/DEMO.QK
/usr/share/qksonnerix/demo/break.wav
/usr/share/qksonnerix/demo/cue.wav
/usr/share/qksonnerix/demo/ding.wav
/usr/share/qksonnerix/demo/dingdong.wav
/usr/share/qksonnerix/demo/fanfare.wav
/usr/share/qksonnerix/demo/question.wav
/usr/share/qksonnerix/demo/sadtrombone.wav
/usr/share/qksonnerix/demo/station.wav
LIST
diff -u "$work/expected" "$work/files" || fail "other files than expected"
dpkg-deb -c "$deb" | awk '$2 != "root/root" { bad = 1; print } END { exit bad }' || fail "files not owned by root"

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/qksonnerix.desktop" || fail "the desktop entry"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.qksonnerix.QKSonnerix.metainfo.xml" ||
  fail "the metainfo"
grep -q "<release version=\"$version\"" "$work/root/usr/share/metainfo/org.qksonnerix.QKSonnerix.metainfo.xml" ||
  fail "the metainfo names another release than $version"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/qksonnerix.1.gz" 2>&1 >"$work/man.txt")
[ -z "$warnings" ] || fail "the manual page: $warnings"
for heading in NAME SYNOPSIS DESCRIPTION KEYS OPTIONS ENVIRONMENT FILES; do
  grep -q "^$heading" "$work/man.txt" || fail "the manual page has no $heading"
done
for word in QKSONNERIX_SCALE GDK_SCALE Xft.dpi XDG_CONFIG_HOME ZELVRANT.INI SDL_VIDEODRIVER; do
  grep -q "$word" "$work/man.txt" || fail "the manual page does not mention $word"
done
python3 "$here/check_icons.py" "$src/res" "$work/root/usr/share/icons/hicolor" || fail "the icons"

echo "-- installed with apt-get"
if dpkg-query -W -f='${Status}' qksonnerix 2>/dev/null | grep -q "ok installed"; then
  echo "(an earlier qksonnerix package is removed first)"
  "${apt[@]}" purge qksonnerix >/dev/null
fi
find /usr -xdev | sort >"$work/before"
"${apt[@]}" install "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
installed=1
cleanup() {
  if [ "${installed:-0}" = 1 ]; then "${apt[@]}" purge qksonnerix >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
[ "$(dpkg-query -W -f='${Version}' qksonnerix)" = "$version" ] || fail "dpkg does not know it as $version"
[ -x /usr/bin/qksonnerix ] || fail "no /usr/bin/qksonnerix"
python3 "$src/tests/desktop/desktop_test.py" /usr/bin/qksonnerix play_and_close || fail "the installed player"
# Its first start puts the installed demo bank on the keys, and F1 plays it.
grep -qxF 'Z:\usr\share\qksonnerix\demo\ding.wav' <(tr -d '\r' </usr/share/qksonnerix/demo/DEMO.QK) ||
  fail "the installed demo bank does not name the installed jingles"
python3 "$src/tests/desktop/desktop_test.py" /usr/bin/qksonnerix first_start || fail "the installed player's first start"

echo "-- removed"
"${apt[@]}" purge qksonnerix >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
installed=0
dpkg-query -W -f='${Status}' qksonnerix 2>/dev/null | grep -q "ok installed" && fail "still installed"
find /usr -xdev | sort >"$work/after"
comm -13 "$work/before" "$work/after" >"$work/left"
[ ! -s "$work/left" ] || { cat "$work/left"; fail "left behind in /usr"; }
echo "package: passed"
