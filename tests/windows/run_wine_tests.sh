#!/bin/bash
# The Windows plug-in under Wine, against the Linux build:
#   tests/windows/run_wine_tests.sh LINUX_BUILD WIN32_BUILD
# LINUX_BUILD has quorvel, quorvel.auf and auf_loader; WIN32_BUILD is what
# scripts/build-windows.sh made.  Every script of tests/windows/scripts runs
# through both builds' host programs; the frames must be the same bytes,
# except for text (each system's own glyphs: the script checks the
# properties itself).  Exit status 0 when all held.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
LINUX=$(cd "$1" && pwd)
WIN=$(cd "$2" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export WINEPREFIX=${QUORVEL_WINEPREFIX:-$WIN/wine-prefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failed=0
fail() { echo "FAIL: $*"; failed=1; }
pass() { echo "ok: $*"; }

# Wine must start; a machine where it cannot fails here, saying so.
if ! out=$(timeout 300 wine "$WIN/quorvel.exe" --version 2>&1); then
  echo "FAIL: Wine cannot start the Windows build on this machine:"
  echo "$out" | tail -5
  exit 1
fi

# The export the editor looks up, undecorated, and nothing needed but the
# system's libraries (lua.dll is delay-loaded, found on first use).
dump=$(i686-w64-mingw32-objdump -p "$WIN/quorvel.auf")
grep -qE '^\s*\[ *[0-9]+\] GetFilterTable$' <<<"$dump" && pass "GetFilterTable exported undecorated" ||
  fail "quorvel.auf does not export GetFilterTable"
extra=$(grep 'DLL Name:' <<<"$dump" | awk '{print tolower($3)}' |
        grep -vxE 'kernel32.dll|user32.dll|gdi32.dll|msvcrt.dll' || true)
[ -z "$extra" ] && pass "quorvel.auf imports system libraries only" || fail "quorvel.auf also imports: $extra"

# The plug-in as the user installs it: beside the program, with lua.dll.
KIT=$WORK/kit
mkdir -p "$KIT"
cp "$WIN/quorvel.exe" "$WIN/quorvel.auf" "$WIN/lua.dll" "$KIT/"

run_both() {  # name script-dir input frames threads [extra options]
  local name=$1 dir=$2 input=$3 frames=$4 threads=$5
  shift 5
  "$LINUX/quorvel" run --input "$input" --frames "$frames" --threads "$threads" --script-dir "$dir" \
    --output "$WORK/$name.linux.y4m" --strict "$@" >"$WORK/$name.linux.log" 2>&1 ||
    { fail "$name: the Linux build failed"; cat "$WORK/$name.linux.log"; return 1; }
  timeout 600 wine "$KIT/quorvel.exe" run --input "$input" --frames "$frames" --threads "$threads" \
    --script-dir "$dir" --output "$WORK/$name.windows.y4m" --strict "$@" >"$WORK/$name.windows.log" 2>&1 ||
    { fail "$name: the Windows build failed"; cat "$WORK/$name.windows.log"; return 1; }
}

compare() {  # name script-dir input frames threads
  run_both "$@" || return
  if cmp -s "$WORK/$1.linux.y4m" "$WORK/$1.windows.y4m"; then pass "$1: same bytes"
  else fail "$1: the frames differ ($(cmp "$WORK/$1.linux.y4m" "$WORK/$1.windows.y4m" 2>&1))"; fi
}

# Copies, so that the scripts' error logs stay out of the source tree.
cp -r "$HERE/scripts" "$WORK/scripts"
cp -r "$HERE/../../examples" "$WORK/examples"
SCRIPTS=$WORK/scripts
compare colour "$SCRIPTS/colour" pattern:320x180 4 2
compare compose "$SCRIPTS/compose" pattern:320x180 4 2
compare compose_3_threads "$SCRIPTS/compose" pattern:320x180 3 3
compare masks "$SCRIPTS/masks" pattern:320x180 4 2
compare buffers "$SCRIPTS/buffers" pattern:320x180 4 2
compare scatter "$SCRIPTS/scatter" pattern:320x180 3 1
compare example "$WORK/examples" pattern:640x360 30 2
# Y4M through standard output and standard input (binary streams on Windows).
"$LINUX/quorvel" run --input pattern:96x64 --frames 3 --script-dir "$WORK/examples" --output - \
  2>/dev/null >"$WORK/pipe.linux.y4m"
timeout 300 wine "$KIT/quorvel.exe" run --input pattern:96x64 --frames 3 --script-dir "$WORK/examples" --output - \
  2>/dev/null >"$WORK/pipe.windows.y4m"
timeout 300 wine "$KIT/quorvel.exe" run --input - --script-dir "$WORK/examples" --output "$WORK/stdin.windows.y4m" \
  <"$WORK/pipe.linux.y4m" 2>/dev/null
"$LINUX/quorvel" run --input - --script-dir "$WORK/examples" --output "$WORK/stdin.linux.y4m" \
  <"$WORK/pipe.linux.y4m" 2>/dev/null
cmp -s "$WORK/pipe.linux.y4m" "$WORK/pipe.windows.y4m" && cmp -s "$WORK/stdin.linux.y4m" "$WORK/stdin.windows.y4m" &&
  pass "Y4M through pipes: same bytes" || fail "Y4M through pipes differs"

# Text: each build checks its own glyphs' properties (--strict fails on an error).
run_both text "$SCRIPTS/text" pattern:320x180 2 2 && pass "text: properties hold on both"

# OpenCV: without its libraries the bridge says which one is missing.
if timeout 300 wine "$KIT/quorvel.exe" run --input pattern:160x90 --frames 3 --script-dir "$SCRIPTS/opencv" \
     --strict >"$WORK/no_opencv.log" 2>&1; then
  fail "opencv: ran without OpenCV's libraries"
elif grep -q '3x .*ocvtest: OpenCV is not available: "cxcore110.dll" was not found' "$WORK/no_opencv.log"; then
  pass "opencv: missing libraries reported by name, once a frame"
else
  fail "opencv: no clear error without OpenCV"; cat "$WORK/no_opencv.log"
fi
# With the stand-ins beside the plug-in: ocvtest as on Linux, cvcanny's
# properties checked by the script.
cp "$WIN/opencv-stand-in/cxcore110.dll" "$WIN/opencv-stand-in/cv110.dll" "$KIT/"
compare opencv "$SCRIPTS/opencv" pattern:320x180 2 2

# Every vector kernel on every instruction set of the 32-bit build (SSSE3,
# SSE4 and the portable fallback, as far as this processor has them)
# against its per-pixel rule.
if [ ! -f "$WIN/simd_exact_test.exe" ]; then
  fail "simd_exact_test.exe was not built (GoogleTest's sources missing?)"
elif (cd "$WORK" && timeout 900 wine "$WIN/simd_exact_test.exe" --gtest_output=xml:simd.xml >simd.log 2>&1); then
  pass "vector kernels exact on every target:$(grep -o 'targets" value="[^"]*"' "$WORK/simd.xml" | head -1 |
    sed 's/.*value="//; s/"$//')"
