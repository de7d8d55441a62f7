#!/usr/bin/env bash
# Cross-builds the Windows program: build-windows/MendrelWin.exe, one
# statically linked executable (JUCE, zlib, libpng, libjpeg and the C/C++
# runtimes inside), from the same sources as the other builds. Debian has no
# mingw builds of libpng and libjpeg, so they are built first from Debian's
# own source packages into build-windows/deps (once; kept after that).
# Extra arguments go to ninja (e.g. a target name).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build-windows
DEPS=$OUT/deps
TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake

bash scripts/setup-windows.sh
export CCACHE_SLOPPINESS=time_macros CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}" CCACHE_NOHASHDIR=1

# fetch_source PACKAGE: unpacks Debian's source of PACKAGE in the current
# folder, trying the newest version first (a mirror may lack the newest).
fetch_source() {
  local pkg=$1 v dsc
  for v in $(apt-cache showsrc "$pkg" | awk '/^Version:/ {print $2}' | sort -rV | uniq); do
    if apt-get source -qq --download-only "$pkg=$v" >/dev/null 2>&1; then
      dsc=$(ls "${pkg}_${v#*:}.dsc")
      rm -rf "src-$pkg"
      dpkg-source -q -x "$dsc" "src-$pkg" >/dev/null
      return 0
    fi
  done
  echo "build-windows: no source of $pkg could be fetched" >&2
  return 1
}

build_deps() {
  local work=$OUT/deps-src
  rm -rf "$work" "$DEPS"
  mkdir -p "$work" "$DEPS"
  (
    cd "$work"
    fetch_source libjpeg-turbo
    fetch_source libpng1.6
    cmake -S src-libjpeg-turbo -B b-jpeg -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS" -DENABLE_SHARED=OFF \
      -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JPEG8=OFF -Wno-dev >/dev/null
    ninja -C b-jpeg install >/dev/null
    # JUCE's JPEG loader includes the library's private header too, as
    # Debian's own libjpeg-dev installs it.
    cp src-libjpeg-turbo/jpegint.h "$DEPS/include/"
    cmake -S src-libpng1.6 -B b-png -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS" -DPNG_SHARED=OFF \
      -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -Wno-dev >/dev/null
    ninja -C b-png install >/dev/null
  )
  # JUCE's JPEG loader reads jpeglib.h inside a namespace of its own after the
  # Windows headers, and uses that namespace's 'boolean'; Debian's jconfig.h
  # leaves it out when the Windows headers have declared one, so declare it
  # there unconditionally (the same type the Windows headers use).
  if ! grep -q 'KSQX: boolean' "$DEPS/include/jconfig.h"; then
    cat >>"$DEPS/include/jconfig.h" <<'EOT'

/* KSQX: boolean for readers that include this inside a namespace */
typedef unsigned char boolean;
EOT
  fi
  rm -rf "$work"
}

if [ ! -f "$DEPS/lib/libpng16.a" ] || [ ! -f "$DEPS/lib/libjpeg.a" ]; then
  echo "build-windows: building static libpng and libjpeg"
  build_deps
fi

# The one build definition of every program, cross-compiled. A build folder
# configured from another source folder (the Windows program once had a
# definition of its own) is configured anew; the libraries stay.
if [ -f "$OUT/CMakeCache.txt" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$ROOT" "$OUT/CMakeCache.txt"; then
  rm -rf "$OUT/CMakeCache.txt" "$OUT/CMakeFiles"
fi
cmake -S . -B "$OUT" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
  -DKSQX_WIN_DEPS="$DEPS" -DCMAKE_BUILD_TYPE=Release -Wno-dev >/dev/null
ninja -C "$OUT" "$@"
