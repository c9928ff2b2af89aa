#!/usr/bin/env bash
# Measures what a run of kolvadex costs, next to the least a program can do for
# the same change (the floor programs in bench/) and the command-line clients a
# site would use instead (sqlite3, psql). Prints, in this order:
#   1. the tool's own stages in-process (Google Benchmark), typical and large
#      inputs, with the targets (typical run under 0.5 ms, linear growth);
#   2. whole runs on SQLite and on PostgreSQL, interleaved: medians of wall
#      time, CPU time and peak memory, the ratios to the floor, the targets;
#   3. the instructions of one SQLite run (callgrind), stage by stage;
#   4. the shared objects a SQLite and a PostgreSQL run load.
#
#   scripts/bench.sh           the full benchmark (a few minutes)
#   scripts/bench.sh --quick   everything once with tiny repetition counts: checks
#                              that the benchmark works, not its timings (CI)
# KOLVADEX_BENCH_RUNS sets the number of whole runs of each command (200).
# Missed targets are reported, not errors: the script fails only when
# something does not work (a build, a run that does not end as it should, a
# counter that did not go up).
#
# It builds the release preset, makes a SQLite database in a temporary folder,
# starts a throwaway PostgreSQL server (tests/support/pg_server.sh) and stops it
# at the end, whatever happens. Every measured run makes a real change (a
# counter goes up by one); the script checks the counters at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=no
case "${1:-}" in
  "") ;;
  --quick) quick=yes ;;
  *)
    echo "usage: $0 [--quick]" >&2
    exit 2
    ;;
esac
if [ "$quick" = yes ]; then
  runs=3 warmup=1 min_time=0.001
else
  runs=${KOLVADEX_BENCH_RUNS:-200} warmup=5 min_time=0.3
fi

