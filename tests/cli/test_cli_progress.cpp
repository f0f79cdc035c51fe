// The progress line of `velaimport import`: drawn on stderr only when stderr is a terminal, and
// never with --no-progress or --json. The real binary runs with stderr on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliTestSupport.h"
#include "host/db/DbConnection.h"

#ifdef VELA_VELAIMPORT

namespace vela {
namespace {

using test::Describe;
using test::TCliRun;

namespace fs = std::filesystem;

constexpr int kRecords = 250;  // the line is redrawn every 100 records

// Runs velaimport with stderr on a new pseudo-terminal (or on a pipe when onTerminal is false).
TCliRun RunVelaimport(const std::vector<std::string>& args, bool onTerminal) {
  std::vector<std::string> argv = {VELA_VELAIMPORT};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!onTerminal) return test::RunProgram(argv);
  test::TChildStderr tty;
  if (openpty(&tty.ParentFd, &tty.ChildFd, nullptr, nullptr, nullptr) != 0) return {};
  // Raw output: the bytes arrive as written, without LF becoming CR LF.
  termios tio{};
  if (tcgetattr(tty.ChildFd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(tty.ChildFd, TCSANOW, &tio);
  }
  fcntl(tty.ParentFd, F_SETFD, FD_CLOEXEC);
  fcntl(tty.ChildFd, F_SETFD, FD_CLOEXEC);
  return test::RunProgram(argv, 120, tty);
}

// Each case imports the same file into a fresh database below its own home folder.
class CliProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() /
           ("vela_cli_progress_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir / "custom");
    fs::copy_file(fs::path(VELA_TEST_DATA_DIR) / "cli" / "people.tic",
                  FDir / "custom" / "people.tic");
    std::ofstream source(FDir / "people.ppl", std::ios::binary);
    source << "name;city;age\n";
    for (int i = 1; i <= kRecords; ++i)
      source << "Person" << i << ";Town" << i << ";" << i << "\n";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(FDir, ec);
  }

  // Imports people.ppl into a new database; returns the run.
  TCliRun Import(const std::string& caseName, const std::vector<std::string>& options,
                 bool onTerminal) {
    const std::string url = "sqlite:" + (FDir / (caseName + ".db")).string();
    OpenDbConnection(url)->ExecSQL(
        "CREATE TABLE person (id INTEGER PRIMARY KEY, name VARCHAR(40), city VARCHAR(40), "
        "age INTEGER)");
    std::vector<std::string> args = {"--home", FDir.string(), "--db", url};
    args.insert(args.end(), options.begin(), options.end());
    for (const char* a : {"import", "--table", "person"})
      args.emplace_back(a);
    args.push_back((FDir / "people.ppl").string());
    return RunVelaimport(args, onTerminal);
  }

  fs::path FDir;
};

TEST_F(CliProgress, ARecordCounterRunsOnATerminalAndIsClearedAtTheEnd) {
  const TCliRun r = Import("tty", {}, true);
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_NE(r.Out.find("inserted " + std::to_string(kRecords) + ","), std::string::npos)
      << Describe(r);
  // Redrawn in place every 100 records.
  const size_t first = r.Err.find("\rrecords written: 100");
  const size_t second = r.Err.find("\rrecords written: 200");
  ASSERT_NE(first, std::string::npos) << Describe(r);
  ASSERT_NE(second, std::string::npos) << Describe(r);
  EXPECT_LT(first, second);
  EXPECT_EQ(r.Err.find("records written: 300"), std::string::npos) << Describe(r);
  // After the last count the line is erased, so the terminal is left clean.
  EXPECT_NE(r.Err.find("\r\033[K", second), std::string::npos) << Describe(r);
  // The counter never reaches stdout.
  EXPECT_EQ(r.Out.find("records written"), std::string::npos) << Describe(r);
}

TEST_F(CliProgress, NoCounterWithNoProgressJsonOrWithoutATerminal) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    bool onTerminal;
  };
  const Case cases[] = {
      {"no_progress", {"--no-progress"}, true},
      {"json", {"--json"}, true},
      {"pipe", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TCliRun r = Import(c.name, c.options, c.onTerminal);
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    // The import ran through all records, so the counter would have been drawn.
    EXPECT_NE(r.Out.find(std::to_string(kRecords)), std::string::npos) << Describe(r);
    EXPECT_EQ(r.Err.find("records written"), std::string::npos) << Describe(r);
    EXPECT_EQ(r.Err.find("\r"), std::string::npos) << Describe(r);
  }
}

}  // namespace
}  // namespace vela

#endif  // VELA_VELAIMPORT
