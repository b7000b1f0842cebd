#!/bin/bash
# Cross-builds the 32-bit Windows plug-in with MinGW-w64 into build-win32/:
#   quorvel.auf  the plug-in (copy it and lua.dll into the editor's plug-in folder)
#   lua.dll      Lua 5.1, built from Debian's own lua5.1 source package
#   quorvel.exe  the host program for Windows (Y4M and generated pictures)
# and the test programs that scripts/test-windows.sh runs under Wine.
#
# Installs what is missing (MinGW, Wine with its 32-bit part, which needs the
# i386 architecture, and the deb-src entry that apt's source command needs),
# so it runs as root on a fresh Debian 12 machine.
#   scripts/build-windows.sh [build-dir]        (default build-win32)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${1:-build-win32}
mkdir -p "$BUILD"
BUILD=$(cd "$BUILD" && pwd)
TRIPLE=i686-w64-mingw32
CC=$TRIPLE-gcc-posix

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
apt_get() { as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"; }

# --- tools and sources ---------------------------------------------------------
need=()
command -v $TRIPLE-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/src/googletest/googletest/src/gtest-all.cc ] || need+=(googletest)
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
  need+=(wine wine32:i386)
fi
update=0
# Wine runs 32-bit programs with its i386 half.
if [ ${#need[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  update=1
fi
# apt's source command needs a deb-src entry; add one of our own.
if ! (cd /tmp && apt-get source --print-uris lua5.1 >/dev/null 2>&1); then
  as_root tee /etc/apt/sources.list.d/quorvel-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  update=1
fi
# One update covers both, and the packages.
if [ $update = 1 ] || [ ${#need[@]} -gt 0 ]; then apt_get update -q; fi
if [ ${#need[@]} -gt 0 ]; then apt_get install -y -q --no-install-recommends "${need[@]}"; fi

# --- Debian's source packages ---------------------------------------------------
# fetch_source PACKAGE DIR FILE: unpacks PACKAGE's source into DIR/ unless a
# FILE (a glob below DIR) shows it is there already.
fetch_source() {
  if ls "$2"/$3 >/dev/null 2>&1; then return; fi
  rm -rf "$2" && mkdir -p "$2"
  (cd "$2" && apt-get source -q "$1")
}

# --- Lua 5.1 for Windows, from Debian's source package ----------------------
LUA=$BUILD/lua
if [ ! -f "$LUA/lib/liblua_delay.a" ] || [ ! -f "$BUILD/lua.dll" ]; then
  SRC=$BUILD/lua-source
  fetch_source lua5.1 "$SRC" 'lua5.1-*/src/lapi.c'
  LUASRC=$(ls -d "$SRC"/lua5.1-*/src | head -1)
  mkdir -p "$LUA/obj" "$LUA/include/lua5.1" "$LUA/lib"
  # SSE2 doubles as on x86-64: with it Lua also converts numbers to integers
  # by truncation, as the Linux build's Lua does.
  objs=()
  for c in "$LUASRC"/*.c; do
    case $(basename "$c") in lua.c|luac.c|print.c) continue;; esac
    o=$LUA/obj/$(basename "${c%.c}").o
    $CC -O2 -msse2 -mfpmath=sse -mstackrealign -DLUA_BUILD_AS_DLL -c "$c" -o "$o"
    objs+=("$o")
  done
  $CC -shared -static-libgcc -o "$BUILD/lua.dll" "${objs[@]}" -Wl,--output-def,"$LUA/lua.def" -s
  $TRIPLE-dlltool -d "$LUA/lua.def" -D lua.dll -y "$LUA/lib/liblua_delay.a"
  cp "$LUASRC"/lua.h "$LUASRC"/luaconf.h "$LUASRC"/lualib.h "$LUASRC"/lauxlib.h "$LUA/include/lua5.1/"
  cp "$(dirname "$LUASRC")"/etc/lua.hpp "$LUA/include/lua5.1/"
fi

# --- Highway for Windows, from Debian's source package ------------------------
# The vector kernels use Highway's headers; its run-time dispatch (which
# instruction sets the processor has, the chosen target) and its allocator
# are the few library sources built here as libhwy.a.  On 32-bit x86
# Highway compiles SSSE3, SSE4 and the portable fallback (it lists AVX2 and
# AVX-512 as broken there).
HWY=$BUILD/hwy
if [ ! -f "$HWY/lib/libhwy.a" ]; then
  SRC=$BUILD/hwy-source
  fetch_source highway "$SRC" 'highway-*/hwy/targets.cc'
  HWYSRC=$(ls -d "$SRC"/highway-*/ | head -1)
  rm -rf "$HWY" && mkdir -p "$HWY/obj" "$HWY/lib" "$HWY/include"
  objs=()
  for c in aligned_allocator per_target print targets; do
    $TRIPLE-g++-posix -std=c++17 -O2 -msse2 -mfpmath=sse -mstackrealign -I"$HWYSRC" \
      -c "$HWYSRC/hwy/$c.cc" -o "$HWY/obj/$c.o"
    objs+=("$HWY/obj/$c.o")
  done
  $TRIPLE-ar rcs "$HWY/lib/libhwy.a" "${objs[@]}"
  (cd "$HWYSRC" && find hwy -name '*.h' -not -path '*/tests/*' -exec cp --parents {} "$HWY/include/" \;)
fi

# --- the plug-in and the programs ------------------------------------------
# CLI11 is header-only: its folder alone, not the build machine's include tree.
mkdir -p "$BUILD/host-headers"
ln -sfn /usr/include/CLI "$BUILD/host-headers/CLI"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUORVEL_LUA_DIR="$LUA" -DQUORVEL_HWY_DIR="$HWY" -DQUORVEL_HOST_HEADERS="$BUILD/host-headers" >/dev/null
cmake --build "$BUILD" -j2

# --- what the plug-in exports and needs ---------------------------------------
dump=$($TRIPLE-objdump -p "$BUILD/quorvel.auf")
if ! grep -qE '^\s*\[ *[0-9]+\] GetFilterTable$' <<<"$dump"; then
  echo "build-windows: quorvel.auf does not export GetFilterTable undecorated" >&2
  exit 1
fi
dlls=$(grep -E 'DLL Name:' <<<"$dump" | awk '{print $3}' | sort -u | tr '\n' ' ')
for dll in $dlls; do
  case ${dll,,} in
    kernel32.dll|user32.dll|gdi32.dll|msvcrt.dll|lua.dll) ;;
    *) echo "build-windows: quorvel.auf needs $dll, which the editor's machine may lack" >&2; exit 1;;
  esac
done
echo "build-windows: $BUILD/quorvel.auf (needs $dlls), lua.dll, quorvel.exe"
