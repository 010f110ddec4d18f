-- SPDX-License-Identifier: MIT
--
-- Fills a results server that bench/server_scale.sh has just installed with a fleet's year of
-- burn-in: the stations' login roles, their units, the runs, every card and every event. It runs
-- as the tables' owner, whom the row-level policies do not bind, and writes with
-- generate_series rather than through the stations' batches: minutes instead of hours. The
-- figures the queries are judged by depend on how many rows there are and how they are spread,
-- not on how they came in. The ingest that server_scale.sh measures afterwards does go through
-- the stations' own statements, as the stations' own logins.
--
--     psql -v cards=10000000 -v runs=4000 -v stations=200 -v units=2000 -f server_scale_fill.sql
--
-- Everything is drawn from random() after setseed(), and the run ids from md5(), so that two
-- fills of the same size hold the same fleet.

\set ON_ERROR_STOP on
SELECT setseed(0.39) AS seeded \gset

-- The stations: each logs in as itself, as [results] station names it.
SELECT format('CREATE ROLE %I LOGIN PASSWORD %L IN ROLE burnin_station',
        'kiosk' || lpad(s::text, greatest(3, length(:'stations')), '0'), 'bench-station')
FROM generate_series(1, :stations) AS s
\gexec

-- A few models, the older ones failing more often: a few failures per ten thousand cards.
CREATE TEMP TABLE fill_models (
    model text PRIMARY KEY,
    first_unit double precision NOT NULL, -- where the model's share of the units begins, 0 to 1
    rate double precision NOT NULL -- failures a card
);
INSERT INTO fill_models VALUES
    ('VK-200', 0.0, 3.0e-4),
    ('VK-300', 0.4, 2.0e-4),
    ('VK-300S', 0.7, 1.2e-4),
    ('VK-50', 0.9, 6.0e-4);

-- The units, each burnt in at a home station, ten or so to a station.
CREATE TEMP TABLE fill_units AS
SELECT u, m.model, m.rate,
    replace(m.model, '-', '') || '-' || lpad(u::text, 5, '0') AS serial,
    (u - 1) % :stations + 1 AS home
FROM generate_series(1, :units) AS u
CROSS JOIN LATERAL (SELECT model, rate FROM fill_models
    WHERE first_unit <= (u - 1)::double precision / :units
    ORDER BY first_unit DESC LIMIT 1) AS m;

-- The runs: every unit at least once, some of them again, most of them short and a few long, as
-- operators plan them, in round numbers: 1,000 cards (62 %), 2,000 (23 %), 5,000 (10 %),
-- 10,000, 20,000, 50,000 and 100,000 (0.15 %), a mean of 2,440. The lengths are then scaled by
-- one factor so that the runs hold the cards asked for exactly, the rounding's remainder on the
-- longest run: a factor of about 1.02 at ten million cards over 4,000 runs; a trial of fewer
-- cards over fewer runs gets the same shape scaled down.
-- What each run draws is drawn once, here: random() in a join's condition would be drawn anew
-- for every pair of rows the join tries.
CREATE TEMP TABLE fill_draws AS
SELECT n, CASE WHEN n <= :units THEN n ELSE 1 + floor(random() * :units)::integer END AS unit,
    random() AS away, random() AS elsewhere, random() AS handout, random() AS length,
    random() AS ending, random() AS short, random() AS pace, random() AS placed
FROM generate_series(1, :runs) AS n;

CREATE TEMP TABLE fill_runs AS
SELECT d.n, md5('run ' || d.n)::uuid AS run_id, u.serial, u.model, u.rate,
    'kiosk' || lpad((CASE WHEN d.away < 0.9 THEN u.home
        ELSE 1 + floor(d.elsewhere * :stations)::integer END)::text,
        greatest(3, length(:'stations')), '0') AS station,
    CASE WHEN d.handout < 0.8 THEN 'capture' ELSE 'handout' END AS mode,
    CASE WHEN d.length < 0.62 THEN 1000 WHEN d.length < 0.85 THEN 2000
        WHEN d.length < 0.95 THEN 5000 WHEN d.length < 0.985 THEN 10000
        WHEN d.length < 0.9955 THEN 20000 WHEN d.length < 0.9985 THEN 50000
        ELSE 100000 END AS raw,
    0 AS done, 0 AS planned,
    -- completed, stopped by the operator, or never ended (the station died or still runs)
    CASE WHEN d.ending < 0.92 THEN 'completed' WHEN d.ending < 0.99 THEN 'stopped'
        ELSE 'open' END AS ending,
    d.short, interval '900 ms' + d.pace * interval '200 ms' AS pace, d.placed
FROM fill_draws AS d
JOIN fill_units AS u ON u.u = d.unit;

