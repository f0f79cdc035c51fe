#!/usr/bin/env bash
# Load on the business integration server: wrk posts JSON containers to a running
# `velaimport serve`, then the background import is awaited.
#
#   bench/bi_load.sh [BUILD_DIR|VELAIMPORT] [DURATION] [CONNECTIONS]
#
# Defaults: build, 30 (seconds), 64. For each backend (SQLite file, PostgreSQL; see
# bi_common.sh for the environment) it makes a fresh home and database, a container type
# "orders" importing into the table "orders" and a token, starts
# `velaimport serve --listen 127.0.0.1:0 --threads N` and runs
# `wrk -t2 -c CONNECTIONS -d DURATION --latency` with bench/bi_post.lua (every post a number of
# its own). It prints posts answered 200 per second and the latency percentiles, waits until the
# background import has processed every container, prints containers imported per second, and
# checks that posts answered 200 == stored containers == imported containers == rows in "orders"
# (up to the posts still in flight when wrk stops: at most one per connection).
# VELA_BENCH_WRK_THREADS sets wrk's threads (default 2).
set -euo pipefail

. "$(cd "$(dirname "$0")" && pwd)/bi_common.sh"
bi_init "${1:-build}"
duration=${2:-30}
connections=${3:-64}
wrk_threads=${VELA_BENCH_WRK_THREADS:-2}
status=0
results=()

bi_machine
for backend in $backends; do
  echo "== $backend: $connections connections for $duration s, server threads $server_threads"
  bi_prepare "$backend"
  bi_start_server 127.0.0.1:0
  summary=$work/$backend/wrk.summary
  cpu0=$(bi_server_cpu)
  start=$(date +%s.%N)
  VELA_BENCH_TOKEN=$token VELA_BENCH_SUMMARY=$summary \
    wrk -t "$wrk_threads" -c "$connections" -d "${duration}s" --latency \
    -s "$bi_here/bi_post.lua" "http://127.0.0.1:$port" | tee "$work/$backend/wrk.out"
  loaded=$(date +%s.%N)
  cpu1=$(bi_server_cpu)
  imported_during=$(bi_sql "SELECT COUNT(*) FROM businessintegration_exchangecontainer WHERE processeddate IS NOT NULL")
  bi_wait_imported || status=1
  done_at=$(date +%s.%N)
  cpu2=$(bi_server_cpu)
  bi_stop_server

  requests=$(bi_summary requests)
  bad=$(bi_summary errors_status)
  ok=$((requests - bad))
  stored=$(bi_sql "SELECT COUNT(*) FROM businessintegration_exchangecontainer")
  succeeded=$(bi_sql "SELECT COUNT(*) FROM businessintegration_exchangecontainer WHERE processedstateid = 1")
  rows=$(bi_sql "SELECT COUNT(*) FROM orders")
  distinct=$(bi_sql "SELECT COUNT(DISTINCT orderno) FROM orders")
  read -r posts_s p50 p90 p99 max imp_load imp_drain imp_all cpu_post cpu_import < <(awk \
    -v ok="$ok" -v us="$(bi_summary duration_us)" -v p50="$(bi_summary latency_p50_us)" \
    -v p90="$(bi_summary latency_p90_us)" -v p99="$(bi_summary latency_p99_us)" \
    -v max="$(bi_summary latency_max_us)" -v t0="$start" -v t1="$loaded" -v t2="$done_at" \
    -v during="$imported_during" -v stored="$stored" -v c0="$cpu0" -v c1="$cpu1" -v c2="$cpu2" \
    'BEGIN {
      drain = t2 - t1; if (drain < 0.001) drain = 0.001
      printf "%.0f %.2f %.2f %.2f %.1f %.0f %.0f %.0f %.0f %.0f\n", ok / (us / 1e6), p50 / 1000,
        p90 / 1000, p99 / 1000, max / 1000, during / (t1 - t0), (stored - during) / drain,
        stored / (t2 - t0), (c1 - c0) * 1e6 / (ok > 0 ? ok : 1),
        (stored > during ? (c2 - c1) * 1e6 / (stored - during) : 0)
    }')
  echo "-- $backend"
  echo "posts answered 200: $ok in $duration s = $posts_s posts/s; other answers: $bad;" \
    "socket errors: connect $(bi_summary errors_connect), read $(bi_summary errors_read)," \
    "write $(bi_summary errors_write), timeout $(bi_summary errors_timeout)"
  echo "latency ms: p50 $p50, p90 $p90, p99 $p99, max $max"
  echo "imported: $imported_during during the load ($imp_load/s), the rest at $imp_drain/s" \
    "after it; $imp_all/s from the first post to the last import"
  echo "server CPU: $cpu_post us per post during the load, $cpu_import us per container" \
    "imported after it"
  echo "counts: answered 200 $ok, stored $stored, imported successfully $succeeded," \
    "rows in orders $rows ($distinct distinct numbers)"
  # wrk stops with a post in flight on each connection: the server may store those without
  # their answer being counted.
  if ((ok <= stored && stored <= ok + connections)) && [[ $stored == "$succeeded" &&
    $succeeded == "$rows" && $rows == "$distinct" ]]; then
    echo "counts agree ($((stored - ok)) stored posts were in flight when wrk stopped)"
  else
    echo "COUNTS DIFFER" >&2
    status=1
  fi
  results+=("| $backend | $ok | $posts_s | $p50 | $p99 | $imp_load | $imp_drain | $cpu_post | $cpu_import |")
done

echo
bi_machine
echo "| backend | posts 200 | posts/s | p50 ms | p99 ms | imported/s during load | imported/s after | server CPU us/post | server CPU us/import |"
echo "|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${results[@]}"
exit $status
