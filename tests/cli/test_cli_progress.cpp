// The progress line of `velaimport import`: drawn on stderr only when stderr is a terminal, and
// never with --no-progress or --json. The real binary runs with stderr on a pseudo-terminal.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

constexpr int kRecords = 250;  // the line is redrawn every 100 records

// Each case imports the same file into a fresh database below the home folder.
class CliProgress : public CliHomeTest {
 protected:
  void SetUp() override {
    CliHomeTest::SetUp();
    CopyToCustom(std::string(VELA_TEST_DATA_DIR) + "/cli/people.tic");
    std::string source = "name;city;age\n";
    for (int i = 1; i <= kRecords; ++i)
      source += "Person" + std::to_string(i) + ";Town" + std::to_string(i) + ";" +
                std::to_string(i) + "\n";
    WriteHomeFile("people.ppl", source);
  }

  TCliRun Import(const std::string& caseName, const std::vector<std::string>& options,
                 TStderr stderrTo) {
    const std::string url = "sqlite:" + (FHome / (caseName + ".db")).string();
    OpenDbConnection(url)->ExecSQL(
        "CREATE TABLE person (id INTEGER PRIMARY KEY, name VARCHAR(40), city VARCHAR(40), "
        "age INTEGER)");
    FGlobalArgs = {"--db", url};
    FGlobalArgs.insert(FGlobalArgs.end(), options.begin(), options.end());
    return Velaimport({"import", "--table", "person", (FHome / "people.ppl").string()}, stderrTo);
  }
};

TEST_F(CliProgress, ARecordCounterRunsOnATerminalAndIsClearedAtTheEnd) {
  const TCliRun r = Import("tty", {}, TStderr::Terminal);
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.Out, "inserted " + std::to_string(kRecords) + ",")) << Describe(r);
  // Redrawn in place every 100 records.
  const size_t first = r.Err.find("\rrecords written: 100");
  const size_t second = r.Err.find("\rrecords written: 200");
  ASSERT_NE(first, std::string::npos) << Describe(r);
  ASSERT_NE(second, std::string::npos) << Describe(r);
  EXPECT_LT(first, second);
  EXPECT_FALSE(Contains(r.Err, "records written: 300")) << Describe(r);
  // After the last count the line is erased, so the terminal is left clean.
  EXPECT_TRUE(Contains(r.Err.substr(second), "\r\033[K")) << Describe(r);
  // The counter never reaches stdout.
  EXPECT_FALSE(Contains(r.Out, "records written")) << Describe(r);
}

TEST_F(CliProgress, NoCounterWithNoProgressJsonOrWithoutATerminal) {
  const struct {
    const char* Name;
    std::vector<std::string> Options;
    TStderr StderrTo;
  } cases[] = {
      {"no_progress", {"--no-progress"}, TStderr::Terminal},
      {"json", {"--json"}, TStderr::Terminal},
      {"pipe", {}, TStderr::Pipe},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TCliRun r = Import(c.Name, c.Options, c.StderrTo);
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    // The import ran through all records, so the counter would have been drawn.
    EXPECT_TRUE(Contains(r.Out, std::to_string(kRecords))) << Describe(r);
    EXPECT_FALSE(Contains(r.Err, "records written")) << Describe(r);
    EXPECT_FALSE(Contains(r.Err, "\r")) << Describe(r);
  }
}

}  // namespace
}  // namespace vela::test
