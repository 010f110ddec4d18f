-- SPDX-License-Identifier: MIT
--
-- The shared results server of the card dispenser test tool: every station's burn-in runs in one
-- PostgreSQL database. The administrator runs this file as the database's owner, to install a
-- new server and again after each upgrade of the tool, to bring one that holds runs up to date
-- (it adds what is missing and never drops or renames anything, so running it twice is harmless):
--
--     createdb burnin
--     psql -d burnin -v ON_ERROR_STOP=1 -f server.sql
--     psql -d burnin -c "CREATE ROLE kiosk7 LOGIN PASSWORD '...' IN ROLE burnin_station"
--     psql -d burnin -c "CREATE ROLE qa_lead LOGIN PASSWORD '...' IN ROLE burnin_reader"
--
-- A station logs in as itself: its role is named as the station is ([results] station, by
-- default its host name), and the server lets it write runs only in that name and cards and events
-- only into those runs. The stations never run DDL here. They insert what their own databases hold
-- and read the fleet; records are written once, so a station may neither change nor remove one,
-- its own or another station's. The columns are the stations' own, with PostgreSQL's types.

BEGIN;

-- The stations refuse a server whose version is not theirs: upgrade the server first, then the
-- stations, which hold their records back until then.
CREATE TABLE IF NOT EXISTS burnin_schema (
    version integer NOT NULL
);
INSERT INTO burnin_schema (version) SELECT 1 WHERE NOT EXISTS (SELECT FROM burnin_schema);

CREATE TABLE IF NOT EXISTS runs (
    run_id uuid PRIMARY KEY,
    station text NOT NULL,
    mode text NOT NULL,
    cards_planned integer NOT NULL,
    stop_on_failure boolean NOT NULL,
    created_at timestamptz NOT NULL,
    csv_path text NOT NULL DEFAULT '',
    log_path text NOT NULL DEFAULT '',
    serial text NOT NULL DEFAULT '',
    model text NOT NULL DEFAULT '',
    operator text NOT NULL DEFAULT '',
    target_mcbf bigint NOT NULL DEFAULT 0,
    confidence integer NOT NULL DEFAULT 90,
    max_p95_s double precision NOT NULL DEFAULT 0,
    early_fail boolean NOT NULL DEFAULT false,
    connection text NOT NULL DEFAULT ''
);

CREATE TABLE IF NOT EXISTS run_events (
    run_id uuid NOT NULL REFERENCES runs (run_id),
    seq integer NOT NULL,
    at timestamptz NOT NULL,
    kind text NOT NULL,
    reason text NOT NULL DEFAULT '',
    tool_version text NOT NULL DEFAULT '',
    library_path text NOT NULL DEFAULT '',
    library_sha256 text NOT NULL DEFAULT '',
    UNIQUE (run_id, seq)
);

CREATE TABLE IF NOT EXISTS cards (
    run_id uuid NOT NULL REFERENCES runs (run_id),
    card_index integer NOT NULL,
    started_at timestamptz,
    card_number text NOT NULL,
    passed boolean NOT NULL,
    failed_step text,
    code integer NOT NULL,
    elapsed_ms bigint NOT NULL,
    device_ms bigint NOT NULL,
    step_open_ms bigint,
    step_status_ms bigint,
    step_clear_channel_ms bigint,
    step_dispense_ms bigint,
    step_move_to_reader_ms bigint,
    step_power_on_ms bigint,
    step_read_chip_ms bigint,
    step_power_off_ms bigint,
    step_capture_ms bigint,
    step_hand_out_ms bigint,
    step_removal_ms bigint,
    duplicate boolean NOT NULL,
    -- When the server took the card in, so that QA can see how far behind a station is.
    received_at timestamptz NOT NULL DEFAULT clock_timestamp(),
    UNIQUE (run_id, card_index)
);

-- The fleet view: runs by unit, model and station, newest first; each run's counts from the
-- (run_id, passed) index alone.
CREATE INDEX IF NOT EXISTS runs_created_at ON runs (created_at);
CREATE INDEX IF NOT EXISTS runs_serial ON runs (serial);
CREATE INDEX IF NOT EXISTS runs_model ON runs (model);
CREATE INDEX IF NOT EXISTS runs_station ON runs (station);
CREATE INDEX IF NOT EXISTS cards_passed ON cards (run_id, passed);

