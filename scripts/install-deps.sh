#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages listed in scripts/packages/<list>.txt for each list named on
# the command line (run, test, qt5, headless). Packages already installed are skipped, so a
# second run does not touch apt at all.
set -euo pipefail
cd "$(dirname "$0")"

[ "$#" -gt 0 ] || set -- run
packages=()
for list in "$@"; do
    while read -r package _; do
        case "$package" in '' | '#'*) continue ;; esac
        packages+=("$package")
    done < "packages/$list.txt"
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
