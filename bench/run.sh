#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmark programs in Release in their own build folder, runs each tool program side
# by side with its baseline several times, and prints a table of medians. Absolute times drift on
# a shared machine, so every figure that has a baseline is the median of the ratios of pairs run
# one right after the other.
#
# Environment (all optional):
#   CDT_BENCH_BUILD_DIR   build folder, relative to the repository (build-bench)
#   CDT_BENCH_JOBS        parallel build jobs (2)
#   CDT_BENCH_RUNS        pairs per start-up and log path figure (7)
#   CDT_BENCH_CARD_RUNS   ten-card runs, about 30 s each (3)
#   CDT_BENCH_BURNIN_RUNS 10,000-card burn-in runs per platform and from the command line, and
#                         20,000-card runs with the table shown per platform (5)
#   CDT_BENCH_PLATFORMS   Qt platforms to measure on (offscreen, plus xcb when Xvfb is installed)
#   CDT_BENCH_RESULTS     file that keeps every single figure (a temporary file)
#   CDT_BENCH_ONLY        startup: build and measure the start-up figures alone; burnin: the
#                         burn-in page's runs of 10,000 and 20,000 cards alone; server: the
#                         shared results server's alone, see bench/server.sh (everything)
#   CDT_BENCH_SCALE       1: the results server at ten million cards too, after the server's
#                         other figures, see bench/server_scale.sh (a few minutes and about
#                         3 GB more); its plans stay beside CDT_BENCH_RESULTS when that is set
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

build_dir=${CDT_BENCH_BUILD_DIR:-build-bench}
jobs=${CDT_BENCH_JOBS:-2}
runs=${CDT_BENCH_RUNS:-7}
card_runs=${CDT_BENCH_CARD_RUNS:-3}
burnin_runs=${CDT_BENCH_BURNIN_RUNS:-5}
only=${CDT_BENCH_ONLY:-}
case "$only" in
    '') targets=() ;;
    startup)
        targets=(--target cdt-bench-launch cdt-bench-startup-baseline cdt-bench-startup-text
            cdt-bench-startup-app varnak_c)
        ;;
    burnin) targets=(--target cdt-bench-launch cdt-bench-burnin-app varnak_c) ;;
    server)
        targets=(--target cdt-bench-server-fill cdt-bench-server-upload card-dispenser-burnin
            varnak_c)
        ;;
    *)
        echo "CDT_BENCH_ONLY: startup, burnin, server, or unset for everything" >&2
        exit 2
        ;;
esac
if [ -z "${CDT_BENCH_PLATFORMS:-}" ]; then
    CDT_BENCH_PLATFORMS=offscreen
    command -v Xvfb > /dev/null && CDT_BENCH_PLATFORMS="offscreen xcb"
fi
# The server's figures run once, after the loop over the platforms.
[ "$only" != server ] || CDT_BENCH_PLATFORMS=

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCDT_BUILD_BENCHMARKS=ON \
    -DBUILD_TESTING=OFF > /dev/null
cmake --build "$build_dir" --parallel "$jobs" "${targets[@]}" > /dev/null
bin="$repo/$build_dir/bench"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
results=${CDT_BENCH_RESULTS:-$work/results}
: > "$results"

# The tool loads ./lib/libvarnak_c.so, so every program runs in a folder with the simulator
# staged there, whose customer takes each card at once and whose calls take no extra time, with
# a box that holds more than a burn-in run takes.
mkdir -p "$work/run/lib"
ln -s "$repo/$build_dir/sim/libvarnak_c.so" "$work/run/lib/libvarnak_c.so"
export VARNAK_SIM_TAKE_MS=0 VARNAK_SIM_LATENCY_MS=0 VARNAK_SIM_INSERT_MS=0 VARNAK_SIM_CARDS=200000
unset QT_LOGGING_RULES

