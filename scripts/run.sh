#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# README command 1: install what is needed, build, stage the device simulator and start the tool.
# The tool runs from the repository root, so it loads ./lib/libvarnak_c.so and keeps config.ini
# there. A vendor library already in lib/ is used as it is and never overwritten.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh

build_dir=${CDT_BUILD_DIR:-build}
library=lib/libvarnak_c.so
mkdir -p lib
if [ -e "$library" ] && [ ! -L "$library" ]; then
    echo "Using the device library in $library"
else
    # A link, so that a rebuilt simulator is picked up without staging again.
    ln -sfn "../$build_dir/sim/libvarnak_c.so" "$library"
    echo "Using the device simulator ($library -> $build_dir/sim/libvarnak_c.so)"
fi

exec "./$build_dir/card-dispenser-test" "$@"
