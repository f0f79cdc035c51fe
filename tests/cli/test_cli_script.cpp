// velaimport script: a Lua script drives the module through DataimportModule against the run's
// database; script errors name the script and the line; --sandbox applies the server's limits;
// `schedule Script` runs a script function as the host's scheduler does.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

constexpr const char* kTextGuid = "{4AD627B0-DFD6-4DE3-A51E-AF51926B89FA}";

class CliScriptTest : public CliTest {};

TEST_P(CliScriptTest, ScriptImportsTextAndReadsResultAndMessages) {
  CreateTable({"items", {F("code", ftInteger), F("name", ftString, 30), F("qty", ftInteger)}});
  const std::string script = std::string(VELA_TEST_DATA_DIR) + "/scripts/import_items.lua";
  ASSERT_TRUE(std::filesystem::exists(script)) << "missing test file " << script;
  const std::string txt = WriteHomeFile("items.txt", "CODE;NAME;QTY\n1;Anna;4\n2;Ben;7\n");
  auto r = Velaimport({"script", script, txt, kTextGuid});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n')), "result=true inserted=2 updated=0 mode=1");
  // The run's messages reached the script's callback (0: information).
  EXPECT_TRUE(Contains(r.Out, "\n0 Import started")) << r.Out;
  EXPECT_EQ(Rows("SELECT name, qty FROM items ORDER BY id"), "Anna|4\nBen|7\n");

  // The second run finds both records by their code and updates them.
  WriteHomeFile("items.txt", "CODE;NAME;QTY\n1;Anna;5\n2;Ben;8\n");
  r = Velaimport({"script", script, txt, kTextGuid});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n')), "result=true inserted=0 updated=2 mode=1");
  EXPECT_EQ(Rows("SELECT name, qty FROM items ORDER BY id"), "Anna|5\nBen|8\n");
}

VELA_INSTANTIATE_CLI_TEST(CliScriptTest);

TEST_F(CliHomeTest, ScriptErrorsExitCodesAndSandbox) {
  const std::string failing = WriteHomeFile("fail.lua", "local x = 1\nerror('broken here')\n");
  const std::string exitCode = WriteHomeFile("code.lua", "return tonumber(arg[1])\n");
  const std::string badCall =
      WriteHomeFile("badcall.lua", "DataimportModule:Do_RunXMLImport(42, '')\n");
  const std::string shell = WriteHomeFile("shell.lua", "os.execute('true')\n");
  const std::string outside = WriteHomeFile("outside.lua", "assert(io.open('../x.txt', 'w'))\n");
  const std::string inside =
      WriteHomeFile("inside.lua",
                    "local f = assert(io.open('custom/out.txt', 'w'))\nf:write('kept')\n"
                    "f:close()\nreturn DataimportModule ~= nil\n");
  ExpectRuns({
      {{"script", failing}, 1, "error: fail.lua:2: broken here"},
      {{"script", exitCode, "4"}, 4, ""},
      {{"script", badCall},
       1,
       "error: badcall.lua:1: DIExtFuncDataImport.Do_RunXMLImport: argument 1 (DInFile): string "
       "expected, got "
       "integer"},
      {{"script", (FHome / "missing.lua").string()}, 2, "error: script '"},
      {{"script", "--sandbox", shell}, 1, "error: shell.lua:1: attempt to call a nil value"},
      {{"script", "--sandbox", outside}, 1, "error: outside.lua:1: access to '../x.txt'"},
      {{"script", "--sandbox", inside}, 0, ""},
  });
  std::ifstream in(FHome / "custom" / "out.txt");
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "kept");
}

TEST_F(CliHomeTest, ScheduledScriptReachesTheModule) {
  WriteHomeFile("custom/scripts/nightly.lua",
                "function Run(p)\n"
                "  return true, p.Table .. ' ' .. "
                "tostring(DataimportModule:Get_BusinessIntgrationAvailable())\n"
                "end\n");
  auto r = Velaimport(
      {"schedule", "Script",
       WriteHomeFile("ok.cfg",
                     "Script=$CUSTOM$/scripts/nightly.lua\nFunction=Run\nTable=items\n")});
  EXPECT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Out, "Script\tinfo\titems true\n");
}

}  // namespace
}  // namespace vela::test
