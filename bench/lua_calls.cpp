// Calls of the module's script bindings from Lua: a loop of CALLS calls of cheap methods of
// DataimportModule (the module library loaded and started as a host does), next to a plain Lua
// function and a Lua table method called the same number of times in the same state. Prints
// calls per second and nanoseconds per call of each.
//
//   vela_bench_lua_calls [CALLS]      (default 1000000)
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "host/MainInterface.h"
#include "host/PluginLoader.h"
#include "platform/script/ScriptEngine.h"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct TRun {
  const char* Name;
  const char* Body;  // the loop body; `n` counts the calls that answered as expected
};

const TRun kRuns[] = {
    {"empty loop", "n = n + 1"},
    {"Lua function f()", "if f() then n = n + 1 end"},
    {"Lua table method t:get()", "if t:get() then n = n + 1 end"},
    {"DataimportModule:Get_BusinessIntgrationAvailable()",
     "if m:Get_BusinessIntgrationAvailable() then n = n + 1 end"},
    {"DataimportModule:GET_BUSINESSINTGRATIONAVAILABLE()",
     "if m:GET_BUSINESSINTGRATIONAVAILABLE() then n = n + 1 end"},
    {"DataimportModule:Get_Engine(guid) (string in, object and var out)",
     "local e, i = m:Get_Engine(guid) if i == -1 then n = n + 1 end"},
};

}  // namespace

int main(int argc, char** argv) {
  const long calls = argc > 1 ? std::atol(argv[1]) : 1000000;
  auto mi = vela::MakeIntf<vela::TVelaMainInterface, vela::IMainInterface>(
      std::filesystem::temp_directory_path().string());
  vela::TPluginLibrary library(VELA_MODULE_LIBRARY);
  library.Load();
  library.Start(mi.get());
  {
    vela::TScriptEngine engine;
    engine.DoText(
        "m = DataimportModule\n"
        "guid = '{00000000-0000-0000-0000-000000000000}'\n"
        "function f() return true end\n"
        "t = {} function t:get() return true end\n",
        "setup");
    std::printf("%-68s %12s %10s %10s\n", "calls", "calls/s", "ns/call", "CPU s");
    for (const TRun& run : kRuns) {
      const std::string loop = std::string("local n, m, f, t, guid = 0, m, f, t, guid\n") +
                               "for _ = 1, ... do " + run.Body + " end\nreturn n";
      const double c0 = CpuSeconds();
      const auto r = engine.DoText(loop, "bench", {vela::Variant(static_cast<int64_t>(calls))});
      const double cpu = CpuSeconds() - c0;
      if (r.empty() || r[0].AsInt64() != calls) {
        std::fprintf(stderr, "%s: %lld of %ld calls answered as expected\n", run.Name,
                     r.empty() ? 0LL : static_cast<long long>(r[0].AsInt64()), calls);
        return 1;
      }
      std::printf("%-68s %12.0f %10.1f %10.3f\n", run.Name, calls / cpu, cpu * 1e9 / calls, cpu);
    }
  }
  library.Shutdown();
  return 0;
}
