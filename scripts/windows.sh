#!/usr/bin/env bash
# Cross-builds kvcvrt for 64-bit Windows into build-windows/ with MinGW-w64:
# the window kvcvrt.exe (against the static Qt that scripts/qt-windows.sh builds
# once from Debian's Qt source), kvcvrt-cli.exe, their tests, the installer
# build-windows/kvcvrt-<version>-setup.exe and its source, kvcvrt-<version>-source.tar.
# With "test" it then runs, under Wine: the tests, kvcvrt-cli.exe on the sample model through Windows paths compared
# with the Linux build, the window on the sample model in a virtual X display
# (its picture: build-windows/kvcvrt-wine.png), and the installer installed
# silently into a Wine prefix of its own and uninstalled again.
# Every Wine call runs under a time limit, and Wine's servers end with the script.
# Usage: scripts/windows.sh [build|test]
# KV_WINDOWS_GUI=OFF leaves the window, Qt and the installer out (kvcvrt-cli.exe
# and its tests only).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64-posix wine64 googletest nsis fonts-dejavu-core
dir=build-windows
gui=${KV_WINDOWS_GUI:-ON}

if [ "$gui" = ON ]; then
  # The static Qt for Windows: built once (about 40 minutes), then taken from its cache.
  scripts/qt-windows.sh >&2
  qt=$(scripts/qt-windows.sh --prefix)
  # Qt's toolchain file finds its Qt and the host tools, then takes ours for the rest.
  toolchain=$qt/lib/cmake/Qt6/qt.toolchain.cmake
  args=(-DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DKV_BUILD_GUI=ON)
else
  toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
  args=(-DKV_BUILD_GUI=OFF)
fi
# A build tree made for another Qt (or none) is made anew.
if [ -f "$dir/CMakeCache.txt" ] && ! grep -qxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$toolchain" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
fi
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_PYTHON=OFF -DKV_WITH_GDAL=OFF >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")

setup=$dir/kvcvrt-$version-setup.exe
if [ "$gui" = ON ]; then
  # The installer: the programs stripped of their symbols, and the licences of
  # kvcvrt and of every part built into it (Windows line ends, for Notepad).
  stage=$dir/setup
  rm -rf "$stage"
  mkdir -p "$stage/bin" "$stage/doc" "$stage/fonts"
  cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$stage/fonts/"
  for exe in kvcvrt kvcvrt-cli; do
    x86_64-w64-mingw32-strip -o "$stage/bin/$exe.exe" "$dir/bin/$exe.exe"
  done
  text() { sed 's/\r*$/\r/' "$1" >"$stage/doc/$2"; }
  text LICENSE LICENSE.txt
  text dist/windows/THIRD-PARTY.txt THIRD-PARTY.txt
  text /usr/share/common-licenses/LGPL-3 Qt-LGPL-3.txt
  text /usr/share/common-licenses/GPL-3 GPL-3.txt
  text /usr/share/doc/libqt6core6/copyright Qt-copyright.txt
  text /usr/share/doc/libsimpleini-dev/copyright SimpleIni-copyright.txt
  text /usr/share/doc/libcli11-dev/copyright CLI11-copyright.txt
  text /usr/share/doc/fonts-dejavu-core/copyright DejaVu-fonts-copyright.txt
  text /usr/share/doc/mingw-w64-x86-64-dev/copyright MinGW-w64-copyright.txt
  text /usr/share/doc/gcc-mingw-w64-base/copyright GCC-runtime-copyright.txt
  cat "$stage/doc/LICENSE.txt" <(printf '\r\n\r\n') "$stage/doc/THIRD-PARTY.txt" >"$stage/licence-page.txt"
  makensis -V2 -NOCD -DVERSION="$version" -DBIN="$stage/bin" -DDOC="$stage/doc" -DFONTS="$stage/fonts" \
    -DLICENCE_PAGE="$stage/licence-page.txt" -DICON=dist/icons/kvcvrt.ico -DOUTFILE="$setup" \
    dist/windows/kvcvrt.nsi
  # The source that goes out with the installer, as the LGPL asks of a program
  # with Qt linked in: kvcvrt's own files (with the Qt build script and our
  # patches to Qt) and Debian's source package of that Qt.
  bundle=$dir/kvcvrt-$version-source.tar
  qtsource=$(scripts/qt-windows.sh --source)
  pack=(--sort=name --owner=0 --group=0 --numeric-owner)
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z | tar "${pack[@]}" --null -T - --transform "s,^,kvcvrt-$version/," -cf "$bundle"
  else
    tar "${pack[@]}" --exclude='./build*' --transform "s,^\.,kvcvrt-$version," -cf "$bundle" .
  fi
  tar "${pack[@]}" -C "$qtsource" --transform "s,^\.,qt6-base-source," -rf "$bundle" .
  echo "Built $dir/bin/kvcvrt.exe, $dir/bin/kvcvrt-cli.exe, $setup and its source $bundle"
else
  echo "Built $dir/bin/kvcvrt-cli.exe (KV_WINDOWS_GUI=$gui: no window, no installer)"
fi
[ "${1:-build}" = test ] || exit 0

