#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The shared results server's figures, which bench/run.sh runs beside a throw-away PostgreSQL
# cluster of its own (tests/support/with-postgres.sh, found through PGHOST, PGPORT, PGUSER and
# PGPASSWORD). The cluster gets fsync back on, which pg_virtualenv turns off, so that a commit
# costs what it costs on a real server; the stations log in as their own roles, their password
# in a password file, as a station's would be. Appends its figures to RESULTS in run.sh's format.
#
#     bench/server.sh BUILD_DIR RESULTS WORK
#
# Environment (all optional):
#   CDT_BENCH_SERVER_RUNS      ingest and catch-up rounds (5)
#   CDT_BENCH_SERVER_PAIRS     pairs of runner runs with and without a server (9)
#   CDT_BENCH_SERVER_STATIONS  stations that forward at once (20)
#   CDT_BENCH_LAG_CARDS        cards each station runs at about a second a card (60)
set -euo pipefail
build=$1
results=$2
work=$3
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$build/bench
runner=$build/card-dispenser-burnin
runs=${CDT_BENCH_SERVER_RUNS:-5}
pairs=${CDT_BENCH_SERVER_PAIRS:-9}
stations=${CDT_BENCH_SERVER_STATIONS:-20}
lag_cards=${CDT_BENCH_LAG_CARDS:-60}
# Cards per station for the ingest, cards of the backlog the window catches up, cards of a run
# with and without a server.
ingest_cards=5000
backlog_cards=100000
pace_cards=5000
# Seven library calls a card in capture mode: 140 ms each makes a card of about a second.
lag_call_ms=140

export PGHOST=127.0.0.1 PGDATABASE=burnin
sql() {
    psql -X -q -At -F ' ' -v ON_ERROR_STOP=1 "$@"
}
record() {
    echo "offscreen $*" >> "$results"
}
fail() {
    echo "$1; the last of the standard error:" >&2
    tail -n 20 "$work/stderr" >&2
    exit 1
}
server_text() {
    echo "host=127.0.0.1 port=$PGPORT dbname=burnin user=$1"
}
# station NAME: a working folder with the simulator as its device and NAME's server, or none.
station() {
    local dir=$work/$1
    rm -rf "$dir"
    mkdir -p "$dir/lib"
    ln -s "$build/sim/libvarnak_c.so" "$dir/lib/libvarnak_c.so"
    printf '[results]\nstation=%s\n' "$1" > "$dir/config.ini"
    [ -n "${2:-}" ] && echo "server=$(server_text "$2")" >> "$dir/config.ini"
    echo "$dir"
}
# The CPU seconds of the cluster's server processes that have ended (the stations' sessions),
# which the postmaster collects as they end.
server_cpu_s() {
    local pid
    pid=$(head -n 1 "$(sql -d postgres -c 'SHOW data_directory')/postmaster.pid")
    awk -v hz="$(getconf CLK_TCK)" '{ print ($16 + $17) / hz }' "/proc/$pid/stat"
}
json_number() {
    sed -n "s/.*\"$1\":\([-0-9.e+]*\).*/\1/p"
}

sql -d postgres -c 'ALTER SYSTEM SET fsync = on' -c 'SELECT pg_reload_conf()' > /dev/null
[ "$(sql -d postgres -c 'SHOW fsync')" = on ] || fail "the cluster keeps fsync off"
sql -d postgres -c 'CREATE DATABASE burnin'
sql -f "$repo/sql/server.sql"
names=()
for ((i = 1; i <= stations; i++)); do
    names+=("$(printf 'station%02d' "$i")")
    sql -c "CREATE ROLE ${names[-1]} LOGIN PASSWORD 'bench-station' IN ROLE burnin_station"
done
printf '127.0.0.1:%s:*:%s:%s\n127.0.0.1:%s:burnin:*:bench-station\n' "$PGPORT" "$PGUSER" \
    "$PGPASSWORD" "$PGPORT" > "$work/pgpass"
chmod 600 "$work/pgpass"
export PGPASSFILE=$work/pgpass
unset PGPASSWORD

# Ingest: every station's backlog at once, timed by the server's own arrival times.
echo "Measuring the results server: $stations stations forwarding $ingest_cards cards each," \
    "$runs rounds" >&2
