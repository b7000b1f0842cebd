#!/usr/bin/env bash
# Builds the Windows plug-in (scripts/build-windows.sh, which installs MinGW,
# Wine and its i386 half when missing) and runs the "windows" tests: the
# plug-in and quorvel.exe under Wine against the Linux build in build/.
#   scripts/test-windows.sh
# test.sh runs this after the Linux tests when QUORVEL_WINDOWS=1 (CI sets
# it), or when MinGW and Wine are already installed.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
scripts/build-windows.sh build-win32
built=$(date +%s)
# The Linux side: the plug-in, the host program and auf_loader, and the
# test registered now that build-win32 exists.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUORVEL_WIN32_BUILD="$PWD/build-win32" >/dev/null
cmake --build build -j2 --target quorvel quorvel_plugin auf_loader
(cd build && ctest -L windows --output-on-failure)
end=$(date +%s)
echo "test-windows: Windows build $((built - start)) s, Linux side and Wine tests $((end - built)) s"