scripts/deps.sh bench
cmake --preset release >/dev/null
cmake --build --preset release
bin="$PWD/build/release/bin"
pg_server="$PWD/tests/support/pg_server.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kolvadex-bench.XXXXXX")
cleanup() {
  "$pg_server" stop "$work/pg" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cd "$work"

echo "kolvadex benchmark ($([ "$quick" = yes ] && echo "quick: checks that it works" || echo full))"
echo "Machine: $(nproc) cores, $(awk '{print "load average " $1 " (1 min), " $2 " (5 min)"}' /proc/loadavg)"
echo "         $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"

# The statement every program executes: the text kolvadex assembles from the
# statement file below (one blank before and after).
sql=' UPDATE COUNTER SET N = N + 1 WHERE ID = 1 '
cat >KOLVADEX.SQLITE.INI <<'INI'
[BENCH]
SQL001=UPDATE COUNTER SET N = N + 1
SQL002=WHERE ID = $parm01
INI
cp KOLVADEX.SQLITE.INI KOLVADEX.POSTGRESQL.INI

echo
echo "=== 1. The tool's own stages in-process (CPU time is what counts on a shared machine)"
"$bin/kolvadex_stages_bench" --benchmark_color=false --benchmark_min_time="$min_time"

echo
echo "=== 2. Whole runs"
# SQLite: a database file with the counter, and the credential file that names it.
db="$work/bench.db"
sqlite3 "$db" 'CREATE TABLE COUNTER (ID INTEGER PRIMARY KEY, N INTEGER NOT NULL);
               INSERT INTO COUNTER VALUES (1, 0), (2, 0);'
printf '%s\n' "$db" "" "" "SQLITE" | "$bin/kolvadex-cred" write SQLITE.INI
"$bin/kolvadex_compare" --runs "$runs" --warmup "$warmup" --title "SQLite" \
  --wall-target 1.10 --memory-target 1.2 \
  --floor floor_sqlite 0 "$bin/floor_sqlite" "$db" "$sql" ';' \
  --tool kolvadex 58 "$bin/kolvadex" BENCH SQLITE.INI 1 ';' \
  --peer "sqlite3 CLI" 0 sqlite3 "$db" "$sql" ';' \
  --other "/bin/true (process start)" 0 /bin/true ';'
expected=$((3 * (runs + warmup)))  # floor, kolvadex and the sqlite3 CLI
counted=$(sqlite3 "$db" 'SELECT N FROM COUNTER WHERE ID = 1')
[ "$counted" -eq "$expected" ] || {
  echo "SQLite counter is $counted, expected $expected: not every run changed the row" >&2
  exit 1
}
echo "Every run changed the row: the counter went up by $counted."

# PostgreSQL: a throwaway server; the counter lives in the application schema,
# which every client finds first on its search path. Beside the floor runs a
# second floor program that loads libpq as kolvadex must (at run time, in a
# process linked with SQLite): the cost of that alone, apart from the tool's
# own work.
"$pg_server" start "$work/pg" >/dev/null
pg_value() { sed -n "s/^$1=//p" "$work/pg/connection.env"; }
socket_dir=$(pg_value socket_dir) port=$(pg_value port) database=$(pg_value database)
user=$(pg_value user) password=$(pg_value password)
admin_user=$(pg_value admin_user) admin_password=$(pg_value admin_password)
PGPASSWORD=$admin_password psql -X -q -v ON_ERROR_STOP=1 -h "$socket_dir" -p "$port" \
  -U "$admin_user" -d "$database" >/dev/null <<SQL
CREATE TABLE rarazove.counter (id integer PRIMARY KEY, n integer NOT NULL);
INSERT INTO rarazove.counter VALUES (1, 0), (2, 0);
ALTER TABLE rarazove.counter OWNER TO $user;
ALTER ROLE $user SET search_path = rarazove;
SQL
service="host=$socket_dir port=$port dbname=$database"
conninfo="$service user=$user password=$password"
printf '%s\n' "$service" "$user" "$password" "POSTGRESQL" | "$bin/kolvadex-cred" write PG.INI
"$bin/kolvadex_compare" --runs "$runs" --warmup "$warmup" --title "PostgreSQL (local server, Unix socket)" \
  --wall-target 1.10 \
  --floor floor_postgresql 0 "$bin/floor_postgresql" "$conninfo" "$sql" ';' \
  --tool kolvadex 58 "$bin/kolvadex" BENCH PG.INI 1 ';' \
  --peer psql 0 psql -X -q -d "$conninfo" -c "$sql" ';' \
  --other "floor, dlopen(libpq)" 0 "$bin/floor_postgresql_loaded" "$conninfo" "$sql" ';'
expected=$((4 * (runs + warmup)))  # both floors, kolvadex and psql
counted=$(psql -X -q -t -A -d "$conninfo" -c 'SELECT n FROM counter WHERE id = 1')
[ "$counted" -eq "$expected" ] || {
  echo "PostgreSQL counter is $counted, expected $expected: not every run changed the row" >&2
  exit 1
}
echo "Every run changed the row: the counter went up by $counted."

echo
echo "=== 3. Instructions of one SQLite run (callgrind), stage by stage"
# Callgrind writes a part of the profile whenever a stage's function is entered
# (dump before) or left (dump after); each part belongs to the stage that ran
# up to that point. Callgrind allows one dump option per function.
profile() {
  local out=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file="$out.%p" "$@" >/dev/null 2>&1 || true
}
# Prints "<instructions> <trigger>" for every part of a profile, in order; the
# trigger is the option that ended the part, without the function's arguments.
parts() {
  local file rest
  for file in "$1".*; do
    rest=${file#"$1".}
    # "PID.N" for the numbered parts, "PID" for the last one (program end).
    printf '%s %s %s\n' "$([ "$rest" != "${rest#*.}" ] && echo "${rest#*.}" || echo 999999)" \
      "$(sed -n 's/^summary: //p' "$file")" \
      "$(sed -n 's/^desc: Trigger: //p' "$file" | sed 's/(.*//; s/ /_/g')"
  done | sort -n | cut -d' ' -f2-
}
profile "$work/cg.tool" \
  --dump-before=main --dump-before='kolvadex::CheckArguments*' \
  --dump-before='kolvadex::ReadTextFile*' --dump-before='kolvadex::db::OpenSession*' \
  --dump-after='kolvadex::db::dbConnect*' --dump-after='kolvadex::statement::GetIniValues*' \
  --dump-after='kolvadex::statement::ReplaceParameters*' \
  --dump-after='kolvadex::db::dbExecute*' --dump-after='kolvadex::db::dbCommit*' \
  "$bin/kolvadex" BENCH SQLITE.INI 1
profile "$work/cg.floor" --dump-before=main "$bin/floor_sqlite" "$db" "$sql"
tool_parts=$(parts "$work/cg.tool")
floor_parts=$(parts "$work/cg.floor")
awk -v tool="$tool_parts" -v floor="$floor_parts" '
  function group(n,   s) {
    s = sprintf("%d", n)
    while (s ~ /[0-9][0-9][0-9][0-9]/) sub(/[0-9][0-9][0-9]($|,)/, ",&", s)
    return s
  }
  function row(text, n) { printf "| %-68s | %12s |\n", text, group(n) }
  BEGIN {
    split("loader command_line credentials connect statement substitution execute commit end", order, " ")
    label["loader"] = "start-up: loading, relocation, initialisers (before main)"
    label["command_line"] = "main, command line (CheckArguments)"
    label["credentials"] = "credential file, four lookups (ReadCredentials)"
    label["connect"] = "choose the backend, connect (dbConnect)"
    label["statement"] = "statement file (GetIniValues)"
    label["substitution"] = "substitution (ReplaceParameters)"
    label["execute"] = "execute (dbExecute)"
    label["commit"] = "commit (dbCommit)"
    label["end"] = "close the session, exit"
    stage = "loader"
    n = split(tool, lines, "\n")
    for (i = 1; i <= n; ++i) {
      split(lines[i], f, " ")
      cost[stage] += f[1]
      t = f[2]
      if (t ~ /before=main$/) stage = "command_line"
      else if (t ~ /ReadTextFile$/ && stage == "command_line") stage = "credentials"
      else if (t ~ /OpenSession$/) stage = "connect"
      else if (t ~ /after=.*dbConnect$/) stage = "statement"
      else if (t ~ /after=.*GetIniValues$/) stage = "substitution"
      else if (t ~ /after=.*ReplaceParameters$/) stage = "execute"
      else if (t ~ /after=.*dbExecute$/) stage = "commit"
      else if (t ~ /after=.*dbCommit$/) stage = "end"
    }
    printf "| %-68s | %12s |\n", "stage", "instructions"
    printf "|%s|%s|\n", "----------------------------------------------------------------------", "-------------:"
    for (i = 1; i <= 9; ++i) { row("kolvadex: " label[order[i]], cost[order[i]]); total += cost[order[i]] }
    row("kolvadex total", total)
    n = split(floor, lines, "\n")
    for (i = 1; i <= n; ++i) { split(lines[i], f, " "); if (i == 1) before = f[1]; else after += f[1] }
    row("floor_sqlite: start-up (before main)", before)
    row("floor_sqlite: open, begin, execute, commit, close, exit", after)
    row("floor_sqlite total", before + after)
    if (before + after > 0) printf "\nkolvadex / floor_sqlite: %.2f x the instructions\n", total / (before + after)
  }'

echo
echo "=== 4. Shared objects loaded by a run (LD_DEBUG=files)"
loaded() {
  LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld.$1" "${@:2}" >/dev/null 2>&1 || true
  sed -n 's/.*file=\([^ ]*\) \[0\];  generating link map.*/\1/p' "$work/ld.$1".* | sort -u
  rm -f "$work/ld.$1".*
}
for backend in SQLITE PG; do
  objects=$(loaded "$backend" "$bin/kolvadex" BENCH "$backend.INI" 1)
  printf '%-10s run: %2d shared objects: %s\n' "$backend" "$(wc -l <<<"$objects")" \
    "$(tr '\n' ' ' <<<"$objects")"
done
objects=$(loaded floor "$bin/floor_sqlite" "$db" "$sql")
printf 'floor_sqlite:   %2d shared objects: %s\n' "$(wc -l <<<"$objects")" "$(tr '\n' ' ' <<<"$objects")"

echo
echo "Load at the end: $(awk '{print $1 " (1 min), " $2 " (5 min)"}' /proc/loadavg)"