-- What every station's login role is granted, through membership: no UPDATE, no DELETE, no
-- TRUNCATE, and nothing on tables to come.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'burnin_station') THEN
        CREATE ROLE burnin_station NOLOGIN;
    END IF;
END
$$;
GRANT USAGE ON SCHEMA public TO burnin_station;
GRANT SELECT ON burnin_schema TO burnin_station;
GRANT SELECT, INSERT ON runs, run_events, cards TO burnin_station;

-- Version 2: how a failed step ended. A driver that hangs or crashes gives no code, so its card's
-- code is 0 and this says which; every card before had the device's own.
ALTER TABLE cards ADD COLUMN IF NOT EXISTS outcome text NOT NULL DEFAULT 'code';
UPDATE burnin_schema SET version = 2 WHERE version < 2;

-- Version 3: the test plan a run is judged by and its inputs, as the stations keep them
-- (plan: bound, sequential, fixed or a named plan's name). Every run before was judged by the
-- confidence bound.
ALTER TABLE runs ADD COLUMN IF NOT EXISTS plan text NOT NULL DEFAULT 'bound';
ALTER TABLE runs ADD COLUMN IF NOT EXISTS plan_mcbf_lower bigint NOT NULL DEFAULT 0;
ALTER TABLE runs ADD COLUMN IF NOT EXISTS plan_discrimination double precision NOT NULL DEFAULT 0;
ALTER TABLE runs ADD COLUMN IF NOT EXISTS plan_producer_risk integer NOT NULL DEFAULT 0;
ALTER TABLE runs ADD COLUMN IF NOT EXISTS plan_consumer_risk integer NOT NULL DEFAULT 0;
UPDATE burnin_schema SET version = 3 WHERE version < 3;

-- Version 4: who wrote a record is sure. A station's login may insert a run only in its own name
-- (the login, session_user, not a role it has set) and events and cards only into its own runs;
-- reading stays open to every station and to burnin_reader, QA's read-only role. The table's
-- owner, the administrator, is not bound by these policies.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'burnin_reader') THEN
        CREATE ROLE burnin_reader NOLOGIN;
    END IF;
END
$$;
GRANT USAGE ON SCHEMA public TO burnin_reader;
GRANT SELECT ON burnin_schema, runs, run_events, cards TO burnin_reader;

ALTER TABLE runs ENABLE ROW LEVEL SECURITY;
ALTER TABLE run_events ENABLE ROW LEVEL SECURITY;
ALTER TABLE cards ENABLE ROW LEVEL SECURITY;
-- Dropped and created again, in this one transaction, so that a second run of the file leaves
-- them as this version has them.
DROP POLICY IF EXISTS everyone_reads ON runs;
DROP POLICY IF EXISTS everyone_reads ON run_events;
DROP POLICY IF EXISTS everyone_reads ON cards;
DROP POLICY IF EXISTS station_writes_its_own ON runs;
DROP POLICY IF EXISTS station_writes_its_own ON run_events;
DROP POLICY IF EXISTS station_writes_its_own ON cards;
CREATE POLICY everyone_reads ON runs FOR SELECT USING (true);
CREATE POLICY everyone_reads ON run_events FOR SELECT USING (true);
CREATE POLICY everyone_reads ON cards FOR SELECT USING (true);
CREATE POLICY station_writes_its_own ON runs FOR INSERT WITH CHECK (station = session_user);
CREATE POLICY station_writes_its_own ON run_events FOR INSERT WITH CHECK (EXISTS (
    SELECT FROM runs WHERE runs.run_id = run_events.run_id AND runs.station = session_user));
CREATE POLICY station_writes_its_own ON cards FOR INSERT WITH CHECK (EXISTS (
    SELECT FROM runs WHERE runs.run_id = cards.run_id AND runs.station = session_user));

