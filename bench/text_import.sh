#!/usr/bin/env bash
# End-to-end text import benchmark: velaimport against the sqlite3 shell's .import.
#
#   bench/text_import.sh [BUILD_DIR_OR_VELAIMPORT] [ROWS]
#
# BUILD_DIR_OR_VELAIMPORT is a build directory (its apps/velaimport/velaimport is used) or the
# velaimport executable; default: build. ROWS defaults to 1000000. The work files go to a fresh
# directory below $TMPDIR (removed at the end unless VELA_BENCH_KEEP=1). VELA_BENCH_REPEAT=N runs
# every measured command N times and keeps the run with the least CPU time.
#
# Runs, each as its own process measured with /usr/bin/time:
#   velaimport cleancopy   the delimited file into an empty table, one transaction
#   sqlite3 .import        the same file into the same table shape (reference)
#   velaimport update      a second file (same keys, other values) keyed on the indexed key
#   the same two velaimport runs for the fixed-width file, against the same reference.
# Prints wall and CPU time (user+sys), peak RSS, rows per CPU second and the ratio to .import.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
target=${1:-build}
rows=${2:-1000000}
repeat=${VELA_BENCH_REPEAT:-1}
if [[ -d $target ]]; then vi=$target/apps/velaimport/velaimport; else vi=$target; fi
[[ -x $vi ]] || { echo "no velaimport executable at $vi" >&2; exit 2; }
vi=$(cd "$(dirname "$vi")" && pwd)/$(basename "$vi")
gen=$here/text_import_gen.py
py=/usr/bin/python3
[[ -x $py ]] || py=python3

work=$(mktemp -d -t vela-text-bench.XXXXXX)
cleanup() { [[ ${VELA_BENCH_KEEP:-0} == 1 ]] || rm -rf "$work"; }
trap cleanup EXIT

echo "work directory: $work" >&2
mkdir -p "$work/home/custom" "$work/upd"
"$py" "$gen" "$rows" "$work"
"$py" "$gen" "$rows" "$work/upd" 1
cp "$work/people_csv.tic" "$work/people_fix.tic" "$work/home/custom/"
csv_guid='{5B1F0C3E-7A2D-4E91-9C64-0D8A3F2B6E15}'
fix_guid='{9E3A6D72-1C4B-4F08-A5D9-6B2E7F1C3A84}'

columns='custno INTEGER, lastname VARCHAR(60), firstname VARCHAR(60), street VARCHAR(100),
  zip VARCHAR(10), city VARCHAR(60), country VARCHAR(2), birthday DATE,
  balance DOUBLE PRECISION, notes VARCHAR(200)'
# velaimport needs the record identifier "id"; for .import the table has the same columns
# without it: an SQLite table's rowid is what "id INTEGER PRIMARY KEY" names, so both tables
# are stored alike, and .import would otherwise complain about the missing column on every row.
new_db() { # FILE WITH_INDEX
  rm -f "$1" "$1-wal" "$1-shm"
  {
    echo "PRAGMA journal_mode=WAL;"
    echo "CREATE TABLE people (id INTEGER PRIMARY KEY, $columns);"
    if [[ $2 == 1 ]]; then echo "CREATE INDEX people_custno ON people(custno);"; fi
  } | sqlite3 "$1" >/dev/null
}

results=()
# run LABEL ROWS PREP COMMAND...: runs PREP (not measured), then the command under /usr/bin/time,
# $repeat times; keeps the figures of the repetition with the least CPU time (the one least
# disturbed by other processes) and the largest peak memory.
run() {
  local label=$1 n=$2 prep=$3
  shift 3
  local tf=$work/time.txt best="" bestcpu="" peak=0 k
  for ((k = 0; k < repeat; k++)); do
    "$prep"
    sync
    if ! /usr/bin/time -o "$tf" -f '%e %U %S %M' "$@" >"$work/out.txt" 2>"$work/err.txt"; then
      echo "$label failed:" >&2
      tail -n 5 "$work/err.txt" "$work/out.txt" >&2
      exit 1
    fi
    local t w u s m cpu
    t=$(tail -n 1 "$tf")
    read -r w u s m <<<"$t"
    cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
    if [[ -z $bestcpu ]] || awk -v a="$cpu" -v b="$bestcpu" 'BEGIN { exit !(a < b) }'; then
      best="$w $u $s"
      bestcpu=$cpu
    fi
    if ((m > peak)); then peak=$m; fi
  done
  results+=("$label $n $best $peak")
}

# The velaimport command line: DB SOURCE FORMAT MODE [options]
imp() {
  local db=$1 src=$2 fmt=$3 mode=$4
  shift 4
  cmd=("$vi" --home "$work/home" --db "sqlite:$db" --no-progress --quiet import "$src"
    --format "$fmt" --table people --mode "$mode" --transaction "$@")
}

