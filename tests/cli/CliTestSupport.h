// End-to-end tests of velaimport as a user runs it: the real binary, started as a process with
// its own home folder ($APP$), importing into SQLite or into a fresh schema on the throwaway
// PostgreSQL server (see db/DbTestSupport.h). Each test runs once per backend.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "db/DbTestSupport.h"

extern char** environ;

namespace vela::test {

struct TCliRun {
  int ExitCode = -1;  // -1: killed or not started
  std::string Out;
  std::string Err;
};

// The two ends of what the child gets as stderr: a pipe by default, or e.g. a pseudo-terminal
// (both ends close-on-exec; RunProgram closes them).
struct TChildStderr {
  int ParentFd = -1;
  int ChildFd = -1;
};

// Runs a program with the arguments as given (no shell), collecting stdout and stderr. A run
// that takes longer than the timeout is killed and reported with exit code -1.
inline TCliRun RunProgram(const std::vector<std::string>& argv, int timeoutSeconds = 120,
                          TChildStderr stderrEnds = {}) {
  TCliRun r;
  int outPipe[2];
  int errPipe[2] = {stderrEnds.ParentFd, stderrEnds.ChildFd};
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    if (errPipe[0] >= 0) close(errPipe[0]);
    if (errPipe[1] >= 0) close(errPipe[1]);
    return r;
  }
  if (errPipe[1] < 0 && pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return r;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    r.Err = "cannot start " + argv[0];
    return r;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.Out, &r.Err};
  int open = 2;
  bool killed = false;
  char buf[8192];
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    int n = poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        // End of file; a terminal whose other side is closed reports EIO instead.
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!killed && WIFEXITED(status)) r.ExitCode = WEXITSTATUS(status);
  return r;
}

// A test on one backend with its own home folder below the test's temporary folder. Velaimport()
// runs the binary with --home, --db (the test's database) and --no-progress before the
// arguments; the database itself is reachable through Db() (DbTest) for setting up tables and
// reading the result.
class CliTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    FHome = FDir / "home";
    std::filesystem::create_directories(FHome / "custom");
  }

  TCliRun Velaimport(std::initializer_list<std::string> args) {
    return Velaimport(std::vector<std::string>(args));
  }
  TCliRun Velaimport(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {VELA_VELAIMPORT, "--home", FHome.string(),
                                     "--db",          FUrl,     "--no-progress"};
    argv.insert(argv.end(), args.begin(), args.end());
    // The database object of the test holds connections (and SQLite locks) only while used.
    return RunProgram(argv);
  }

  // Writes a file below the home folder (creating folders) and returns its full path.
  std::string WriteHomeFile(const std::string& relative, const std::string& content) {
    auto path = FHome / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Copies a file into home/custom (e.g. a data schema) and returns its new path.
  std::string CopyToCustom(const std::string& source) {
    auto target = FHome / "custom" / std::filesystem::path(source).filename();
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    return target.string();
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

  std::filesystem::path FHome;
};

// A readable message for a failed run: the command's exit code and both outputs.
inline std::string Describe(const TCliRun& r) {
  return "exit code " + std::to_string(r.ExitCode) + "\nstdout:\n" + r.Out + "\nstderr:\n" + r.Err;
}

#define VELA_INSTANTIATE_CLI_TEST(Suite) VELA_INSTANTIATE_DB_TEST(Suite)

}  // namespace vela::test