for ((r = 1; r <= runs; r++)); do
    sql -c 'TRUNCATE run_events, cards, runs'
    folders=()
    for name in "${names[@]}"; do folders+=("$work/ingest/$name"); done
    rm -rf "$work/ingest"
    "$bin/cdt-bench-server-fill" "$ingest_cards" "${folders[@]}" 2>> "$work/stderr" \
        || fail "cdt-bench-server-fill failed"
    cpu_before=$(server_cpu_s)
    pids=()
    for name in "${names[@]}"; do
        "$bin/cdt-bench-server-upload" "$work/ingest/$name" "$(server_text "$name")" \
            > "$work/ingest/$name.out" 2>> "$work/stderr" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || fail "cdt-bench-server-upload failed"; done
    read -r cards span < <(sql -c 'SELECT count(*),
        extract(epoch FROM max(received_at) - min(received_at)) FROM cards')
    [ "$cards" = $((stations * ingest_cards)) ] || fail "the server has $cards cards"
    record ingest tool "$r" cards_per_s "$(awk -v c="$cards" -v s="$span" 'BEGIN { print c / s }')"
    record ingest tool "$r" span_s "$span"
    record ingest tool "$r" station_upload_max_ms "$(sed -n 's/^upload_ms=//p' \
        "$work"/ingest/*.out | sort -g | tail -n 1)"
    record ingest tool "$r" stations_cpu_s "$(sed -n 's/^cpu_ms=//p' "$work"/ingest/*.out \
        | awk '{ s += $1 } END { print s / 1e3 }')"
    record ingest tool "$r" server_cpu_s "$(awk -v a="$cpu_before" -v b="$(server_cpu_s)" \
        'BEGIN { print b - a }')"
done

# Lag: stations at about a card a second, each card from its end on the station to its arrival.
# A card's end is its start plus its time (started_at + elapsed_ms), a little before its commit
# to the station's database, so the lag includes that commit.
echo "Measuring the results server: $stations stations running $lag_cards cards of about a" \
    "second each" >&2
sql -c 'TRUNCATE run_events, cards, runs'
pids=()
for name in "${names[@]}"; do
    dir=$(station "lag-$name" "$name")
    (cd "$dir" && VARNAK_SIM_LATENCY_MS=$lag_call_ms "$runner" --cards "$lag_cards" --quiet \
        2>> "$work/stderr") &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || fail "card-dispenser-burnin failed"; done
read -r cards max median card_s < <(sql -c "SELECT count(*), max(lag_ms),
    percentile_cont(0.5) WITHIN GROUP (ORDER BY lag_ms), avg(elapsed_ms) / 1000
    FROM (SELECT extract(epoch FROM received_at - started_at) * 1000 - elapsed_ms AS lag_ms,
        elapsed_ms FROM cards) AS lags")
[ "$cards" = $((stations * lag_cards)) ] || fail "the server has $cards cards"
record lag tool 1 max_ms "$max"
record lag tool 1 median_ms "$median"
record lag tool 1 card_s "$card_s"

# The runner's own time per card at full speed, with and without a server, pair by pair, the
# order reversed every other round; round 0 warms up. The whole run less library time counts
# the upload of the last cards at the end of the run too; the interval between the cards' starts
# in the station's record is the pace while the run goes on.
echo "Measuring the results server: $pairs pairs of $pace_cards-card runs with and without" >&2
sql -c 'TRUNCATE run_events, cards, runs'
without=$(station pace-without)
with=$(station pace-with "${names[0]}")
pace() {
    local output elapsed library cards
    rm -rf "$2/results"
    output=$(cd "$2" && "$runner" --cards "$pace_cards" --json --quiet 2>> "$work/stderr") \
        || fail "card-dispenser-burnin failed"
    elapsed=$(json_number elapsedSeconds <<< "$output")
    library=$(json_number librarySeconds <<< "$output")
    cards=$(($(json_number 'done' <<< "$output") - $(json_number firstCard <<< "$output") + 1))
    awk -v p="offscreen pace $1 $3" -v e="$elapsed" -v l="$library" -v c="$cards" 'BEGIN {
        printf "%s run_ms %f\n%s run_own_us_per_card %f\n", p, e * 1e3, p, (e - l) / c * 1e6
    }' >> "$results"
    python3 - "$2/results/results.sqlite" "offscreen pace $1 $3" >> "$results" << 'EOF'
import datetime, sqlite3, sys
first, last, cards = sqlite3.connect(sys.argv[1]).execute(
    "SELECT min(started_at), max(started_at), count(*) FROM cards").fetchone()
span = datetime.datetime.fromisoformat(last) - datetime.datetime.fromisoformat(first)
print(sys.argv[2], "card_interval_us", span.total_seconds() * 1e6 / (cards - 1))
EOF
}
for ((r = 0; r <= pairs; r++)); do
    side=tool
    base=baseline
    [ "$r" = 0 ] && side=warmup && base=warmup
    if ((r % 2)); then
        pace "$base" "$without" "$r"
        pace "$side" "$with" "$r"
    else
        pace "$side" "$with" "$r"
        pace "$base" "$without" "$r"
    fi
done
cards=$(sql -c 'SELECT count(*) FROM cards')
[ "$cards" = $(((pairs + 1) * pace_cards)) ] || fail "the server has $cards cards"

# The window's longest stall while a backlog of a long run goes out.
echo "Measuring the results server: the window catching up $backlog_cards cards, $runs rounds" >&2
for ((r = 1; r <= runs; r++)); do
    sql -c 'TRUNCATE run_events, cards, runs'
    rm -rf "$work/catchup"
    "$bin/cdt-bench-server-fill" "$backlog_cards" "$work/catchup/${names[0]}" \
        2>> "$work/stderr" || fail "cdt-bench-server-fill failed"
    output=$("$bin/cdt-bench-server-upload" --window "$work/catchup/${names[0]}" \
        "$(server_text "${names[0]}")" 2>> "$work/stderr") || fail "the catch-up failed"
    sed -n "s/^\([a-z_0-9]*\)=\(.*\)$/offscreen catchup tool $r \1 \2/p" <<< "$output" \
        >> "$results"
done