count() { sqlite3 "$1" "SELECT count(*) FROM people;"; }
check_count() { # DB LABEL
  local c
  c=$(count "$1")
  [[ $c == "$rows" ]] || { echo "$2: $c rows in the table, expected $rows" >&2; exit 1; }
}

# (a) cleancopy of the delimited file into an empty table
prep_csv() { new_db "$work/csv.db" 0; }
imp "$work/csv.db" "$work/people.csv" "$csv_guid" cleancopy
run "velaimport cleancopy (delimited)" "$rows" prep_csv "${cmd[@]}"
check_count "$work/csv.db" "cleancopy (delimited)"

# (b) reference: sqlite3 .import of the same file, same pragmas as velaimport, one transaction
cat >"$work/ref.sql" <<EOF
PRAGMA journal_mode=WAL;
PRAGMA synchronous=NORMAL;
CREATE TABLE people ($columns);
.mode csv
.separator ;
.import $work/people.csv people
EOF
prep_ref() { rm -f "$work/ref.db" "$work/ref.db-wal" "$work/ref.db-shm"; }
run "sqlite3 .import" "$rows" prep_ref sqlite3 "$work/ref.db" ".read $work/ref.sql"
check_count "$work/ref.db" ".import"

# (c) update pass keyed on the indexed key over a filled table (filled by an unmeasured
# cleancopy); every record is found and updated with other values
new_db "$work/upd.db" 1
imp "$work/upd.db" "$work/people.csv" "$csv_guid" cleancopy
"${cmd[@]}" >/dev/null 2>&1
imp "$work/upd.db" "$work/upd/people.csv" "$csv_guid" update --key custno
run "velaimport update (delimited)" "$rows" : "${cmd[@]}"
check_count "$work/upd.db" "update (delimited)"

# (d) the fixed-width file: cleancopy and update
prep_fix() { new_db "$work/fix.db" 0; }
imp "$work/fix.db" "$work/people.txt" "$fix_guid" cleancopy
run "velaimport cleancopy (fixed width)" "$rows" prep_fix "${cmd[@]}"
check_count "$work/fix.db" "cleancopy (fixed width)"
new_db "$work/fixupd.db" 1
imp "$work/fixupd.db" "$work/people.txt" "$fix_guid" cleancopy
"${cmd[@]}" >/dev/null 2>&1
imp "$work/fixupd.db" "$work/upd/people.txt" "$fix_guid" update --key custno
run "velaimport update (fixed width)" "$rows" : "${cmd[@]}"
check_count "$work/fixupd.db" "update (fixed width)"

# Both imports must have stored the same values (the dates in the system's date format).
a=$(sqlite3 "$work/csv.db" "SELECT custno, lastname, street, balance, notes FROM people ORDER BY custno LIMIT 3 OFFSET 1;")
b=$(sqlite3 "$work/ref.db" "SELECT custno, lastname, street, balance, notes FROM people ORDER BY custno LIMIT 3 OFFSET 1;")
f=$(sqlite3 "$work/fix.db" "SELECT custno, lastname, street, balance, notes FROM people ORDER BY custno LIMIT 3 OFFSET 1;")
if [[ $a != "$b" || $a != "$f" ]]; then
  printf 'stored values differ:\nvelaimport delimited:\n%s\n.import:\n%s\nvelaimport fixed:\n%s\n' \
    "$a" "$b" "$f" >&2
  exit 1
fi

echo
echo "rows: $rows, best of $repeat, $(nproc) cores, load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "file: $(du -h "$work/people.csv" | cut -f1) delimited, $(du -h "$work/people.txt" | cut -f1) fixed width"
printf '%s\n' "${results[@]}" | awk -v rows="$rows" '
  {
    n = NF; mem = $n; sys = $(n - 1); usr = $(n - 2); wall = $(n - 3); cnt = $(n - 4)
    label = $1; for (i = 2; i <= n - 5; i++) label = label " " $i
    cpu = usr + sys
    lab[NR] = label; w[NR] = wall; c[NR] = cpu; m[NR] = mem; k[NR] = cnt
    if (label == "sqlite3 .import") ref = NR
  }
  END {
    printf "| %-34s | %7s | %7s | %12s | %12s | %8s | %8s |\n", "run", "wall s", "CPU s",
      "rows/CPU s", "rows/wall s", "vs .imp", "peak MiB"
    printf "|%s|%s|%s|%s|%s|%s|%s|\n", "------------------------------------", "---------",
      "---------", "--------------", "--------------", "----------", "----------"
    for (i = 1; i <= NR; i++) {
      rc = c[i] > 0 ? k[i] / c[i] : 0; rw = w[i] > 0 ? k[i] / w[i] : 0
      rr = (c[ref] > 0 && c[i] > 0) ? c[ref] / c[i] : 0
      printf "| %-34s | %7.2f | %7.2f | %12.0f | %12.0f | %8.2f | %8.1f |\n", lab[i], w[i], c[i],
        rc, rw, rr, m[i] / 1024
    }
  }'