# run PLATFORM FIGURE SIDE ITERATION PROGRAM: one program, its key=value lines into the results.
# A ten-card run takes about half a minute; nothing takes ten minutes unless it hangs.
run() {
    local output
    output=$(cd "$work/run" && "$bin/cdt-bench-launch" --timeout 600 "$bin/cdt-bench-$5" \
        2>> "$work/stderr") || true
    if ! grep -q '^exit_code=0$' <<< "$output"; then
        echo "$5 failed on $1; its standard error:" >&2
        tail -n 20 "$work/stderr" >&2
        exit 1
    fi
    sed -n "s/^\([a-z_0-9]*\)=\(.*\)$/$1 $2 $3 $4 \1 \2/p" <<< "$output" >> "$results"
}

# json_number KEY: the number under KEY in the one-line JSON object on standard input.
json_number() {
    sed -n "s/.*\"$1\":\([-0-9.e+]*\).*/\1/p"
}

# burnin_cli PLATFORM ITERATION: the command-line runner's 10,000 cards, measured as the page's
# are, from its JSON summary: its whole run from the library's load to the last card's record,
# less the time inside library calls, per card. It needs no display; iteration 0 warms up.
burnin_cli() {
    local output elapsed library cards side=tool
    [ "$2" = 0 ] && side=warmup
    output=$(cd "$work/run" && "$repo/$build_dir/card-dispenser-burnin" --cards 10000 --json \
        --quiet 2>> "$work/stderr") || {
        echo "card-dispenser-burnin failed; its standard error:" >&2
        tail -n 20 "$work/stderr" >&2
        exit 1
    }
    elapsed=$(json_number elapsedSeconds <<< "$output")
    library=$(json_number librarySeconds <<< "$output")
    cards=$(($(json_number done <<< "$output") - $(json_number firstCard <<< "$output") + 1))
    awk -v p="$1 burnincli $side $2" -v e="$elapsed" -v l="$library" -v c="$cards" 'BEGIN {
        printf "%s run_ms %f\n%s run_own_us_per_card %f\n", p, e * 1e3, p, (e - l) / c * 1e6
    }' >> "$results"
}