UPDATE fill_runs SET done = greatest(1, round(raw * :cards::double precision
    / (SELECT sum(raw) FROM fill_runs)));
UPDATE fill_runs SET done = done + (:cards - (SELECT sum(done) FROM fill_runs))
WHERE n = (SELECT n FROM fill_runs ORDER BY done DESC, n LIMIT 1);
-- A run that was stopped, or has not ended, had more cards planned than it ran.
UPDATE fill_runs SET planned = CASE ending WHEN 'completed' THEN done
    ELSE done + ceil(done * (0.2 + short)) END;

-- Placed at random over a year, each ending within it. A target is one the run demonstrates
-- when it goes well, or none.
INSERT INTO runs (run_id, station, mode, cards_planned, stop_on_failure, created_at, csv_path,
    log_path, serial, model, operator, target_mcbf, confidence, max_p95_s, early_fail, connection,
    plan, plan_mcbf_lower, plan_discrimination, plan_producer_risk, plan_consumer_risk)
SELECT run_id, station, mode, planned, false, created_at,
    'results/burnin-' || to_char(created_at, 'YYYYMMDD-HH24MISS') || '.csv',
    'results/burnin-' || to_char(created_at, 'YYYYMMDD-HH24MISS') || '.log',
    serial, model, (ARRAY['张伟', '李娜', '王强', '刘洋', '陈静'])[1 + n % 5],
    CASE WHEN n % 4 = 0 THEN 0 ELSE planned / 2 END, CASE WHEN n % 3 = 0 THEN 80 ELSE 90 END,
    CASE WHEN n % 7 = 0 THEN 1.5 ELSE 0 END, n % 11 = 0,
    CASE WHEN n % 2 = 0 THEN 'HID，115200' ELSE 'COM3，9600' END,
    CASE WHEN n % 10 = 0 THEN 'sequential' ELSE 'bound' END,
    CASE WHEN n % 10 = 0 THEN planned / 2 ELSE 0 END, CASE WHEN n % 10 = 0 THEN 2.0 ELSE 0 END,
    CASE WHEN n % 10 = 0 THEN 10 ELSE 0 END, CASE WHEN n % 10 = 0 THEN 10 ELSE 0 END
FROM (SELECT *, timestamptz '2025-12-01 00:00+00'
        + placed * greatest(interval '0', interval '365 days' - done * pace) AS created_at
    FROM fill_runs) AS r
ORDER BY created_at;

-- Every card, run after run. A card fails with its model's rate;
-- which way it fails follows from where its draw x falls below the rate (y = x / rate): the
-- device's own codes for jams, chip reads and the like, and now and then a driver that hangs
-- (no_reply) or crashes, code 0. In hand-out runs one card in a thousand is left at the front
-- by the customer (removal, code 1), which the stations do not count as a failure. The draws are
-- made in the innermost query, whose random() PostgreSQL never copies into the outer ones.
INSERT INTO cards (run_id, card_index, started_at, card_number, passed, failed_step, code,
    elapsed_ms, device_ms, step_open_ms, step_status_ms, step_clear_channel_ms, step_dispense_ms,
    step_move_to_reader_ms, step_power_on_ms, step_read_chip_ms, step_power_off_ms,
    step_capture_ms, step_hand_out_ms, step_removal_ms, duplicate, outcome, received_at)
SELECT run_id, i, started_at, card_number, failed_step IS NULL, failed_step, code,
    device_ms + 40 + CASE outcome WHEN 'no_reply' THEN 15000 ELSE 0 END, device_ms,
    open_ms, 30, NULL, dispense_ms, 280, 60, read_chip_ms, 20,
    CASE mode WHEN 'capture' THEN last_ms END, CASE mode WHEN 'handout' THEN last_ms END,
    removal_ms, duplicate, outcome,
    started_at + (device_ms + 300 + floor(j * 400)) * interval '1 ms'
