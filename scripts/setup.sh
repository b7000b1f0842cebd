#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs (only those missing) and builds
# the plug-in, the host program, the tests and the benchmarks into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < scripts/packages.txt
# A package counts as present when it is installed, or when an installed
# package provides it (NodeSource's nodejs provides npm, for one).
provided=$(dpkg-query -W -f='${Status}|${Provides}\n' 2>/dev/null | grep '^install ok installed|' | cut -d'|' -f2 |
  tr ',' '\n' | sed 's/[[:space:]]*(.*//; s/^[[:space:]]*//' | sort -u)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' && continue
  grep -qxF "$p" <<< "$provided" && continue
  missing+=("$p")
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