-- QA's questions, answered here for the window and for psql alike; filter them with WHERE. A card
-- counts as a failure as the stations count one: failed, and not a card that the customer left
-- at the front (the removal step's code 1). PostgreSQL has no chi-square quantile, so the views
-- give the cycles, the failures and the point estimate; the confidence bound is the window's.
-- The failed cards, few among millions, are found by their own index.
CREATE INDEX IF NOT EXISTS cards_failed ON cards (run_id, started_at) WHERE NOT passed;
CREATE INDEX IF NOT EXISTS runs_serial_created ON runs (serial, created_at);
CREATE INDEX IF NOT EXISTS runs_model_created ON runs (model, created_at);

-- A unit's history: every run of each serial on every station, with its cards, failures and
-- verdict (NULL until the station has judged it), and the unit's cycles over all of its runs.
CREATE OR REPLACE VIEW unit_history AS
SELECT r.serial, r.model, r.station, r.run_id, r.created_at, r.plan, r.confidence,
    r.target_mcbf, c.cards, f.failures, v.verdict, e.ended,
    greatest(r.created_at, l.last_card_at, e.last_event_at) AS last_at,
    sum(c.cards) OVER (PARTITION BY r.serial) AS unit_cycles
FROM runs AS r
CROSS JOIN LATERAL (SELECT count(*) AS cards FROM cards WHERE run_id = r.run_id) AS c
CROSS JOIN LATERAL (SELECT count(*) AS failures FROM cards WHERE run_id = r.run_id
    AND NOT passed AND (failed_step IS NULL OR failed_step <> 'removal' OR code <> 1)) AS f
LEFT JOIN LATERAL (SELECT reason AS verdict FROM run_events WHERE run_id = r.run_id
    AND kind = 'verdict' ORDER BY seq DESC LIMIT 1) AS v ON true
CROSS JOIN LATERAL (SELECT coalesce(bool_or(kind = 'end'), false) AS ended,
        max(at) AS last_event_at
    FROM run_events WHERE run_id = r.run_id) AS e
LEFT JOIN LATERAL (SELECT started_at AS last_card_at FROM cards WHERE run_id = r.run_id
    ORDER BY card_index DESC LIMIT 1) AS l ON true
WHERE r.serial <> '';

-- The failure modes of each model, worst first, over the cards started in [p_from, p_to); NULL
-- leaves that end open. The driver's hangs and crashes (code 0) are modes of their own.
CREATE OR REPLACE FUNCTION failure_pareto(p_from timestamptz, p_to timestamptz)
RETURNS TABLE (model text, failed_step text, code integer, outcome text, failures bigint,
    share double precision, cumulative_share double precision, rank bigint)
LANGUAGE sql STABLE AS $body$
    SELECT f.model, f.failed_step, f.code, f.outcome, f.failures,
        f.failures::double precision / sum(f.failures) OVER whole,
        (sum(f.failures) OVER worst_first)::double precision / sum(f.failures) OVER whole,
        row_number() OVER worst_first
    FROM (SELECT r.model, c.failed_step, c.code, c.outcome, count(*) AS failures
        FROM runs AS r JOIN cards AS c ON c.run_id = r.run_id
        WHERE NOT c.passed AND (c.failed_step IS NULL OR c.failed_step <> 'removal' OR c.code <> 1)
            AND (p_from IS NULL OR c.started_at >= p_from)
            AND (p_to IS NULL OR c.started_at < p_to)
        GROUP BY r.model, c.failed_step, c.code, c.outcome) AS f
    WINDOW whole AS (PARTITION BY f.model),
        worst_first AS (PARTITION BY f.model
            ORDER BY f.failures DESC, f.failed_step, f.code, f.outcome ROWS UNBOUNDED PRECEDING)
$body$;
CREATE OR REPLACE VIEW failure_pareto AS SELECT * FROM failure_pareto(NULL, NULL);

-- Each model's cards pooled over all of its units.
CREATE OR REPLACE VIEW model_mcbf AS
SELECT r.model, count(DISTINCT nullif(r.serial, '')) AS units, count(*) AS runs,
    coalesce(sum(c.cycles), 0) AS cycles, coalesce(sum(c.failures), 0) AS failures,
    sum(c.cycles)::double precision / nullif(sum(c.failures), 0) AS point_mcbf
FROM runs AS r
LEFT JOIN (SELECT run_id, count(*) AS cycles,
        count(*) FILTER (WHERE NOT passed
            AND (failed_step IS NULL OR failed_step <> 'removal' OR code <> 1)) AS failures
    FROM cards GROUP BY run_id) AS c ON c.run_id = r.run_id
WHERE r.model <> ''
GROUP BY r.model;

GRANT SELECT ON unit_history, failure_pareto, model_mcbf TO burnin_station, burnin_reader;
GRANT EXECUTE ON FUNCTION failure_pareto(timestamptz, timestamptz) TO burnin_station,
    burnin_reader;
UPDATE burnin_schema SET version = 4 WHERE version < 4;

COMMIT;
