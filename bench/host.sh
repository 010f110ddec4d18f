#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The driver host's figures: the round trip of one call and a crash's cost (cdt-bench-host), and
# a command-line run's time per card and the memory of the runner and of its host after a long
# run, all on the zero-latency simulator in a working folder of their own. Builds what it runs
# in the benchmarks' build folder.
#
# Environment (all optional):
#   CDT_BENCH_BUILD_DIR   build folder, relative to the repository (build-bench)
#   CDT_BENCH_JOBS        parallel build jobs (2)
#   CDT_BENCH_HOST_CARDS  cards of the long run (100000)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build_dir=${CDT_BENCH_BUILD_DIR:-build-bench}
cards=${CDT_BENCH_HOST_CARDS:-100000}

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCDT_BUILD_BENCHMARKS=ON \
    -DBUILD_TESTING=OFF > /dev/null
cmake --build "$build_dir" --parallel "${CDT_BENCH_JOBS:-2}" --target cdt-bench-host \
    card-dispenser-burnin card-dispenser-devicehost varnak_c > /dev/null
build="$repo/$build_dir"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lib"
cp "$(find "$build/sim" -name libvarnak_c.so | head -n 1)" "$work/lib/"
cd "$work"
export VARNAK_SIM_TAKE_MS=0 VARNAK_SIM_LATENCY_MS=0 VARNAK_SIM_CARDS=$((cards + 1000))

"$build/bench/cdt-bench-host"

# The resident set of a process in KiB, or nothing once it is gone.
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2> /dev/null || true; }

"$build/card-dispenser-burnin" --cards "$cards" --json --quiet > run.json 2> /dev/null &
runner=$!
runner_kib= host_kib=
# Sampled until the end, so that the last figures are those after the last cards.
while kill -0 "$runner" 2> /dev/null; do
    host=$(pgrep -P "$runner" | head -n 1 || true)
    now=$(rss "$runner")
    [ -z "$now" ] || runner_kib=$now
    if [ -n "$host" ]; then
        now=$(rss "$host")
        [ -z "$now" ] || host_kib=$now
    fi
    sleep 0.5
done
wait "$runner" || true
python3 - "$cards" "$runner_kib" "$host_kib" << 'PY'
import json, sys
cards, runner_kib, host_kib = int(sys.argv[1]), sys.argv[2], sys.argv[3]
run = json.load(open("run.json"))
per_card = run["elapsedSeconds"] / run["done"] * 1e3
less_library = (run["elapsedSeconds"] - run["librarySeconds"]) / run["done"] * 1e3
print(f"runner_cards={run['done']}")
print(f"runner_ms_per_card={per_card:.3f}")
print(f"runner_ms_per_card_less_library={less_library:.3f}")
print(f"runner_rss_mib={int(runner_kib) / 1024:.1f}")
print(f"host_rss_mib={int(host_kib) / 1024:.1f}")
PY
