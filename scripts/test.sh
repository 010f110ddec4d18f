#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# README command 2: install what is needed, build with warnings as errors and run every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run test
scripts/build.sh -DCDT_WARNINGS_AS_ERRORS=ON

build_dir=${CDT_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure --timeout 900 "$@"
scripts/reliability.sh
