#!/usr/bin/env bash
# Builds a static Qt 6 for 64-bit Windows from the source of the very Qt the
# Linux build uses (Debian's qt6-base 6.4.2+dfsg-10), with MinGW-w64 and the
# host tools (moc, rcc, uic) of Debian's own Qt, and installs it into a cache
# outside the source tree:
#   ${KV_QT_CACHE:-/var/cache/kvcvrt}/qt-6.4.2-mingw-static-<recipe hash>
# The hash covers the recipe (the block between the "recipe" marks below: the
# source package, the toolchain and the configure options) and our patches, so a
# changed recipe builds anew while an unchanged one is reused.
# Prints the installed prefix on its last line. Debian's source package it was
# built from (.dsc, .orig and .debian archives) is kept in share/kvcvrt/source
# of the prefix, for the source that goes out beside the installer.
# Usage: scripts/qt-windows.sh [--prefix|--source]   (--prefix: only print where
# it goes; --source: print the folder of the source package, fetched if missing)
# Takes about 40 minutes on two cores; KV_JOBS sets the parallel jobs.
#
# The same steps rebuild the Qt inside kvcvrt.exe with changes of one's own
# (see "Qt and the LGPL" in README.md): a patch added to the list below makes a
# new recipe, built beside the old one.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD

# ---- recipe begin ----
package=qt6-base
version=6.4.2+dfsg-10
patches=(patches/qt6-base-windows-fonts-without-direct2d.patch)
toolchain='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
'
off=(network sql dbus printsupport concurrent xml opengl vulkan icu glib zstd jpeg
     tabletevent direct2d androiddeployqt pkg_config
     system_zlib system_png system_jpeg system_freetype system_harfbuzz system_pcre2
     system_doubleconversion system_libb2 system_textmarkdownreader)
on=(gui widgets testlib)
options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
         -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
         -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DINPUT_opengl=no)
# ---- recipe end ----
# Only what the window needs: Core, Gui, Widgets, Test and the Windows and
# offscreen platforms. Every third-party library is the copy in Qt's source
# (nothing of the host's /usr gets in). Off besides the unneeded modules:
#   tabletevent       Debian's source removed the Windows tablet headers (wintab);
#   direct2d          the Direct2D paint engine, not needed (see our patch);
#   androiddeployqt   Debian's cross.patch turns it on for cross builds.

root=${KV_QT_CACHE:-/var/cache/kvcvrt}
hash=$({ sed -n '/^# ---- recipe begin/,/^# ---- recipe end/p' scripts/qt-windows.sh; cat "${patches[@]}"; } |
       sha256sum | cut -c1-12)
prefix=$root/qt-6.4.2-mingw-static-$hash
if [ "${1:-}" = --prefix ]; then echo "$prefix"; exit 0; fi
kept=$prefix/share/kvcvrt/source
if [ "${1:-}" = --source ] && [ -f "$prefix/kvcvrt-qt-complete" ] && ! ls "$kept"/*.dsc >/dev/null 2>&1; then
  # A Qt built before the source was kept: the same package, fetched again.
  mkdir -p "$kept.part"
  (cd "$kept.part" && apt-get source --download-only -qq "$package=$version" 2>&1 |
    grep -v '^W: Download is performed unsandboxed' || true)
  ls "$kept.part"/*.dsc >/dev/null 2>&1 || { echo "apt-get source $package=$version fetched nothing" >&2; exit 1; }
  mv "$kept.part" "$kept"
fi
if [ "${1:-}" = --source ]; then echo "$kept"; exit 0; fi
if [ -f "$prefix/kvcvrt-qt-complete" ]; then echo "$prefix"; exit 0; fi

mkdir -p "$root"
# One build at a time: a second caller waits and then finds the cache filled.
exec 8>"$root/.lock"
flock 8
if [ -f "$prefix/kvcvrt-qt-complete" ]; then echo "$prefix"; exit 0; fi

# 1. The tools: dpkg-dev unpacks Debian source packages; the host tools come
#    from qt6-base-dev-tools; the compilers are MinGW-w64's posix-thread flavour.
scripts/deps.sh dpkg-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix

# 2. The source package comes from Debian's archive, which needs a deb-src line,
#    or from a folder that holds it (KV_QT_SOURCE: qt6-base-source of the source
#    that goes out with the installer).
if [ -z "${KV_QT_SOURCE:-}" ] && ! apt-cache showsrc "$package=$version" 2>/dev/null | grep -q "^Version: $version\$"; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Debian's source packages are not in APT's lists: add a deb-src line for bookworm main" \
         "(or run this as root, which adds /etc/apt/sources.list.d/kvcvrt-src.sources)" >&2
    exit 1
  fi
  cat >/etc/apt/sources.list.d/kvcvrt-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt-get -o DPkg::Lock::Timeout=900 update -qq
fi

# 3. Fetch, unpack (Debian's own patches applied) and apply ours. A build that
#    was interrupted resumes in the same work folder.
work=$root/work-$hash
src=$work/$package-6.4.2+dfsg
build=$work/build
echo "Building Qt for Windows in $work, into $prefix"
if [ ! -f "$work/unpacked" ]; then
  rm -rf "$work"
  mkdir -p "$work"
  if [ -n "${KV_QT_SOURCE:-}" ]; then
    cp "$KV_QT_SOURCE"/*.dsc "$KV_QT_SOURCE"/*.tar.* "$work/"
    # (the .dsc's signature is Debian's; the archives' hashes in it are checked)
    (cd "$work" && dpkg-source -x -q ./*.dsc "$src" 2>&1 | grep -v '^gpgv:' || true)
  else
    (cd "$work" && apt-get source -qq "$package=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  fi
  [ -d "$src" ] || { echo "apt-get source $package=$version unpacked nothing into $work" >&2; exit 1; }
  for p in "${patches[@]}"; do patch -d "$src" -p1 --no-backup-if-mismatch <"$here/$p" >/dev/null; done
  touch "$work/unpacked"
fi

# 4. Configure. The toolchain file and the recipe go into the prefix, where Qt's
#    own qt.toolchain.cmake keeps referring to the first.
mkdir -p "$prefix/share/kvcvrt"
printf '%s' "$toolchain" >"$prefix/share/kvcvrt/mingw-w64-x86_64.cmake"
cp "$here/scripts/qt-windows.sh" "${patches[@]/#/$here/}" "$prefix/share/kvcvrt/"
if [ ! -f "$build/build.ninja" ]; then
  args=("${options[@]}")
  for f in "${off[@]}"; do args+=("-DFEATURE_$f=OFF"); done
  for f in "${on[@]}"; do args+=("-DFEATURE_$f=ON"); done
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/share/kvcvrt/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${args[@]}" >"$work/configure.log" 2>&1 ||
    { tail -40 "$work/configure.log" >&2; exit 1; }
fi

# 5. Build and install; the work folder (about 2 GB) goes afterwards.
nice -n 5 cmake --build "$build" -- -j"${KV_JOBS:-$(nproc)}"
cmake --install "$build" >/dev/null
mkdir -p "$prefix/share/kvcvrt/source"
cp "$work"/*.dsc "$work"/*.tar.* "$prefix/share/kvcvrt/source/"
{ echo "$package $version"; printf 'patch %s\n' "${patches[@]##*/}"; } >"$prefix/kvcvrt-qt-complete"
rm -rf "$work"
echo "$prefix"
