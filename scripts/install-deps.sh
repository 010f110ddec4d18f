#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages that building, running and testing the tool need.
# Packages already installed are skipped, so a second run does not touch apt at all.
# Extra package names given as arguments are installed too.
set -euo pipefail

packages=(
    g++ make cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    libcjson-dev
    fonts-wqy-microhei # renders the Chinese texts
    "$@"
)

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
