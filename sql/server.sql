-- SPDX-License-Identifier: MIT
--
-- The shared results server of the card dispenser test tool: every station's burn-in runs in one
-- PostgreSQL database. The administrator runs this file once, as the database's owner:
--
--     createdb burnin
--     psql -d burnin -v ON_ERROR_STOP=1 -f server.sql
--     psql -d burnin -c "CREATE ROLE station7 LOGIN PASSWORD '...' IN ROLE burnin_station"
--
-- The stations never run DDL here. They insert what their own databases hold and read the fleet
-- view; records are written once, so a station may neither change nor remove one, its own or
-- another station's. The columns are the stations' own, with PostgreSQL's types.

BEGIN;

-- The stations refuse a server whose version is not theirs.
CREATE TABLE burnin_schema (
    version integer NOT NULL
);
INSERT INTO burnin_schema (version) VALUES (1);

CREATE TABLE runs (
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

CREATE TABLE run_events (
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

CREATE TABLE cards (
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
CREATE INDEX runs_created_at ON runs (created_at);
CREATE INDEX runs_serial ON runs (serial);
CREATE INDEX runs_model ON runs (model);
CREATE INDEX runs_station ON runs (station);
CREATE INDEX cards_passed ON cards (run_id, passed);

-- What every station's login role is granted, through membership: no UPDATE, no DELETE, no
-- TRUNCATE, and nothing on tables to come.
CREATE ROLE burnin_station NOLOGIN;
GRANT USAGE ON SCHEMA public TO burnin_station;
GRANT SELECT ON burnin_schema TO burnin_station;
GRANT SELECT, INSERT ON runs, run_events, cards TO burnin_station;

COMMIT;
