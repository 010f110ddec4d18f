#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a command beside a throw-away PostgreSQL cluster of its own, on 127.0.0.1 and a port no
# other cluster uses, and removes the cluster when the command ends, whatever its outcome.
# Debian's pg_virtualenv does the work (and copes with root, which initdb and pg_ctl refuse);
# the command finds the cluster through PGHOST, PGPORT, PGUSER and PGPASSWORD, the superuser's,
# and stops or starts it with `pg_ctlcluster "$PGVERSION" regress stop|start`.
set -eu
if ! command -v pg_virtualenv >/dev/null 2>&1; then
    echo "$0: pg_virtualenv is missing: install the postgresql package" >&2
    exit 1
fi
# A port of its own rather than 5432, which a packaged cluster may hold.
PGPORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export PGPORT
exec pg_virtualenv -t "$@"
