-- wrk script: posts JSON containers to /businessintegration?container=NAME, each with a number
-- of its own ("<prefix><thread>-<n>", mapped to orders.orderno by the bench's container type).
--
-- Environment:
--   VELA_BENCH_TOKEN      the bearer token (required)
--   VELA_BENCH_CONTAINER  the container type (default "orders")
--   VELA_BENCH_PREFIX     the beginning of every number (default "T"): runs against one
--                         database give each run a prefix of its own
--   VELA_BENCH_SUMMARY    file that done() writes the figures to as KEY=VALUE lines
--   VELA_BENCH_OK_FILE    when set, done() writes the number of every post answered 200 to this
--                         file, one a line. This needs one connection per thread
--                         (wrk -t N -c N): a thread then has one request in flight at a time,
--                         so the answer that response() sees is the one to the last request().
--                         The numbers are kept in memory until the end: wrk sizes each thread's
--                         event loop by the number of connections, and a file held open by
--                         every thread would take up descriptors that its sockets need.

local threads = {}
local counter = 0

function setup(thread)
  counter = counter + 1
  thread:set("id", counter)
  table.insert(threads, thread)
end

local token = os.getenv("VELA_BENCH_TOKEN") or error("VELA_BENCH_TOKEN is not set")
local path = "/businessintegration?container=" .. (os.getenv("VELA_BENCH_CONTAINER") or "orders")
local headers = {
  ["Content-Type"] = "application/json",
  ["Authorization"] = "Bearer " .. token,
  ["User-Agent"] = "bi-bench",
}
local okFile = os.getenv("VELA_BENCH_OK_FILE")
local prefix = os.getenv("VELA_BENCH_PREFIX") or "T"

local n = 0
local last = nil
ok = {}

function request()
  n = n + 1
  last = prefix .. id .. "-" .. n
  local body = '{"number":"' .. last .. '","customer":"customer ' .. n .. '"}'
  return wrk.format("POST", path, headers, body)
end

if okFile then
  function response(status, hdrs, body)
    if status == 200 and last then
      ok[#ok + 1] = last
    end
    last = nil
  end
end

function done(summary, latency, requests)
  if okFile then
    local f = assert(io.open(okFile, "w"))
    for _, thread in ipairs(threads) do
      for _, number in ipairs(thread:get("ok")) do
        f:write(number, "\n")
      end
    end
    f:close()
  end
  local out = os.getenv("VELA_BENCH_SUMMARY")
  if not out then return end
  local f = assert(io.open(out, "w"))
  local e = summary.errors
  f:write("requests=", summary.requests, "\n")
  f:write("duration_us=", summary.duration, "\n")
  f:write("errors_connect=", e.connect, "\n")
  f:write("errors_read=", e.read, "\n")
  f:write("errors_write=", e.write, "\n")
  f:write("errors_status=", e.status, "\n")
  f:write("errors_timeout=", e.timeout, "\n")
  for _, p in ipairs({ 50, 90, 99 }) do
    f:write("latency_p", p, "_us=", latency:percentile(p), "\n")
  end
  f:write("latency_max_us=", latency.max, "\n")
  f:close()
end