else
  fail "vector kernels differ from their per-pixel rules under Wine"; grep -E 'FAIL|Failure|differ' "$WORK/simd.log" | head -20
fi

# The plug-in in a folder of its own, loaded by the editor's calls alone:
# lua.dll and the OpenCV libraries beside it are found through the PATH
# entry that start-up adds.  Output against the Linux plug-in's.
PLUGINS=$WORK/plugins LOADER=$WORK/loader
mkdir -p "$PLUGINS" "$LOADER"
cp "$WIN/quorvel.auf" "$WIN/lua.dll" "$KIT/cxcore110.dll" "$KIT/cv110.dll" "$PLUGINS/"
cp "$WIN/auf_loader.exe" "$LOADER/"
for s in compose opencv; do
  "$LINUX/auf_loader" "$LINUX/quorvel.auf" "$SCRIPTS/$s" "$WORK/$s.linux.raw" 96 64 3 2 >/dev/null 2>&1 ||
    fail "auf_loader $s: the Linux plug-in failed"
  if timeout 300 wine "$LOADER/auf_loader.exe" "$PLUGINS/quorvel.auf" "$SCRIPTS/$s" "$WORK/$s.windows.raw" 96 64 3 2 \
       >"$WORK/$s.loader.log" 2>&1; then
    cmp -s "$WORK/$s.linux.raw" "$WORK/$s.windows.raw" && pass "auf_loader $s: same bytes" ||
      fail "auf_loader $s: the frames differ"
  else
    fail "auf_loader $s: the Windows plug-in failed"; cat "$WORK/$s.loader.log"
  fi
  grep -q . "$SCRIPTS/$s/lua_err.txt" 2>/dev/null && fail "auf_loader $s: script errors: $(head -3 "$SCRIPTS/$s/lua_err.txt")"
done

# Without lua.dll the plug-in says so once and passes the frames through,
# instead of ending the editor on the first call into Lua.
rm "$PLUGINS/lua.dll"
if timeout 300 wine "$LOADER/auf_loader.exe" "$PLUGINS/quorvel.auf" "$SCRIPTS/compose" "$WORK/no_lua.raw" 32 16 2 2 \
     >"$WORK/no_lua.log" 2>&1; then
  mkdir -p "$WORK/no_script"
  "$LINUX/auf_loader" "$LINUX/quorvel.auf" "$WORK/no_script" "$WORK/unchanged.raw" 32 16 2 2 >/dev/null 2>&1
  if [ "$(grep -c 'lua.dll' "$WORK/no_lua.log")" = 1 ] && cmp -s "$WORK/unchanged.raw" "$WORK/no_lua.raw"; then
    pass "without lua.dll: one message, frames pass unchanged"
  else
    fail "without lua.dll: expected one message and unchanged frames"; cat "$WORK/no_lua.log"
  fi
else
  fail "without lua.dll: the loader failed"; cat "$WORK/no_lua.log"
fi

[ $failed = 0 ] && echo "Windows tests passed" || echo "Windows tests FAILED"
exit $failed
