-- SPDX-License-Identifier: MIT
--
-- The shared results server of the card dispenser test tool: every station's burn-in runs in one
-- PostgreSQL database. The administrator runs this file as the database's owner, to install a
-- new server and again after each upgrade of the tool, to bring one that holds runs up to date
-- (it adds what is missing and never drops or renames anything, so running it twice is harmless):
--
--     createdb burnin
--     psql -d burnin -v ON_ERROR_STOP=1 -f server.sql
--     psql -d burnin -c "CREATE ROLE station7 LOGIN PASSWORD '...' IN ROLE burnin_station"
--
-- The stations never run DDL here. They insert what their own databases hold and read the fleet
-- view; records are written once, so a station may neither change nor remove one, its own or
-- another station's. The columns are the stations' own, with PostgreSQL's types.

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

COMMIT;
