// The script engine: errors with the script's name and line, C++ exceptions and script errors
// crossing each other with every destructor run, the sandbox, and the host's scheduled action
// that runs scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "host/MainInterface.h"
#include "host/ScriptScheduleAction.h"
#include "platform/script/ScriptEngine.h"

namespace vela {
namespace {

std::string ErrorOf(TScriptEngine& e, const std::string& text) {
  try {
    e.DoText(text, "t");
  } catch (const EScriptError& x) {
    return x.Message();
  }
  return "(no error)";
}

// Counts live instances: a destructor that did not run shows.
struct TGuard {
  static inline int Live = 0;
  TGuard() { ++Live; }
  ~TGuard() { --Live; }
};

TEST(ScriptEngine, ErrorsUnwindBothWaysAndNameScriptAndLine) {
  TScriptEngine e;
  e.RegisterFunction("Fail", [](TScriptCall&) {
    TGuard g;
    throw EConvertError("bad value");
  });
  // A script function called from C++ that fails while C++ frames wait below it.
  e.RegisterFunction("CallBack", [](TScriptCall& c) {
    TGuard g;
    auto fn = c.Ref(0);
    c.Push(fn->Call({}, {Variant(c.Integer(1))})[0]);
  });
  EXPECT_EQ(ErrorOf(e, "local a = 1\nFail()"), "t:2: Fail: EConvertError: bad value");
  EXPECT_EQ(ErrorOf(e, "CallBack(function(x) error('no ' .. x) end, 4)"),
            "t:1: CallBack: t:1: no 4");
  EXPECT_EQ(ErrorOf(e, "x = = 1"), "t:1: unexpected symbol near '='");
  EXPECT_EQ(TGuard::Live, 0);
  EXPECT_EQ(e.DoText("return CallBack(function(x) return x * 2 end, 21)", "t")[0].AsInteger(), 42);
  EXPECT_EQ(
      e.DoText("return select('#', ...), arg[0], ...", "t", {Variant("a"), Variant(2)}).size(), 4u);
  e.DoText("function Twice(s) return s .. s, #s end", "t");
  auto r = e.Call("Twice", {Variant("ab")});
  EXPECT_EQ(r[0].AsString(), "abab");
  EXPECT_EQ(r[1].AsInteger(), 2);
  EXPECT_THROW(e.Call("Missing"), EScriptError);
}

class ScriptSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = std::filesystem::temp_directory_path() / ("vela_sandbox_" + std::to_string(::getpid()));
    std::filesystem::remove_all(FRoot);
    std::filesystem::create_directories(FRoot / "app" / "custom");
    std::ofstream(FRoot / "secret.txt") << "secret";
    std::ofstream(FRoot / "app" / "custom" / "mod.lua") << "return {answer = 42}";
    std::filesystem::create_directory_symlink(FRoot, FRoot / "app" / "up");
  }
  void TearDown() override { std::filesystem::remove_all(FRoot); }
  std::filesystem::path FRoot;
};

TEST_F(ScriptSandbox, RefusesProgramsNativeCodeAndPathsOutsideTheApplicationFolder) {
  const std::string app = (FRoot / "app").string();
  TScriptEngine e({.Sandbox = true, .RootFolder = app});
  const std::string outside = "is outside the application folder";
  const struct {
    const char* Script;
    std::string Error;
  } refused[] = {
      {"os.execute('true')", "attempt to call a nil value (field 'execute')"},
      {"io.popen('ls')", "attempt to call a nil value (field 'popen')"},
      {"package.loadlib('libc.so.6', 'puts')", "attempt to call a nil value (field 'loadlib')"},
      {"require('lpeg')", "module 'lpeg' not found"},
      {"debug.getinfo(1)", "attempt to index a nil value"},
      {"io.open('../secret.txt')", "access to '../secret.txt' " + outside},
      {"io.open('up/secret.txt')", "access to 'up/secret.txt' " + outside},
      {"io.lines('/etc/passwd')", "access to '/etc/passwd' " + outside},
      {"os.rename('custom/mod.lua', '/tmp/x.lua')", "access to '/tmp/x.lua' " + outside},
      {"dofile('/etc/hostname')", "access to '/etc/hostname' " + outside},
      {"load(string.dump(function() end))", "attempt to load a binary chunk"},
  };
  for (const auto& c : refused) {
    const std::string error = ErrorOf(e, std::string("assert(") + c.Script + ")");
    EXPECT_NE(error.find(c.Error), std::string::npos) << c.Script << "\n" << error;
  }
  auto r = e.DoText(
      "local f = assert(io.open('custom/out.txt', 'w')) f:write('x') f:close()\n"
      "return require('custom.mod').answer, io.open('custom/out.txt'):read('a')",
      "t");
  EXPECT_EQ(r[0].AsInteger(), 42);
  EXPECT_EQ(r[1].AsString(), "x");
  // Without the sandbox the libraries are all there.
  TScriptEngine open;
  EXPECT_TRUE(open.DoText("return os.execute ~= nil and debug ~= nil", "t")[0].AsBoolean());
}

// The application folder is tests/data; the host registers the action with its services.
TEST(ScriptScheduleAction, RunsScriptOrFunctionWithParametersAndReportsFailures) {
  const std::string app = VELA_TEST_DATA_DIR, file = "Script=scripts/scheduled.lua\n";
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>(app);
  const std::pair<std::string, std::string> cases[] = {
      // configuration, the one message
      {"Script=$APP$/scripts/scheduled.lua\nFunction=Greet\nName=Anna\nDays=7",
       "info hello Anna (7 days)"},
      {"Script=scripts/scheduled.lua\r\nMode=run\r\n", "info chunk run"},
      {file + "function=Quiet",
       "info the function 'Quiet' of script 'scripts/scheduled.lua' finished"},
      {file + "Mode=fail", "error the script 'scripts/scheduled.lua' returned false"},
      {file + "Function=Refuse\nWhy=closed", "error refused: closed"},
      {file + "Function=Broken\nName=x", "error scheduled.lua:6: broken for x"},
      {file + "Function=Shell",
       "error scheduled.lua:7: attempt to call a nil value (field 'execute')"},
      {file + "Function=Missing",
       "error script '" + app + "/scripts/scheduled.lua' has no function 'Missing'"},
      {"Script=scripts/missing.lua", "error script '" + app + "/scripts/missing.lua' not found"},
      {"Script=../CMakeLists.txt",
       "error access to '../CMakeLists.txt' is outside the application folder"},
      {"Name=x", "error the configuration names no script"},
  };
  for (const auto& [config, expected] : cases) {
    std::string messages;
    const bool ok = TVelaScheduler::Instance().Run(
        "script", config,
        [&](const std::string& ACaption, TScheduleMessageType AType, const std::string& AText) {
          messages += ACaption + (AType == smtError ? " error " : " info ") + AText + "\n";
        });
    EXPECT_EQ(ok, expected.starts_with("info")) << config;
    EXPECT_EQ(messages.rfind("Script " + expected, 0), 0u) << config << "\n" << messages;
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 1) << messages;
  }
}

}  // namespace
}  // namespace vela
