#!/usr/bin/env bash
# Installs kvcvrt with its Windows installer, silently, into a fresh Wine prefix
# (BUILD_DIR/wine-setup), checks what it put there, opens the sample model
# with the .kv5 association's command in the window (drawn on a virtual X display
# of its own, its picture written to BUILD_DIR/kvcvrt-wine.png), uninstalls it silently and
# checks that nothing of it is left; before that, the uninstaller is tried while the window is open. Every Wine call has a time limit; Wine's
# server and the display end with the script.
# Usage: scripts/windows-setup.sh BUILD_DIR SETUP_EXE MODEL_FOLDER   (scripts/windows.sh test calls it)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath "$1") setup=$(realpath "$2") models=$(realpath "$3")
scripts/deps.sh xvfb x11-apps x11-utils netpbm fonts-wine
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$dir/wine-setup" WINEDEBUG=-all LC_ALL=C.UTF-8
rm -rf "$WINEPREFIX"

# A virtual X display of its own for the window, on the first free number.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
trap 'timeout 20 "$wineserver" -w || "$wineserver" -k || true; kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
w() { timeout 120 "$wine" "$@" 2>/dev/null | tr -d '\r'; }
timeout 300 "$wine" wineboot --init >/dev/null 2>&1
# Wine's own fonts (Tahoma and others) where Windows keeps its fonts, so that the
# window looks as on Windows.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

