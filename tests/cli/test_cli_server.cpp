// velaimport serve as a process, with tokens managed by velaimport token while it runs.
#include <poll.h>

#include "cli/CliTestSupport.h"
#include "server/ServerTestSupport.h"

namespace vela::test {
namespace {

class CliServerTest : public CliTest {
 protected:
  void TearDown() override {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
    CliTest::TearDown();
  }

  // Starts `velaimport serve` on a free port and returns the port from its first line of
  // output (0 when it did not come within 30 s).
  uint16_t StartServe() {
    int out[2];
    if (pipe(out) != 0) return 0;
    std::vector<std::string> argv = Cat({VELA_VELAIMPORT, "--home", FHome.string()},
                                        Cat(FGlobalArgs, {"serve", "--listen", "127.0.0.1:0"}));
    std::vector<char*> args;
    for (auto& a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn(&FPid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 30000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
      line.push_back(c);
    close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
      ADD_FAILURE() << "serve said '" << line << "'";
      return 0;
    }
    return static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));
  }

  // Sends SIGTERM and returns the exit code (-1 when it did not end normally within 30 s).
  int Terminate() {
    kill(FPid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 3000 && waitpid(FPid, &status, WNOHANG) == 0; ++i)
      usleep(10000);
    const pid_t pid = std::exchange(FPid, -1);
    if (waitpid(pid, &status, WNOHANG) == 0 && kill(pid, 0) == 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t FPid = -1;
};

TEST_P(CliServerTest, ServesTokensAddedAndRemovedWhileRunningAndStopsOnSigterm) {
  const uint16_t port = StartServe();
  ASSERT_NE(port, 0);
  THttpClient client(port);
  const std::string schema = "/database/Schema.Table";
  const std::string body = R"({"table":"businessintegration_importlog"})";
  EXPECT_EQ(client.Post(schema, body).Status, 401);

  auto added = Velaimport({"token", "add", "partner"});
  ASSERT_EQ(added.ExitCode, 0) << Describe(added);
  ASSERT_EQ(added.Out.size(), 65u) << "the token alone on one line: " << added.Out;
  const std::string token = added.Out.substr(0, 64);
  EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
  auto answer = client.Post(schema, body, token);
  EXPECT_EQ(answer.Status, 200) << answer.Body;
  EXPECT_NE(answer.Body.find(R"("name":"globalrecuid")"), std::string::npos) << answer.Body;

  auto list = Velaimport({"--json", "token", "list"});
  ASSERT_EQ(list.ExitCode, 0) << Describe(list);
  EXPECT_EQ(JsonOut(list)["tokens"][0]["name"], "partner");
  EXPECT_EQ(list.Out.find(token), std::string::npos) << "token list shows the token";

  ExpectRuns({{{"token", "remove", "partner"}, 0, ""},
              {{"token", "remove", "partner"}, 1, "error: no access token named 'partner'"},
              {{"token", "add", "x", "--rights", "1,a"}, 2, "error: --rights: "}});
  EXPECT_EQ(client.Post(schema, body, token).Status, 401);
  EXPECT_EQ(Terminate(), 0);
}

VELA_INSTANTIATE_CLI_TEST(CliServerTest);

}  // namespace
}  // namespace vela::test
