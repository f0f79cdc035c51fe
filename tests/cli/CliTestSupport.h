// End-to-end tests of velaimport as a user runs it: the real binary, started as a process with
// its own home folder ($APP$). CliHomeTest runs it on the home folder alone; CliTest also gives
// it a database of its own, SQLite or a fresh schema on the throwaway PostgreSQL server (see
// db/DbTestSupport.h), and runs each test once per backend.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "db/DbTestSupport.h"

extern char** environ;

namespace vela::test {

using TJson = nlohmann::ordered_json;

struct TCliRun {
  int ExitCode = -1;  // -1: killed or not started
  std::string Out;
  std::string Err;
};

// Where the child's stderr goes: a pipe, or a new pseudo-terminal (raw, so the bytes arrive as
// written).
enum class TStderr { Pipe, Terminal };

// Runs a program with the arguments as given (no shell). Its stdout and stderr go to memory files
// (or stderr to a pseudo-terminal) that are read when it has ended; a run that takes longer than
// the timeout is killed and reported with exit code -1.
inline TCliRun RunProgram(const std::vector<std::string>& argv, TStderr stderrTo = TStderr::Pipe,
                          int timeoutSeconds = 120) {
  TCliRun r;
  int out = memfd_create("stdout", MFD_CLOEXEC), err = -1, tty = -1;
  if (stderrTo == TStderr::Pipe) {
    err = memfd_create("stderr", MFD_CLOEXEC);
  } else if (openpty(&err, &tty, nullptr, nullptr, nullptr) == 0) {
    termios tio{};
    tcgetattr(tty, &tio);
    cfmakeraw(&tio);  // the bytes arrive as written
    tcsetattr(tty, TCSANOW, &tio);
    fcntl(err, F_SETFD, FD_CLOEXEC);
    fcntl(tty, F_SETFD, FD_CLOEXEC);
  }
  std::vector<char*> args;
  for (const auto& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out, 1);
  posix_spawn_file_actions_adddup2(&fa, tty >= 0 ? tty : err, 2);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const bool started =
      out >= 0 && err >= 0 && posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&fa);
  if (tty >= 0) close(tty);
  int status = 0;
  if (started) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pid_t done;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
      usleep(10000);
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    } else if (done == pid && WIFEXITED(status)) {
      r.ExitCode = WEXITSTATUS(status);
    }
  } else {
    r.Err = "cannot start " + argv[0];
  }
  // A memory file is read from its start; a terminal whose other side is closed ends with EIO.
  for (auto [fd, sink] : {std::pair{out, &r.Out}, std::pair{err, &r.Err}}) {
    if (fd < 0) continue;
    lseek(fd, 0, SEEK_SET);
    char buf[8192];
    for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0 || (got < 0 && errno == EINTR);)
      if (got > 0) sink->append(buf, static_cast<size_t>(got));
    close(fd);
  }
  return r;
}

// A readable message for a failed run: the command's exit code and both outputs.
inline std::string Describe(const TCliRun& r) {
  return "exit code " + std::to_string(r.ExitCode) + "\nstdout:\n" + r.Out + "\nstderr:\n" + r.Err;
}

// The run's stdout as JSON: one value on one line. A parse failure fails the test (and gives
// null).
inline TJson JsonOut(const TCliRun& r) {
  if (r.Out.empty() || r.Out.back() != '\n' || r.Out.find('\n') != r.Out.size() - 1) {
    ADD_FAILURE() << "stdout is not one line\n" << Describe(r);
    return {};
  }
  TJson json = TJson::parse(r.Out, nullptr, false);
  if (json.is_discarded()) ADD_FAILURE() << "stdout is no JSON\n" << Describe(r);
  return json.is_discarded() ? TJson() : json;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The arguments of a, then those of b.
inline std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A run's arguments, its exit code and the start of its stderr.
struct TRunCase {
  std::vector<std::string> Args;
  int ExitCode;
  std::string Err;
};

// A home folder ($APP$) for velaimport and the binary run on it: Velaimport() passes --home and
// the global arguments of the fixture (--no-progress unless the test says otherwise) before the
// arguments.
class TCliHome {
 protected:
  TCliRun Velaimport(std::initializer_list<std::string> args) {
    return Velaimport(std::vector<std::string>(args));
  }
  TCliRun Velaimport(const std::vector<std::string>& args, TStderr stderrTo = TStderr::Pipe) {
    std::vector<std::string> argv = {VELA_VELAIMPORT, "--home", FHome.string()};
    argv.insert(argv.end(), FGlobalArgs.begin(), FGlobalArgs.end());
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, stderrTo);
  }

  // Runs each case with the leading arguments before its own; with emptyOut stdout stays empty.
  void ExpectRuns(const std::vector<TRunCase>& cases, const std::vector<std::string>& lead = {},
                  bool emptyOut = false) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(c.Args));
      auto r = Velaimport(Cat(lead, c.Args));
      EXPECT_EQ(r.ExitCode, c.ExitCode) << Describe(r);
      EXPECT_EQ(r.Err.rfind(c.Err, 0), 0u) << r.Err;
      if (emptyOut) {
        EXPECT_EQ(r.Out, "");
      }
    }
  }

  // Writes a file below the home folder (creating folders) and returns its full path.
  std::string WriteHomeFile(const std::string& relative, const std::string& content) {
    auto path = FHome / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Copies a file into a folder of the home folder (e.g. a data schema into custom) and returns
  // its new path.
  std::string CopyToCustom(const std::string& source, const std::string& folder = "custom") {
    if (!std::filesystem::exists(source)) {
      ADD_FAILURE() << "missing test file " << source;
      return {};
    }
    auto target = FHome / folder / std::filesystem::path(source).filename();
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    return target.string();
  }

  std::filesystem::path FHome;
  std::vector<std::string> FGlobalArgs = {"--no-progress"};
};

// velaimport on a home folder of its own, with the default database below it.
class CliHomeTest : public ::testing::Test, protected TCliHome {
 protected:
  void SetUp() override {
    FHome = std::filesystem::temp_directory_path() /
            ("vela_cli_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(FHome);
    std::filesystem::create_directories(FHome / "custom");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(FHome, ec);
  }
};

// A test on one backend: the home folder lies below the test's temporary folder, --db names the
// test's database, which is reachable through Db() (DbTest) for setting up tables and reading
// the result.
class CliTest : public DbTest, protected TCliHome {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    FHome = FDir / "home";
    std::filesystem::create_directories(FHome / "custom");
    FGlobalArgs = {"--db", FUrl, "--no-progress"};
  }

  // Runs a query and returns its rows, each row's columns joined by "|", rows by "\n".
  std::string Rows(const std::string& sql) {
    auto conn = Db().Connection();
    auto st = conn->PrepareNew(sql);
    st->Execute();
    std::string out;
    while (st->Next()) {
      for (int i = 0; i < st->ColumnCount(); ++i) {
        if (i) out += '|';
        out += st->ColumnText(i);
      }
      out += '\n';
    }
    return out;
  }
};

#define VELA_INSTANTIATE_CLI_TEST(Suite) VELA_INSTANTIATE_DB_TEST(Suite)

}  // namespace vela::test