failures=0
check() {  # check DESCRIPTION COMMAND...: one line of the report
  if "${@:2}" >/dev/null 2>&1; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
# reg KEY [VALUE]: the data of a value of HKEY_CURRENT_USER (the default one
# without VALUE); fails when there is no such value.
reg() {
  local out
  if [ -n "${2:-}" ]; then
    out=$(timeout 120 "$wine" reg query "HKCU\\$1" /v "$2" 2>/dev/null) || return 1
  else
    out=$(timeout 120 "$wine" reg query "HKCU\\$1" /ve 2>/dev/null) || return 1
  fi
  printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p' | head -n1
}
has() { timeout 120 "$wine" reg query "HKCU\\$1" >/dev/null 2>&1; }
contains() { local value; value=$(reg "$1" "$2") && [[ ${value,,} == *"${3,,}"* ]]; }

localAppData=$(w cmd /c echo %LOCALAPPDATA%)
appData=$(w cmd /c echo %APPDATA%)
inst="$localAppData\\Programs\\kvcvrt"
unixInst=$(w winepath -u "$inst")
startMenu=$(w winepath -u "$appData\\Microsoft\\Windows\\Start Menu\\Programs")
pathBefore=$(reg Environment Path || true)

echo "== The installer, silently, for the current user, with kvcvrt-cli on the PATH =="
timeout 300 "$wine" "$setup" /S /ADDTOPATH >/dev/null 2>&1
timeout 60 "$wineserver" -w || true
for f in bin/kvcvrt.exe bin/kvcvrt-cli.exe uninstall.exe share/doc/kvcvrt/LICENSE.txt \
         share/doc/kvcvrt/THIRD-PARTY.txt share/doc/kvcvrt/Qt-LGPL-3.txt; do
  check "installed $f" test -f "$unixInst/$f"
done
check "Start-menu entry" test -f "$startMenu/kvcvrt.lnk"
check ".kv5 opens as a kvcvrt model" contains 'Software\Classes\.kv5' '' kvcvrt.model
check "the model opens in the window" contains 'Software\Classes\kvcvrt.model\shell\open\command' '' \
  "\"$inst\\bin\\kvcvrt.exe\" \"%1\""
check "an entry among the installed programs" contains \
  'Software\Microsoft\Windows\CurrentVersion\Uninstall\kvcvrt' UninstallString "$inst\\uninstall.exe"
check "kvcvrt-cli on the user's PATH" contains Environment Path "$inst\\bin"
version=$(w "$inst\\bin\\kvcvrt-cli.exe" --version || true)
check "the installed kvcvrt-cli.exe runs ($version)" test -n "$version"

echo "== The sample model opened as a double click opens it =="
# The command the association gives, with the model's path for %1. (Wine 8 does
# not look up the user's own classes, so its "start" cannot follow the association.)
command=$(reg 'Software\Classes\kvcvrt.model\shell\open\command' || true)
program=${command#\"}
program=${program%%\"*}
check "the association's command takes the model as one argument" test "$command" == "\"$program\" \"%1\""
model=$(w winepath -w "$models/site.kv5")
timeout 300 "$wine" "$program" "$model" >/dev/null 2>&1 &
# Wine names the X window's class after the program; its largest window is the main one.
window=
for _ in $(seq 1 120); do
  window=$(xwininfo -root -tree 2>/dev/null | grep -i '("kvcvrt\.exe"' | grep -v '"Default IME"' |
           awk '{ split($(NF - 1), g, /[x+]/); print g[1] * g[2], $1 }' | sort -n | tail -n1 | cut -d' ' -f2 || true)
  [ -z "$window" ] || break
  sleep 1
done
check "the window opens on the model" test -n "$window"
if [ -n "$window" ]; then
  sleep 5  # let it finish drawing
  # Without a window manager, Wine's X window reaches from the screen's corner to the window's
  # far corner, black where the window is not: the black rows above and columns left go.
  xwd -id "$window" -silent | xwdtopnm 2>/dev/null | pnmcrop -black -top -left | pnmtopng >"$dir/kvcvrt-wine.png"
  echo "picture of the window: $dir/kvcvrt-wine.png"
fi
echo "== The uninstaller while the window is open =="
# Run in place (_?=), so that its exit status is its own: it removes nothing and ends with status 2.
status=0
timeout 120 "$wine" "$inst\\uninstall.exe" /S "_?=$inst" >/dev/null 2>&1 || status=$?
check "it stops with status 2 (status $status)" test "$status" -eq 2
check "kvcvrt.exe is still installed" test -f "$unixInst/bin/kvcvrt.exe"
check "its entry among the installed programs stays" has 'Software\Microsoft\Windows\CurrentVersion\Uninstall\kvcvrt'
w taskkill /im kvcvrt.exe >/dev/null || true
sleep 2
w taskkill /f /im kvcvrt.exe >/dev/null || true
timeout 60 "$wineserver" -w || "$wineserver" -k || true

echo "== The uninstaller, silently =="
# The folders Qt's file dialogs remember, as kvcvrt's dialogs leave them.
w reg add 'HKCU\Software\QtProject\OrganizationDefaults\FileDialog' /v lastVisited /d 'file:///C:/' /f >/dev/null || true
# It copies itself away and returns at once; the copy finishes in the background.
timeout 120 "$wine" "$inst\\uninstall.exe" /S >/dev/null 2>&1 || true
timeout 120 "$wineserver" -w || true
check "the program folder is gone" absent test -e "$unixInst"
check "the Start-menu entry is gone" absent test -e "$startMenu/kvcvrt.lnk"
check "no .kv5 association left" absent has 'Software\Classes\.kv5'
check "no kvcvrt.model class left" absent has 'Software\Classes\kvcvrt.model'
check "no entry among the installed programs" absent has 'Software\Microsoft\Windows\CurrentVersion\Uninstall\kvcvrt'
check "no settings key left" absent has 'Software\kvcvrt'
check "no file dialog key left" absent has 'Software\QtProject'
check "the user's PATH as before" test "$(reg Environment Path || true)" == "$pathBefore"
left=$(find "$WINEPREFIX/drive_c" -iname '*kvcvrt*' -not -path '*/temp/*' 2>/dev/null || true)
check "no file named after kvcvrt left${left:+: $left}" test -z "$left"

# The installer's strings hold 1023 characters. A PATH that does not fit them, or
# would not with our folder, is left as it was (the installer ends with status 3),
# and so is one that has grown too long by the time of the uninstall.
pathOf() {  # pathOf LENGTH [LAST]: a PATH of that many characters, ending in LAST
  local p="C:\\tools" end=${2:+;$2}
  while [ $((${#p} + ${#end})) -lt "$1" ]; do p="$p;C:\\tools\\t${#p}"; done
  printf '%s' "${p:0:$(($1 - ${#end}))}$end"
}
setPath() { timeout 120 "$wine" reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1; }
for length in 1500 1000 900; do
  echo "== Install and uninstall with a PATH of $length characters =="
  long=$(pathOf "$length")
  setPath "$long"
  status=0
  timeout 300 "$wine" "$setup" /S /ADDTOPATH >/dev/null 2>&1 || status=$?
  timeout 60 "$wineserver" -w || true
  if [ "$length" -ge 1000 ]; then
    check "installed with status 3, the PATH kept whole" test "$status:$(reg Environment Path || true)" == "3:$long"
  else
    check "installed, our folder added" test "$status:$(reg Environment Path || true)" == "0:$long;$inst\\bin"
    long=$(pathOf 1500 "$inst\\bin")  # grown since
    setPath "$long"
  fi
  timeout 120 "$wine" "$inst\\uninstall.exe" /S >/dev/null 2>&1 || true
  timeout 120 "$wineserver" -w || true
  check "uninstalled, the PATH kept whole" test "$(reg Environment Path || true)" == "$long"
done
echo "installer: $failures failed"
[ "$failures" -eq 0 ]
