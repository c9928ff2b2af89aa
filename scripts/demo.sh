#!/usr/bin/env bash
# Builds kolvadex and runs it once against a small SQLite database: the demo of
# the README's Quick start. Everything it makes lands in demo/ (not tracked).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build

cmake --preset release >/dev/null
cmake --build --preset release
bin="$PWD/build/release/bin"

rm -rf demo && mkdir demo && cd demo

# The application database: one table of terms.
sqlite3 app.db <<'SQL'
CREATE TABLE TERM (ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL, STATE TEXT NOT NULL);
INSERT INTO TERM VALUES (1, 'GETTERM-2026-12', 'open'), (2, 'GETTERM-2027-01', 'open');
SQL

# The credential file: service (here the database file), user, password and
# database system, one per line; each is stored enciphered.
printf '%s\n' "$PWD/app.db" "" "" "SQLITE" | "$bin/kolvadex-cred" write QV.INI

# The statement file of the database system SQLITE.
cat > KOLVADEX.SQLITE.INI <<'INI'
[GETTERM]
SQL001=UPDATE TERM SET STATE = 'closed'
SQL002=WHERE NAME = '$parm01'
INI

echo "Before:"
sqlite3 -header -column app.db 'SELECT * FROM TERM'
echo
echo "\$ kolvadex GETTERM QV.INI GETTERM-2026-12 /D"
set +e
"$bin/kolvadex" GETTERM QV.INI GETTERM-2026-12 /D
status=$?
set -e
echo
echo "Exit status: $status (58: executed and committed)"
echo
echo "After:"
sqlite3 -header -column app.db 'SELECT * FROM TERM'