# pairs PLATFORM FIGURE COUNT BASELINE TOOL [REFERENCE]: one after the other, the order reversed
# every other round so that no side always runs on the caches another has just warmed.
pairs() {
    local i j side
    local -a sides=("baseline $4" "tool $5")
    [ -n "${6:-}" ] && sides+=("reference $6")
    for side in "${sides[@]}"; do
        run "$1" "$2" warmup 0 "${side#* }"
    done
    for ((i = 1; i <= $3; i++)); do
        if ((i % 2)); then
            for side in "${sides[@]}"; do run "$1" "$2" "${side%% *}" "$i" "${side#* }"; done
        else
            for ((j = ${#sides[@]} - 1; j >= 0; j--)); do
                side=${sides[j]}
                run "$1" "$2" "${side%% *}" "$i" "${side#* }"
            done
        fi
    done
}

start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" \
        2> /dev/null &
    xvfb_pid=$!
    local tries
    for ((tries = 0; tries < 100; tries++)); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n 1 "$work/display")"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for platform in $CDT_BENCH_PLATFORMS; do
    [ "$platform" = xcb ] && start_xvfb
    export QT_QPA_PLATFORM=$platform
    if [ "$only" != burnin ]; then
        echo "Measuring on $platform: start-up and memory, $runs pairs" >&2
        pairs "$platform" startup "$runs" startup-baseline startup-app startup-text
        [ "$only" = startup ] && continue
        echo "Measuring on $platform: log path, $runs pairs" >&2
        pairs "$platform" log "$runs" logpath-baseline logpath-app
    fi
    if [ -z "$only" ] && [ "$platform" = offscreen ]; then
        echo "Measuring on $platform: $card_runs ten-card runs" >&2
        for ((i = 1; i <= card_runs; i++)); do
            run "$platform" cards tool "$i" tencards-app
        done
        echo "Measuring the results database: durable writes, a history of 200,000 cards" >&2
        run "$platform" store tool 1 store-bench
    fi
    echo "Measuring on $platform: $burnin_runs burn-in runs of 10,000 cards" >&2
    run "$platform" burnin warmup 0 burnin-app
    for ((i = 1; i <= burnin_runs; i++)); do
        run "$platform" burnin tool "$i" burnin-app
        rm -rf "$work/run/results"
    done
    # Twice the rows: a cost that grows with the table shows in the middle of the run, where the
    # worst stall's row count places it.
    echo "Measuring on $platform: $burnin_runs burn-in runs of 20,000 cards with the table shown" >&2
    export CDT_BENCH_BURNIN_CARDS=20000
    for ((i = 1; i <= burnin_runs; i++)); do
        run "$platform" burnintable tool "$i" burnin-app
        rm -rf "$work/run/results"
    done
    unset CDT_BENCH_BURNIN_CARDS
    [ "$only" = burnin ] && continue
    if [ "$platform" = offscreen ]; then
        echo "Measuring the command line: $burnin_runs burn-in runs of 10,000 cards" >&2
        for ((i = 0; i <= burnin_runs; i++)); do
            burnin_cli "$platform" "$i"
            rm -rf "$work/run/results"
        done
    fi
    echo "Measuring on $platform: a burn-in run of 100,000 cards with the chart shown" >&2
    export CDT_BENCH_BURNIN_CARDS=100000 CDT_BENCH_BURNIN_VIEW=chart
    run "$platform" burninchart tool 1 burnin-app
    unset CDT_BENCH_BURNIN_CARDS CDT_BENCH_BURNIN_VIEW
    rm -rf "$work/run/results"
done
if [ -z "$only" ] || [ "$only" = server ]; then
    # Headless, and beside a PostgreSQL cluster of its own that ends with it.
    QT_QPA_PLATFORM=offscreen "$repo/tests/support/with-postgres.sh" \
        "$repo/bench/server.sh" "$repo/$build_dir" "$results" "$work" > /dev/null
    if [ "${CDT_BENCH_SCALE:-}" = 1 ]; then
        # A cluster of its own: the fill is no business of the figures above.
        "$repo/tests/support/with-postgres.sh" "$repo/bench/server_scale.sh" "$results" \
            "$work" > /dev/null
        [ -z "${CDT_BENCH_RESULTS:-}" ] || cp -r "$work/scale" "$CDT_BENCH_RESULTS.scale"
    fi
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

echo
echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
    "$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)," \
    "Qt $(pkg-config --modversion Qt6Core 2> /dev/null || echo '?')," \
    "$("$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build_dir/CMakeCache.txt")" --version | head -n 1)"
echo "Load average (1, 5, 15 min): $load_before before, $load_after after"
if [ "$only" = startup ]; then
    echo "Rounds: $runs, start-up figures only"
elif [ "$only" = server ]; then
    echo "Results server figures only"
elif [ "$only" = burnin ]; then
    echo "Burn-in runs: $burnin_runs of each, the burn-in page's figures only"
else
    echo "Pairs per figure: $runs; ten-card runs: $card_runs; burn-in runs: $burnin_runs"
fi
echo

# The table. A figure with a target ratio shows both medians and the median of the pair ratios;
# a figure with a target value is judged on the tool's median alone (the baseline feeds the log
# pane in one loop, so its stall is its whole run by design and is shown only for comparison).
awk -v platforms="$CDT_BENCH_PLATFORMS" '
function median(list,    values, n, i, j, t) {
    n = split(list, values, " ")
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && values[j - 1] + 0 > values[j] + 0; j--) {
            t = values[j]; values[j] = values[j - 1]; values[j - 1] = t
        }
    if (n == 0) return ""
    return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
}
# The median of side / base within each round; base is the baseline unless named.
function pairRatios(key, side, base,    k, parts, b, t, r) {
    r = ""
    if (base == "") base = "baseline"
    for (k in iterations) {
        split(k, parts, SUBSEP)
        if (parts[1] SUBSEP parts[2] SUBSEP parts[3] != key) continue
        b = value[key SUBSEP parts[4] SUBSEP base]
        t = value[key SUBSEP parts[4] SUBSEP side]
        if (b != "" && t != "" && b + 0 != 0) r = r " " t / b
    }
    return median(r)
}
function shown(v, unit) { return v == "" ? "" : sprintf("%.1f %s", v, unit) }
# mode: "ratio" (limit on tool / baseline, if any), "floor" (limit on tool / reference, the reference
# in the baseline column), "value" (limit on the tool median), "least" (the tool median at least
# the limit), "reference" (the reference program against the baseline, no target) or "" (no
# target)
function row(p, figure, name, title, mode, limit, unit,    key, b, t, r) {
    key = p SUBSEP figure SUBSEP name
    b = median(all[key SUBSEP (mode == "floor" ? "reference" : "baseline")])
    t = median(all[key SUBSEP (mode == "reference" ? "reference" : "tool")])
    if (t == "") return
    if (mode == "reference") {
        printf "| %s | %s | %s | %s | %.2fx | | |\n", title, p, shown(b, unit), shown(t, unit), \
            pairRatios(key, "reference")
    } else if ((mode == "ratio" || mode == "floor") && limit != "") {
        r = pairRatios(key, "tool", mode == "floor" ? "reference" : "baseline")
        printf "| %s | %s | %s | %s | %.2fx | <= %sx | %s |\n", title, p, shown(b, unit), \
            shown(t, unit), r, limit, r <= limit ? "yes" : "NO"
    } else if (mode == "ratio") {
        printf "| %s | %s | %s | %s | %.2fx | | |\n", title, p, shown(b, unit), shown(t, unit), \
            pairRatios(key, "tool")
    } else if (mode == "value" || mode == "least") {
        printf "| %s | %s | %s | %s | %.2f %s | %s %s %s | %s |\n", title, p, shown(b, unit), \
            shown(t, unit), t, unit, mode == "value" ? "<=" : ">=", limit, unit, \
            (mode == "value" ? t <= limit : t >= limit) ? "yes" : "NO"
    } else {
        printf "| %s | %s | %s | %s | | | |\n", title, p, shown(b, unit), shown(t, unit)
    }
}
$3 != "warmup" {
    key = $1 SUBSEP $2 SUBSEP $5
    all[key SUBSEP $3] = all[key SUBSEP $3] " " $6
    value[key SUBSEP $4 SUBSEP $3] = $6
    iterations[key SUBSEP $4] = 1
}
END {
    print "| Figure | Platform | Baseline | Tool | Result | Target | Met |"
    print "| --- | --- | ---: | ---: | ---: | ---: | :---: |"
    n = split(platforms, list, " ")
    for (i = 1; i <= n; i++) {
        p = list[i]
        row(p, "startup", "startup_ms", "1. Start-up: exec to shown and idle", "ratio", 1.2, "ms")
        row(p, "startup", "startup_ms", "1. Reference: the empty dialog with one Chinese label", "reference", "", "ms")
        row(p, "startup", "startup_ms", "1. Start-up against the Chinese-text floor", "floor", 1.57, "ms")
        row(p, "startup", "process_ms", "1. Start-up and exit: fork to exit", "", "", "ms")
        row(p, "log", "log_ms", "2. Log path: 100,000 lines", "ratio", 2, "ms")
        row(p, "log", "log_max_lateness_ms", "2. Log path: longest 1 ms timer stall", "value", 16, "ms")
        row(p, "startup", "hwm_kib", "3. Peak resident memory after start-up", "ratio", 1.3, "KiB")
        row(p, "startup", "hwm_kib", "3. Reference: the empty dialog with one Chinese label", "reference", "", "KiB")
        row(p, "log", "log_growth_kib_per_10k", "3. Resident memory growth per 10,000 lines", "", "", "KiB")
        row(p, "cards", "mandated_ms", "4. Ten cards: waits the test mandates", "", "", "ms")
        row(p, "cards", "run_ms", "4. Ten cards: whole run", "", "", "ms")
        row(p, "cards", "own_share_pct", "4. Ten cards: the tool'"'"'s own share", "value", 1, "%")
        row(p, "cards", "run_max_lateness_ms", "5. Ten cards: longest 1 ms timer stall", "value", 16, "ms")
        row(p, "burnin", "run_ms", "6. Burn-in, 10,000 cards: whole run", "", "", "ms")
        row(p, "burnin", "own_median_us", "6. Burn-in: the tool'"'"'s own time per card, median", "", "", "µs")
        row(p, "burnin", "own_mean_us", "6. Burn-in: the tool'"'"'s own time per card, mean", "", "", "µs")
        row(p, "burnin", "run_own_us_per_card", "6. Burn-in: whole run less library time, per card", "", "", "µs")
        row(p, "burnincli", "run_ms", "6. Burn-in from the command line, 10,000 cards: whole run", "", "", "ms")
        row(p, "burnincli", "run_own_us_per_card", "6. Burn-in from the command line: whole run less library time, per card", "", "", "µs")
        row(p, "burnin", "run_max_lateness_ms", "6. Burn-in: longest 1 ms timer stall", "value", 16, "ms")
        row(p, "burnin", "run_max_busy_ms", "6. Burn-in: longest GUI thread work between two firings", "", "", "ms")
        row(p, "burnin", "run_worst_stall_rows", "6. Burn-in: rows in the table at the longest stall", "", "", "rows")
        row(p, "burnin", "rss_growth_kib_per_1k", "6. Burn-in: resident memory growth per 1,000 cards", "value", 2048, "KiB")
        row(p, "burnintable", "run_ms", "6. Burn-in with the table, 20,000 cards: whole run", "", "", "ms")
        row(p, "burnintable", "run_max_lateness_ms", "6. Burn-in with the table, 20,000 cards: longest 1 ms timer stall", "value", 16, "ms")
        row(p, "burnintable", "run_worst_stall_rows", "6. Burn-in with the table, 20,000 cards: rows in the table at the longest stall", "", "", "rows")
        row(p, "burnintable", "run_mid_max_lateness_ms", "6. Burn-in with the table, 20,000 cards: longest stall between the first batch and the last", "value", 16, "ms")
        row(p, "burnintable", "run_mid_worst_stall_rows", "6. Burn-in with the table, 20,000 cards: rows in the table at that stall", "", "", "rows")
        row(p, "burnintable", "run_worst_busy_ms", "6. Burn-in with the table, 20,000 cards: GUI thread work within the longest stall", "", "", "ms")
        row(p, "burnintable", "run_worst_wait_ms", "6. Burn-in with the table, 20,000 cards: GUI thread waiting for a core within the longest stall", "", "", "ms")
        row(p, "burnintable", "run_max_busy_ms", "6. Burn-in with the table, 20,000 cards: longest GUI thread work between two firings", "", "", "ms")
        row(p, "burnintable", "run_max_batch_rows", "6. Burn-in with the table, 20,000 cards: most rows in one batch", "", "", "rows")
        row(p, "burnintable", "run_gui_cpu_ms", "6. Burn-in with the table, 20,000 cards: GUI thread CPU time over the run", "", "", "ms")
        row(p, "burninchart", "run_ms", "7. Burn-in with the chart, 100,000 cards: whole run", "", "", "ms")
        row(p, "burninchart", "run_max_lateness_ms", "7. Burn-in with the chart: longest 1 ms timer stall", "value", 16, "ms")
        row(p, "burninchart", "rss_run_growth_mib", "7. Burn-in with the chart: resident memory after the run above the idle window", "value", 40, "MiB")
        row(p, "store", "fdatasync_floor_median_ms", "8. Store: bare fdatasync of a 200-byte append, median", "", "", "ms")
        row(p, "store", "card_write_median_ms", "8. Store: one card written and synced, median", "", "", "ms")
        row(p, "store", "import_s", "8. Store: import of 101 CSV runs, 200,000 cards", "", "", "s")
        row(p, "store", "list_runs_median_ms", "8. Store: history list of those 101 runs", "value", 100, "ms")
        row(p, "store", "read_long_run_median_ms", "8. Store: reading the run of 100,000 cards", "value", 1000, "ms")
    }
    # The results server'"'"'s, once, headless (bench/server.sh); the baseline is the runner without
    # a server.
    p = "offscreen"
    row(p, "ingest", "cards_per_s", "9. Server: cards a second arriving from 20 stations at once", "least", 10000, "cards/s")
    row(p, "ingest", "station_upload_max_ms", "9. Server: the slowest station'"'"'s whole backlog", "", "", "ms")
    row(p, "ingest", "stations_cpu_s", "9. Server: CPU time of the 20 stations'"'"' processes", "", "", "s")
    row(p, "ingest", "server_cpu_s", "9. Server: CPU time of the server'"'"'s sessions", "", "", "s")
    row(p, "lag", "max_ms", "10. Server: longest time from a card'"'"'s end to its arrival", "value", 2000, "ms")
    row(p, "lag", "median_ms", "10. Server: median time from a card'"'"'s end to its arrival", "", "", "ms")
    row(p, "lag", "card_s", "10. Server: the stations'"'"' time per card", "", "", "s")
    row(p, "pace", "card_interval_us", "11. Runner: time per card while running, with / without a server", "ratio", 1.1, "µs")
    row(p, "pace", "run_own_us_per_card", "11. Runner: whole run less library time, per card, with / without a server", "ratio", "", "µs")
    row(p, "pace", "run_ms", "11. Runner: whole run of 5,000 cards, with / without a server", "ratio", "", "ms")
    row(p, "catchup", "upload_ms", "12. Window: catching up 100,000 cards", "", "", "ms")
    row(p, "catchup", "max_lateness_ms", "12. Window: longest 1 ms timer stall while catching up", "value", 16, "ms")
    row(p, "catchup", "max_busy_ms", "12. Window: longest GUI thread work between two firings", "", "", "ms")
    row(p, "catchup", "worst_busy_ms", "12. Window: GUI thread work within the longest stall", "", "", "ms")
    row(p, "catchup", "worst_wait_ms", "12. Window: GUI thread waiting for a core within the longest stall", "", "", "ms")
    # The server at ten million cards (bench/server_scale.sh, with CDT_BENCH_SCALE=1); the
    # ingest'"'"'s baseline is the same with the row-level policies disabled.
    row(p, "scale", "unit_busy_ms", "13. Server, 10M cards: the busiest unit'"'"'s history", "value", 50, "ms")
    row(p, "scale", "unit_heavy_ms", "13. Server, 10M cards: the history of the unit with the most cards", "value", 50, "ms")
    row(p, "scale", "unit_typical_ms", "13. Server, 10M cards: a typical unit'"'"'s history", "value", 50, "ms")
    row(p, "scale", "pareto_year_ms", "13. Server, 10M cards: a model'"'"'s failure modes over a year", "value", 500, "ms")
    row(p, "scale", "models_ms", "13. Server, 10M cards: the models (model_mcbf), read at the fleet'"'"'s opening and each query", "", "", "ms")
    row(p, "scale", "count_all_ms", "13. Server, 10M cards: the fleet'"'"'s count, unfiltered", "value", 50, "ms")
    row(p, "scale", "page_all_first_ms", "13. Server, 10M cards: the fleet'"'"'s first page, unfiltered", "value", 50, "ms")
    row(p, "scale", "page_all_last_ms", "13. Server, 10M cards: the fleet'"'"'s last page, unfiltered", "value", 50, "ms")
    row(p, "scale", "count_model_ms", "13. Server, 10M cards: the fleet'"'"'s count, one model", "value", 50, "ms")
    row(p, "scale", "page_model_first_ms", "13. Server, 10M cards: the fleet'"'"'s first page, one model", "value", 50, "ms")
    row(p, "scale", "page_model_last_ms", "13. Server, 10M cards: the fleet'"'"'s last page, one model", "value", 50, "ms")
    row(p, "scale", "ingest_cards_per_s", "13. Server, 10M cards: cards a second from 20 stations, policies on / off", "least", 10000, "cards/s")
    row(p, "scale", "fill_s", "13. Server, 10M cards: the fill", "", "", "s")
    row(p, "scale", "database_mib", "13. Server, 10M cards: the database'"'"'s size", "", "", "MiB")
}' "$results"
[ -n "${CDT_BENCH_RESULTS:-}" ] && echo "Every single figure: $results"
exit 0
