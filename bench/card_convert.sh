#!/usr/bin/env bash
# End-to-end contact benchmark: velaimport card convert and a contact import into SQLite,
# against python3-vobject reading the same file.
#
#   bench/card_convert.sh [BUILD_DIR_OR_VELAIMPORT] [CONTACTS] [SMALL] [LARGE]
#
# BUILD_DIR_OR_VELAIMPORT is a build directory (its apps/velaimport/velaimport is used) or the
# velaimport executable; default: build. CONTACTS (default 100000) is the size of the compared
# runs; SMALL (default 10000) and LARGE (default none, e.g. 1000000) add card convert runs for
# the peak memory only. Work files go to a fresh directory below $TMPDIR (removed at the end
# unless VELA_BENCH_KEEP=1). VELA_BENCH_NO_PEER=1 leaves out the Python run.
#
# Runs, each as its own process measured with /usr/bin/time:
#   card convert          vCard 3.0 to LDIF, and vCard 3.0 to vCard 2.1
#   import                the contacts into an SQLite contacts table, one transaction
#   python3-vobject       vobject.readComponents over the same file, every contact read once
# Prints wall and CPU time (user+sys), peak RSS, contacts per CPU second and the CPU ratio of
# python3-vobject to each run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
target=${1:-build}
contacts=${2:-100000}
small=${3:-10000}
large=${4:-}
if [[ -d $target ]]; then vi=$target/apps/velaimport/velaimport; else vi=$target; fi
[[ -x $vi ]] || { echo "no velaimport executable at $vi" >&2; exit 2; }
vi=$(cd "$(dirname "$vi")" && pwd)/$(basename "$vi")
py=/usr/bin/python3

work=$(mktemp -d -t vela-card-bench.XXXXXX)
cleanup() { [[ ${VELA_BENCH_KEEP:-0} == 1 ]] || rm -rf "$work"; }
trap cleanup EXIT
echo "work directory: $work" >&2
mkdir -p "$work/home"

results=()
# run LABEL CONTACTS COMMAND...: the command under /usr/bin/time; keeps wall, user, sys, peak.
run() {
  local label=$1 n=$2 w u s m
  shift 2
  if ! /usr/bin/time -o "$work/time.txt" -f '%e %U %S %M' "$@" >"$work/out.txt" 2>"$work/err.txt"
  then
    echo "$label failed:" >&2
    tail -n 5 "$work/err.txt" "$work/out.txt" >&2
    exit 1
  fi
  read -r w u s m <<<"$(tail -n 1 "$work/time.txt")"
  results+=("$label|$n|$w|$u|$s|$m")
}

vcf() { echo "$work/contacts_$1.vcf"; }
for n in $small $contacts $large; do "$py" "$here/card_gen.py" "$n" "$(vcf "$n")"; done

# card convert at every size; the peak memory must not grow with the file.
for n in $small $contacts $large; do
  run "card convert to LDIF" "$n" "$vi" --home "$work/home" --quiet card convert "$(vcf "$n")" \
    "$work/out_$n.ldif"
  [[ $(grep -c '^dn: ' "$work/out_$n.ldif") == "$n" ]] || { echo "LDIF: contacts missing" >&2; exit 1; }
  rm -f "$work/out_$n.ldif"
done
run "card convert to vCard 2.1" "$contacts" "$vi" --home "$work/home" --quiet card convert \
  "$(vcf "$contacts")" "$work/out.vcf" --to vcard21
[[ $(grep -c '^BEGIN:VCARD' "$work/out.vcf") == "$contacts" ]] || { echo "vCard: contacts missing" >&2; exit 1; }
rm -f "$work/out.vcf"

# The contact import: every field the engine delivers that has a column of its name is stored.
db=$work/contacts.db
sqlite3 "$db" "PRAGMA journal_mode=WAL; CREATE TABLE contacts (id INTEGER PRIMARY KEY,
  FirstName VARCHAR(60), LastName VARCHAR(60), FormattedName VARCHAR(120), Organization VARCHAR(100),
  Email VARCHAR(100), Email2 VARCHAR(100), TelHomeVoice VARCHAR(40), TelWorkVoice VARCHAR(40),
  TelHomeCellular VARCHAR(40), AdrHomeStreetAddress VARCHAR(100), AdrHomeCity VARCHAR(60),
  AdrHomePostal VARCHAR(10), AdrWorkStreetAddress VARCHAR(100), AdrWorkCity VARCHAR(60),
  Birthday DATE, UID VARCHAR(60), Notes VARCHAR(1000));" >/dev/null
run "import into SQLite" "$contacts" "$vi" --home "$work/home" --db "sqlite:$db" --no-progress \
  --quiet import "$(vcf "$contacts")" --table contacts --transaction
stored=$(sqlite3 "$db" "SELECT count(*), count(DISTINCT Email2), max(length(Notes)) FROM contacts;")
[[ ${stored%%|*} == "$contacts" ]] || { echo "import: $stored (rows|emails|note length)" >&2; exit 1; }

if [[ -z ${VELA_BENCH_NO_PEER:-} ]]; then
  cat >"$work/read.py" <<'PY'
import sys, vobject
n = 0
with open(sys.argv[1], encoding='utf-8', newline='') as f:
    for card in vobject.readComponents(f):
        n += 1
print(n)
PY
  run "python3-vobject read" "$contacts" "$py" "$work/read.py" "$(vcf "$contacts")"
  [[ $(cat "$work/out.txt") == "$contacts" ]] || { echo "vobject: $(cat "$work/out.txt")" >&2; exit 1; }
fi

echo
echo "$(nproc) cores, load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in $small $contacts $large; do echo "$n contacts: $(du -h "$(vcf "$n")" | cut -f1)"; done
printf '%s\n' "${results[@]}" | awk -F'|' '
  {
    lab[NR] = $1; k[NR] = $2; w[NR] = $3; c[NR] = $4 + $5; m[NR] = $6
    if ($1 == "python3-vobject read") ref = NR
  }
  END {
    printf "| %-26s | %9s | %7s | %7s | %14s | %10s | %8s |\n", "run", "contacts", "wall s",
      "CPU s", "contacts/CPU s", "x vobject", "peak MiB"
    printf "|%s|%s|%s|%s|%s|%s|%s|\n", "----------------------------", "-----------", "---------",
      "---------", "----------------", "------------", "----------"
    for (i = 1; i <= NR; i++) {
      rate = c[i] > 0 ? k[i] / c[i] : 0
      x = (ref && c[i] > 0) ? (c[ref] / k[ref]) / (c[i] / k[i]) : 0
      printf "| %-26s | %9d | %7.2f | %7.2f | %14.0f | %10.1f | %8.1f |\n", lab[i], k[i], w[i],
        c[i], rate, x, m[i] / 1024
    }
  }'
