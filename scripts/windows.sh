#!/usr/bin/env bash
# Cross-builds the core, kvcvrt-cli and their tests for 64-bit Windows into
# build-windows/ with MinGW-w64 (the window is not part of it), and with "test"
# runs the tests under Wine, then runs kvcvrt-cli.exe on the sample model through
# Windows paths and compares everything it writes with the Linux build's.
# Usage: scripts/windows.sh [build|test]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64-posix wine64 googletest
dir=build-windows
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_GUI=OFF -DKV_BUILD_PYTHON=OFF >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)"
[ "${1:-build}" = test ] || exit 0

# Wine in a prefix of its own inside the build tree, quiet, and taking the
# command line of Linux programs as UTF-8 (under the C locale it garbles non-ASCII).
wine=/usr/lib/wine/wine64
export WINEPREFIX="$PWD/$dir/wine" WINEDEBUG=-all LC_ALL=C.UTF-8
"$wine" wineboot --init >/dev/null 2>&1
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
trap 'exec 9>&-; wait "$session" || true; timeout 20 /usr/lib/wine/wineserver -w || /usr/lib/wine/wineserver -k || true' EXIT

echo "== Core and CLI tests under Wine =="
ctest --test-dir "$dir" --output-on-failure

echo "== kvcvrt-cli.exe needs no DLL beyond those of Windows itself =="
dlls=$(x86_64-w64-mingw32-objdump -p "$dir/bin/kvcvrt-cli.exe" | sed -n 's/^\s*DLL Name: //p')
echo "$dlls"
if echo "$dlls" | grep -qiE 'libstdc|libgcc|libwinpthread'; then
  echo "kvcvrt-cli.exe needs the MinGW run-time DLLs" >&2
  exit 1
fi

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
  w=$(cd "$work/windows/$folder" && "$wine" "$OLDPWD/$dir/bin/kvcvrt-cli.exe" "${win[@]}" 2>&1; echo "status $?")
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
# Windows keeps each output's lock file (<name>.kvcvrt-lock) after the run, by design.
steps=$((steps + 1))
if [ "$(ls "$unixDir")" != "$(ls "$work/windows/$folder" | grep -v '\.kvcvrt-lock$')" ]; then
  echo "DIFFERENT FILE LISTS"; failures=$((failures + 1))
fi
echo "$((steps - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
