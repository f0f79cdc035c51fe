-- wrk script: posts JSON containers to /businessintegration?container=NAME, each with a number
-- of its own ("T<thread>-<n>", mapped to orders.orderno by the bench's container type).
--
-- Environment:
--   VELA_BENCH_TOKEN      the bearer token (required)
--   VELA_BENCH_CONTAINER  the container type (default "orders")
--   VELA_BENCH_SUMMARY    file that done() writes the figures to as KEY=VALUE lines
--   VELA_BENCH_OK_DIR     when set, each thread appends the number of every post answered 200
--                         to OK_DIR/ok-<thread>.txt. This needs one connection per thread
--                         (wrk -t N -c N): a thread then has one request in flight at a time,
--                         so the answer that response() sees is the one to the last request().

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
local okDir = os.getenv("VELA_BENCH_OK_DIR")

local n = 0
local last = nil
local okFile = nil

function init(args)
  if okDir then
    okFile = assert(io.open(okDir .. "/ok-" .. id .. ".txt", "a"))
    okFile:setvbuf("line")
  end
end

function request()
  n = n + 1
  last = "T" .. id .. "-" .. n
  local body = '{"number":"' .. last .. '","customer":"customer ' .. n .. '"}'
  return wrk.format("POST", path, headers, body)
end

if okDir then
  function response(status, hdrs, body)
    if status == 200 and last then
      okFile:write(last, "\n")
    end
    last = nil
  end
end

function done(summary, latency, requests)
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