FROM (SELECT *, 30 + dispense_ms + 280 + 60 + read_chip_ms + 20 + last_ms
        + coalesce(removal_ms, 0) + coalesce(open_ms, 0) AS device_ms
    FROM (SELECT run_id, mode, i, started_at, card_number, j,
            CASE WHEN y >= 1 THEN CASE WHEN removal_left THEN 'removal' END
                WHEN y < 0.30 THEN 'dispense' WHEN y < 0.42 THEN 'move_to_reader'
                WHEN y < 0.66 THEN 'read_chip' WHEN y < 0.70 THEN 'power_on'
                WHEN y < 0.80 THEN CASE mode WHEN 'capture' THEN 'capture' ELSE 'hand_out' END
                WHEN y < 0.86 THEN 'clear_channel' WHEN y < 0.90 THEN 'status'
                WHEN y < 0.96 THEN 'read_chip' ELSE 'dispense' END AS failed_step,
            CASE WHEN y >= 1 THEN CASE WHEN removal_left THEN 1 ELSE 0 END
                WHEN y < 0.22 THEN -1101 WHEN y < 0.30 THEN -1102 WHEN y < 0.42 THEN -1201
                WHEN y < 0.58 THEN -3 WHEN y < 0.66 THEN -2301 WHEN y < 0.70 THEN -2101
                WHEN y < 0.80 THEN -1401 WHEN y < 0.86 THEN -1301 WHEN y < 0.90 THEN -1001
                ELSE 0 END AS code,
            CASE WHEN y < 0.90 OR y >= 1 THEN 'code' WHEN y < 0.96 THEN 'no_reply'
                ELSE 'driver_crash' END AS outcome,
            CASE WHEN i = 1 THEN 180 END AS open_ms,
            400 + floor(j * 120)::bigint AS dispense_ms,
            120 + floor(k * 90)::bigint AS read_chip_ms,
            CASE mode WHEN 'capture' THEN 380 ELSE 330 END + floor(j * 60)::bigint AS last_ms,
            CASE WHEN mode = 'handout' AND NOT removal_left
                THEN 1500 + floor((j * 97 - floor(j * 97)) * 6000)::bigint END AS removal_ms,
            k < 1e-5 AS duplicate
        FROM (SELECT run_id, mode, i, j, k, created_at + (i - 1) * pace AS started_at,
                '6217' || lpad((n * 100000 + i)::text, 12, '0') AS card_number,
                x / rate AS y, mode = 'handout' AND x >= rate AND x < rate + 0.001
                    AS removal_left
            FROM (SELECT r.run_id, r.mode, r.created_at, f.n, f.rate, f.pace, i,
                    random() AS x, random() AS j, random() AS k
                FROM runs AS r
                JOIN fill_runs AS f ON f.run_id = r.run_id
                CROSS JOIN LATERAL generate_series(1, f.done) AS i) AS d) AS c) AS s) AS t;

-- The failed cards come from here on by their partial index.
ANALYZE cards;

-- Each run's events as a station writes them: the host's start with the library it loaded, the
-- run's start, every driver hang or crash (and the new host after it), and, once the run has
-- ended, its verdict and its end. The verdict here is the point estimate against the target:
-- the bench needs a verdict's mix, not the window's confidence bound.
INSERT INTO run_events (run_id, seq, at, kind, reason, tool_version, library_path,
    library_sha256)
SELECT run_id, row_number() OVER (PARTITION BY run_id ORDER BY at, o), at, kind, reason,
    '2.4.0', CASE WHEN kind = 'host_start' THEN 'lib/libvarnak_c.so' ELSE '' END,
    CASE WHEN kind = 'host_start' THEN md5('libvarnak_c 3.1') || md5('libvarnak_c 3.1')
        ELSE '' END
FROM (SELECT run_id, created_at AS at, 0 AS o, 'host_start' AS kind, '' AS reason FROM runs
    UNION ALL
    SELECT run_id, created_at, 1, 'start', '' FROM runs
    UNION ALL
    SELECT c.run_id, c.started_at + c.elapsed_ms * interval '1 ms', 2,
        CASE c.outcome WHEN 'no_reply' THEN 'driver_hang' ELSE 'driver_crash' END,
        CASE c.outcome WHEN 'no_reply' THEN 'read_chip：15000 ms 内无响应'
            ELSE 'dispense：信号 11' END
    FROM cards AS c WHERE NOT c.passed AND c.outcome <> 'code'
    UNION ALL
    SELECT c.run_id, c.started_at + c.elapsed_ms * interval '1 ms' + interval '1 ms', 3,
        'host_start', ''
    FROM cards AS c WHERE NOT c.passed AND c.outcome <> 'code'
    UNION ALL
    SELECT r.run_id, e.at, 4 + k, CASE k WHEN 0 THEN 'verdict' ELSE 'end' END,
        CASE WHEN k = 1 THEN CASE f.ending WHEN 'completed' THEN '完成' ELSE '已停止' END
            WHEN r.target_mcbf = 0 THEN 'undecided'
            WHEN f.done / greatest(coalesce(x.failures, 0), 1) >= r.target_mcbf THEN 'pass'
            ELSE 'fail' END
    FROM runs AS r
    JOIN fill_runs AS f ON f.run_id = r.run_id
    CROSS JOIN generate_series(0, 1) AS k
    CROSS JOIN LATERAL (SELECT r.created_at + f.done * f.pace + interval '2 s' AS at) AS e
    LEFT JOIN (SELECT run_id, count(*) AS failures FROM cards
        WHERE NOT passed AND (failed_step IS NULL OR failed_step <> 'removal' OR code <> 1)
        GROUP BY run_id) AS x ON x.run_id = r.run_id
    WHERE f.ending <> 'open') AS e;
