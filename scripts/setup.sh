#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs (only those missing) and builds
# the plug-in, the host program, the tests and the benchmarks into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < scripts/packages.txt
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@" > /dev/null
cmake --build "$build_dir" -j"$(nproc)"
