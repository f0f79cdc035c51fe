#!/usr/bin/env bash
# Durability of posted containers: the load of bi_load.sh, `kill -9` of the server half-way,
# a restart, more load, and a check that every post answered 200 was stored and imported.
#
#   bench/bi_durability.sh [BUILD_DIR|VELAIMPORT] [DURATION] [CONNECTIONS]
#
# Defaults: build, 30 (seconds), 64. wrk runs one connection per thread (-t CONNECTIONS
# -c CONNECTIONS) so that bench/bi_post.lua can collect the number of every post answered 200.
# First run: DURATION/2 + 2 seconds; after DURATION/2 seconds the server is killed with SIGKILL
# while the posts go on; the run ends 2 s later. The server is started again on the same port
# and a second run posts for DURATION/2 seconds (numbers of its own). Two runs, because wrk's
# connections, one per thread, do not reliably connect again once the server has gone away.
# When the background import has processed everything, the check requires of each number
# answered 200: a stored container carrying it, a row in "orders" carrying it, and no container
# that was not imported successfully. It also reports the containers stored without an answer
# (in flight at the kill or at wrk's end) and, apart from the check, numbers imported twice.
# Exit status 0 when the check passes. Backends and the other settings: see bi_common.sh.
set -euo pipefail
export LC_ALL=C

. "$(cd "$(dirname "$0")" && pwd)/bi_common.sh"
bi_init "${1:-build}"
duration=${2:-30}
connections=${3:-64}
status=0

# The number carried by each stored container, one a line.
container_numbers() {
  if [[ $backend == sqlite ]]; then
    bi_sql "SELECT json_extract(CAST(containerdata AS TEXT), '\$.number') FROM businessintegration_exchangecontainer"
  else
    bi_sql "SELECT convert_from(containerdata, 'UTF8')::json->>'number' FROM businessintegration_exchangecontainer"
  fi
}

bi_machine
for backend in $backends; do
  echo "== $backend: $connections connections for $duration s, kill -9 after $((duration / 2)) s"
  bi_prepare "$backend"
  dir=$work/$backend
  listen=127.0.0.1:$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
  bi_start_server "$listen"
  half=$((duration / 2))
  # post PREFIX SECONDS: a wrk run; the numbers answered 200 go to $dir/ok-PREFIX.txt.
  post() {
    VELA_BENCH_TOKEN=$token VELA_BENCH_PREFIX=$1 VELA_BENCH_OK_FILE=$dir/ok-$1.txt \
      VELA_BENCH_SUMMARY=$dir/wrk-$1.summary \
      wrk -t "$connections" -c "$connections" -d "${2}s" --latency \
      -s "$bi_here/bi_post.lua" "http://$listen" >"$dir/wrk-$1.out"
  }
  post A $((half + 2)) &
  wrk_pid=$!
  sleep "$half"
  kill -KILL "$serve_pid"
  wait "$serve_pid" 2>/dev/null || true
  serve_pid=""
  wait "$wrk_pid" || { echo "wrk failed" >&2; status=1; }
  before_kill=$(wc -l <"$dir/ok-A.txt")
  echo "killed the server after $before_kill posts answered 200; first run:"
  grep -E 'requests in|Socket errors|99%' "$dir/wrk-A.out"
  bi_start_server "$listen"
  echo "restarted on $listen; second run:"
  post B "$half" || { echo "wrk failed" >&2; status=1; }
  grep -E 'requests in|Socket errors|99%' "$dir/wrk-B.out"
  bi_wait_imported || status=1
  bi_stop_server

  sort "$dir/ok-A.txt" "$dir/ok-B.txt" >"$dir/answered.txt"
  container_numbers | sort >"$dir/stored.txt"
  bi_sql "SELECT orderno FROM orders" | sort >"$dir/imported.txt"
  answered=$(wc -l <"$dir/answered.txt")
  stored=$(wc -l <"$dir/stored.txt")
  not_stored=$(comm -23 "$dir/answered.txt" "$dir/stored.txt" | wc -l)
  not_imported=$(comm -23 "$dir/answered.txt" <(sort -u "$dir/imported.txt") | wc -l)
  unanswered=$(comm -13 "$dir/answered.txt" "$dir/stored.txt" | wc -l)
  twice=$(uniq -d "$dir/imported.txt" | wc -l)
  dup_answers=$(uniq -d "$dir/answered.txt" | wc -l)
  failed=$(bi_sql "SELECT COUNT(*) FROM businessintegration_exchangecontainer WHERE processedstateid <> 1")
  echo "-- $backend"
  echo "posts answered 200: $answered ($before_kill before the kill); stored containers: $stored" \
    "($unanswered of them without an answer counted: in flight at the kill or at the end)"
  echo "answered 200 but not stored: $not_stored; answered 200 but not imported: $not_imported"
  echo "containers not imported successfully: $failed; numbers imported twice: $twice"
  if ((answered > before_kill && before_kill > 0 && not_stored == 0 && not_imported == 0 &&
    failed == 0 && dup_answers == 0)); then
    echo "durability check on $backend: PASS"
  else
    echo "durability check on $backend: FAIL" >&2
    status=1
  fi
  # A container whose import was under way at the kill is imported again after the restart; its
  # rows may have been written already.
  if ((twice == 0)); then
    echo "imported exactly once on $backend: yes"
  else
    echo "imported exactly once on $backend: no, $twice numbers twice"
  fi
done
bi_machine
exit $status