# Wine in a prefix of its own inside the build tree, quiet, and taking the
# command line of Linux programs as UTF-8 (under the C locale it garbles non-ASCII).
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$PWD/$dir/wine" WINEDEBUG=-all LC_ALL=C.UTF-8
timeout 300 "$wine" wineboot --init >/dev/null 2>&1

# One Wine session for the whole step: a command prompt that waits on a pipe keeps
# Wine's own background processes up, started here with no output of ours to write
# into (else each new session starts them anew from the next program, which gets
# their complaints on its standard error). Afterwards the session and the prefix's
# Wine server end, at once if the server lingers.
fifo="$dir/wine-session"
rm -f "$fifo"
mkfifo "$fifo"
"$wine" cmd <"$fifo" >/dev/null 2>&1 &
session=$!
exec 9>"$fifo"  # the prompt reads this until it is closed
finish() {
  exec 9>&- || true
  timeout 20 "$wineserver" -w || "$wineserver" -k || true
  wait "$session" 2>/dev/null || true
}
trap finish EXIT

echo "== Tests under Wine (the window's on Qt's offscreen platform) =="
ctest --test-dir "$dir" --output-on-failure --timeout 600

echo "== The programs need no DLL beyond those of Windows itself =="
for exe in $([ "$gui" = ON ] && echo kvcvrt) kvcvrt-cli; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$dir/bin/$exe.exe" | sed -n 's/^\s*DLL Name: //p')
  echo "$exe.exe:" $dlls
  if echo "$dlls" | grep -qiE 'libstdc|libgcc|libwinpthread|Qt6'; then
    echo "$exe.exe needs DLLs that Windows does not have" >&2
    exit 1
  fi
done

echo "== kvcvrt-cli.exe against kvcvrt-cli on the sample model =="
native=build/bin/kvcvrt-cli
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kvcvrt-cli -- -j"$(nproc)" >/dev/null
work="$PWD/$dir/e2e"
rm -rf "$work"
folder="Böden"
for side in linux windows; do
  mkdir -p "$work/$side/$folder"
  cp examples/site.kv5 examples/input.dat "$work/$side/$folder/"
done
unixDir="$work/linux/$folder"
winDir="Z:$(printf '%s' "$work/windows/$folder" | tr / '\\')"
winFolded="$(printf '%s' "$winDir" | LC_ALL=C tr A-Z a-z)"  # derived names fold ASCII case there

# run STEP SEPARATOR ARGS...: runs one step on both sides and compares the exit
# status, standard output and standard error. In ARGS, %D stands for the sample's
# folder and "/" for the separator, which on Windows becomes SEPARATOR. In the
# output, the folder in each of its spellings is written <D>, and a "\" after it "/".
failures=0
steps=0
run() {
  local step=$1 sep=$2; shift 2
  local -a lin=() win=()
  local a
  for a in "$@"; do
    lin+=("${a//%D/$unixDir}")
    a=${a//%D/${winDir//\\//}}
    win+=("${a//\//$sep}")
  done
  local l w form
  l=$(cd "$unixDir" && "$OLDPWD/$native" "${lin[@]}" 2>&1; echo "status $?")
  w=$(cd "$work/windows/$folder" && timeout 300 "$wine" "$OLDPWD/$dir/bin/kvcvrt-cli.exe" "${win[@]}" 2>&1; echo "status $?")
  l=${l//"$unixDir"/<D>}
  for form in "$winDir" "$winFolded" "${winDir//\\//}" "${winFolded//\\//}"; do w=${w//"$form"/<D>}; done
  w=${w//<D>\\/<D>/}
  steps=$((steps + 1))
  if [ "$l" == "$w" ]; then
    echo "same: $step"
  else
    echo "DIFFERENT: $step"; diff <(printf '%s\n' "$l") <(printf '%s\n' "$w") || true
    failures=$((failures + 1))
  fi
}
run "convert, drive letter and backslashes" '\' convert --input %D/input.dat --model %D/site.kv5 --type hea --create
run "convert again, names relative to the current folder" '\' convert --input input.dat --model site.kv5 --type hea
run "convert to a name outside ASCII, forward slashes" / \
  convert --input %D/input.dat --output '%D/Höhe ä.top' --grid 12,8,2 --type top --create
run "info" '\' info %D/site.hea --model %D/site.kv5 --type hea
run "export to standard output" '\' export '%D/Höhe ä.top' --grid 12,8,2 --type top
run "export to a file" '\' export %D/site.hea --model %D/site.kv5 --type hea --output %D/Zurück.dat
run "a refusal" '\' convert --input %D/fehlt.dat --model %D/site.kv5 --type hea

for f in "$unixDir"/*; do
  name=$(basename "$f")
  steps=$((steps + 1))
  if cmp -s "$f" "$work/windows/$folder/$name"; then
    echo "same bytes: $name"
  else
    echo "DIFFERENT BYTES: $name"; failures=$((failures + 1))
  fi
done
steps=$((steps + 1))
if [ "$(ls "$unixDir")" != "$(ls "$work/windows/$folder")" ]; then
  echo "DIFFERENT FILE LISTS"; failures=$((failures + 1))
fi
echo "$((steps - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]


[ "$gui" = ON ] || exit 0
scripts/windows-setup.sh "$dir" "$setup" "$work/windows/$folder"
echo "Windows build tested: $dir/bin/kvcvrt.exe, $dir/bin/kvcvrt-cli.exe, $setup"
