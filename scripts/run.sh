#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# README command 1: install what is needed, build, stage the device simulator and start the tool.
# The tool runs from the repository root, so it loads ./lib/libvarnak_c.so and keeps config.ini
# there. A vendor library already in lib/ is used as it is and never overwritten. Without a
# display it issues one card on a virtual one instead and prints the log and a screenshot's path.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The tool and the simulator it runs on; scripts/test.sh builds the tests.
CDT_BUILD_TARGETS="card-dispenser-test varnak_c" scripts/build.sh

build_dir=${CDT_BUILD_DIR:-build}
library=lib/libvarnak_c.so
mkdir -p lib
demo_press=()
if [ -e "$library" ] && [ ! -L "$library" ]; then
    echo "Using the device library in $library"
    # On a real device a press issues a real card.
    demo_press=(--no-press)
else
    # A link, so that a rebuilt simulator is picked up without staging again.
    ln -sfn "../$build_dir/sim/libvarnak_c.so" "$library"
    echo "Using the device simulator ($library -> $build_dir/sim/libvarnak_c.so)"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No screen to show the window on: issue one card on a virtual display and show a picture.
    scripts/install-deps.sh headless
    exec /usr/bin/python3 scripts/headless-demo.py --tool "$build_dir/card-dispenser-test" \
        --screenshot "$build_dir/screenshot.png" "${demo_press[@]}"
fi
exec "./$build_dir/card-dispenser-test" "$@"
