#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures the build folder once and builds incrementally. Arguments are passed to CMake's
# configure step, which then runs again so that a changed option takes effect.
# CDT_BUILD_TARGETS names the targets to build, separated by spaces; unset, everything is built.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${CDT_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ] || [ "$#" -gt 0 ]; then
    cmake -S . -B "$build_dir" "$@"
fi
read -r -a targets <<< "${CDT_BUILD_TARGETS:-}"
cmake --build "$build_dir" --parallel "$(nproc)" ${targets[@]+--target "${targets[@]}"}
