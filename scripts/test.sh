#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# README command 2: install what is needed, build with warnings as errors and run every test,
# then build with Qt 5.15 too and run the unit and integration tests there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run test qt5
scripts/build.sh -DCDT_WARNINGS_AS_ERRORS=ON

build_dir=${CDT_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
# Most tests wait on processes, displays and disks rather than compute, and each has a folder,
# a display and a cluster of its own: a few at a time take a fraction of the time.
test_jobs=${CDT_TEST_JOBS:-$(($(nproc) + 1))}
ctest --test-dir "$build_dir" --output-on-failure --timeout 900 --parallel "$test_jobs" "$@"

# The kiosks' Qt 5.15: the same source in a build folder of its own, with its unit and
# integration tests. The end-to-end tests, the package and the checks below stay on Qt 6.
CDT_BUILD_DIR=build-qt5 scripts/build.sh -DCDT_WARNINGS_AS_ERRORS=ON -DCDT_QT_MAJOR=5
ctest --test-dir build-qt5 --output-on-failure --timeout 900 --parallel "$test_jobs" \
    -L "unit|integration"
scripts/reliability.sh
