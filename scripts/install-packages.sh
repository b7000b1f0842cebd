#!/usr/bin/env bash
# Installs the Debian packages that are missing: those the program needs
# (scripts/packages.txt), and with --tests also those of the tests, the
# benchmarks and the fuzzer (scripts/packages-tests.txt).
# A package counts as present when it is installed, or when an installed
# package provides it: NodeSource's nodejs provides (and conflicts with) npm,
# so asking apt for npm beside it would fail.
set -euo pipefail
cd "$(dirname "$0")/.."

lists=(scripts/packages.txt)
if [ "${1:-}" = --tests ]; then lists+=(scripts/packages-tests.txt); fi
packages=()
for list in "${lists[@]}"; do
  mapfile -t more < "$list"
  packages+=("${more[@]}")
done
provided=$(dpkg-query -W -f='${Status}|${Provides}\n' 2>/dev/null | grep '^install ok installed|' | cut -d'|' -f2 |
  tr ',' '\n' | sed 's/[[:space:]]*(.*//; s/^[[:space:]]*//' | sort -u)
missing=()
for p in "${packages[@]}"; do
  [ -n "$p" ] || continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' && continue
  grep -qxF "$p" <<< "$provided" && continue
  missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
$sudo_cmd apt-get update
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
