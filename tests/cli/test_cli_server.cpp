// velaimport serve as a process, with tokens managed by velaimport token while it runs.
#include <poll.h>

#include "cli/CliTestSupport.h"
#include "server/ServerTestSupport.h"

namespace vela::test {
namespace {

class CliServerTest : public CliTest {
 protected:
  void TearDown() override {
    for (pid_t pid : FPids) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    CliTest::TearDown();
  }

  // Starts `velaimport serve` on a free port and returns the port from its first line of
  // output (0 when it did not come within 30 s). The server's pid is FPids.back().
  uint16_t StartServe(std::vector<std::string> extra = {}) {
    int out[2];
    if (pipe(out) != 0) return 0;
    std::vector<std::string> argv = Cat({VELA_VELAIMPORT, "--home", FHome.string()},
                                        Cat(FGlobalArgs, {"serve", "--listen", "127.0.0.1:0"}));
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::vector<char*> args;
    for (auto& a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    pid_t pid = -1;
    posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    FPids.push_back(pid);
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

  // Sends SIGTERM to the last server started and returns its exit code (-1 when it did not
  // end normally within 30 s).
  int Terminate() {
    const pid_t pid = FPids.back();
    FPids.pop_back();
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 3000 && waitpid(pid, &status, WNOHANG) == 0; ++i)
      usleep(10000);
    if (waitpid(pid, &status, WNOHANG) == 0 && kill(pid, 0) == 0) {
      FPids.push_back(pid);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<pid_t> FPids;
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

// Business integration: containers posted to a running server are stored before they are
// answered and imported in the background by their type's configuration.
class CliBusinessTest : public CliServerTest {
 protected:
  void SetUp() override {
    CliServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(Velaimport({"db", "init"}).ExitCode, 0);
    auto conn = Db().Connection();
    conn->ExecSQL("CREATE TABLE orders (" + conn->IdColumnSQL() +
                  ", orderno VARCHAR(40), customer VARCHAR(80))");
  }

  // A container type whose JSON and form containers become rows of "orders".
  void AddType(const std::string& name, bool allowUnauth, const std::string& extraConfig = {}) {
    const std::string config =
        "[VelaXML]\nPartName=orders\nItemName=order\n[Mapping]\nnumber=orderno\n"
        "customer=customer\n" +
        extraConfig;
    auto conn = Db().Connection();
    auto st = conn->PrepareNew(
        "INSERT INTO businessintegration_exchangecontainertype (descr, allowunauth, importconfig) "
        "VALUES (" +
        conn->Placeholder(1) + ", " + conn->Placeholder(2) + ", " + conn->Placeholder(3) + ")");
    st->BindText(1, name);
    st->BindBool(2, allowUnauth);
    st->BindBlob(3, config.data(), config.size());
    st->Execute();
  }

  // Waits until every stored container has been processed (false after 60 s).
  bool WaitProcessed(int expected) {
    for (int i = 0; i < 600; ++i) {
      if (Rows("SELECT COUNT(*) FROM businessintegration_exchangecontainer WHERE processeddate "
               "IS NOT NULL") == std::to_string(expected) + "\n")
        return true;
      usleep(100000);
    }
    return false;
  }

  // Imports of HeldDocument wait in their post-processing while the file custom/hold exists;
  // custom/started tells that one waits, custom/done collects one mark per finished one.
  std::string HoldImports() {
    const std::string dir = (FHome / "custom").string();
    WriteHomeFile("custom/scripts/bi.lua", R"(
function Hold(params)
  local f = assert(io.open(params.dir .. "/started", "w")); f:write("1"); f:close()
  while true do
    local h = io.open(params.dir .. "/hold", "r")
    if not h then break end
    h:close()
  end
  local d = assert(io.open(params.dir .. "/done", "a")); d:write("1"); d:close()
  return true
end)");
    WriteHomeFile("custom/hold", "");
    return dir;
  }
  // A VelaXML container with one order (found again by its globalrecuid) that holds its import.
  std::string HeldDocument(const std::string& number) {
    return "<velaxmldata><orders><order><globalrecuid velaxmldataencoding=\"text\">{" + number +
           "}</globalrecuid><orderno velaxmldataencoding=\"text\">" + number +
           "</orderno></order></orders><velaxmlpostprocess systemscriptmethode=\"Hold\" "
           "systemscriptcontext=\"bi\">dir=" +
           (FHome / "custom").string() + "</velaxmlpostprocess></velaxmldata>";
  }
  bool WaitStarted() {
    for (int i = 0; i < 300; ++i, usleep(100000))
      if (std::filesystem::exists(FHome / "custom" / "started")) return true;
    return false;
  }

  std::string Token() {
    auto added = Velaimport({"token", "add", "shop"});
    EXPECT_EQ(added.ExitCode, 0) << Describe(added);
    return added.Out.substr(0, 64);
  }
};

TEST_P(CliBusinessTest, PostedContainersAreAnsweredStoredAndImportedInTheBackground) {
  AddType("orders", false);
  AddType("webform", true);
  const std::string token = Token();
  const uint16_t port = StartServe();
  ASSERT_NE(port, 0);
  THttpClient client(port);

  auto json = client.Request("POST", "/businessintegration?container=orders&metadata=m1",
                             R"({"number":"A-1","customer":"Anna"})", token,
                             {"Content-Type: application/json", "User-Agent: shop/1.0"});
  EXPECT_EQ(json.Status, 200) << json.Body;
  EXPECT_EQ(json.Body, R"({"result":"successfully added"})");
  EXPECT_NE(json.Headers.find("Content-Type: application/json"), std::string::npos);

  auto form = client.Request("POST", "/businessintegration?container=webform",
                             "number=F-1&customer=Fr%C3%A4nzi", {},
                             {"Content-Type: application/x-www-form-urlencoded"});
  EXPECT_EQ(form.Status, 200) << form.Body;

  auto multipart = client.Request(
      "POST", "/businessintegration?container=orders",
      "--XyZ\r\nContent-Disposition: form-data; name=\"number\"\r\n\r\nM-1\r\n--XyZ\r\n"
      "Content-Disposition: form-data; name=\"customer\"\r\n\r\nMulti\r\n--XyZ--\r\n",
      token, {"Content-Type: multipart/form-data; boundary=XyZ"});
  EXPECT_EQ(multipart.Status, 200) << multipart.Body;

  // A PDF body counts as a PDF whatever its header says, and is answered with an FDF.
  auto pdf = client.Request("POST", "/businessintegration?container=orders", "%PDF-1.4 form", token,
                            {"Content-Type: text/plain"});
  EXPECT_EQ(pdf.Status, 200) << pdf.Body;
  EXPECT_EQ(pdf.Body.rfind("%FDF-", 0), 0u) << pdf.Body;
  EXPECT_NE(pdf.Headers.find("Content-Type: application/vnd.fdf"), std::string::npos);

  auto unknown = client.Request("POST", "/businessintegration?container=nope", "{}", token,
                                {"Content-Type: application/json"});
  EXPECT_EQ(unknown.Status, 406);
  EXPECT_NE(unknown.Body.find("Invalid container type."), std::string::npos) << unknown.Body;
  auto anonymous = client.Request("POST", "/businessintegration?container=orders", "{}", {},
                                  {"Content-Type: application/json"});
  EXPECT_EQ(anonymous.Status, 403);
  EXPECT_NE(anonymous.Body.find("Unauthorized access to container 'orders' not allowed!"),
            std::string::npos)
      << anonymous.Body;

  // A container as a structured record: the request's own user agent replaces the client's.
  auto record = client.Request(
      "POST", "/businessintegration/ExchangeContainer.AddRecord",
      R"({"containertypeid":1,"processedstateid":0,"contenttype":"application/json",)"
      R"("useragent":"forged","containerdata":"eyJudW1iZXIiOiJSLTEiLCJjdXN0b21lciI6IlJlc3QifQ=="})",
      token, {"Content-Type: application/json", "User-Agent: erp/2"});
  EXPECT_EQ(record.Status, 200) << record.Body;
  EXPECT_EQ(record.Body, R"({"result":true,"id":5})");
  EXPECT_EQ(client
                .Request("POST", "/businessintegration/ExchangeContainer.AddRecord", "{}", {},
                         {"Content-Type: application/json"})
                .Status,
            403);

  ASSERT_TRUE(WaitProcessed(5));
  EXPECT_EQ(Rows("SELECT orderno, customer FROM orders ORDER BY orderno"),
            "A-1|Anna\nF-1|Fränzi\nM-1|Multi\nR-1|Rest\n");
  // The PDF has no content object and the type no exchange configuration for it: failed.
  EXPECT_EQ(Rows("SELECT contenttype, processedstateid, useragent, remoteip FROM "
                 "businessintegration_exchangecontainer ORDER BY id"),
            "application/json|1|shop/1.0|127.0.0.1\n"
            "application/x-www-form-urlencoded|1||127.0.0.1\n"
            "multipart/form-data; boundary=XyZ|1||127.0.0.1\n"
            "application/pdf|2||127.0.0.1\napplication/json|1|erp/2|127.0.0.1\n");
  EXPECT_EQ(Rows("SELECT incomminguri FROM businessintegration_exchangecontainer WHERE id = 1"),
            "/businessintegration?container=orders&metadata=m1\n");
  // Every import is in the import log: two succeeded, the PDF's failed.
  EXPECT_EQ(Rows("SELECT processedstateid FROM businessintegration_importlog ORDER BY id"),
            "1\n1\n1\n2\n1\n");
  // The job's event log names the failed container.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM vela_eventlog WHERE message LIKE '% on item dbid 4: %'"),
            "1\n");
  auto events = Velaimport({"log", "--events", "--last", "50"});
  EXPECT_NE(events.Out.find("  error  BI-Container Import: "), std::string::npos) << events.Out;
  EXPECT_EQ(Terminate(), 0);
}

// Containers stored while no server ran (or before a crash) are imported when a server starts.
TEST_P(CliBusinessTest, AServerImportsWhatWasStoredBeforeItStarted) {
  AddType("orders", false);
  auto conn = Db().Connection();
  const std::string body = R"({"number":"OLD-1","customer":"Otto"})";
  auto st = conn->PrepareNew(
      "INSERT INTO businessintegration_exchangecontainer (containertypeid, processedstateid, "
      "containerdata, contenttype) VALUES (1, 0, " +
      conn->Placeholder(1) + ", 'application/json')");
  st->BindBlob(1, body.data(), body.size());
  st->Execute();
  ASSERT_NE(StartServe(), 0);
  EXPECT_TRUE(WaitProcessed(1));
  EXPECT_EQ(Rows("SELECT orderno FROM orders"), "OLD-1\n");
  // On SQLite the running server owns the database.
  if (GetParam() == TDbBackendKind::SQLite)
    ExpectRuns({{{"serve", "--listen", "127.0.0.1:0"},
                 1,
                 "error: the database 'sqlite:" + (FDir / "test.db").string() +
                     "' is served by another velaimport serve already"}});
  EXPECT_EQ(Terminate(), 0);
}

// A body without a content object is imported from a temporary file by an exchange
// configuration; the file is gone afterwards.
TEST_P(CliBusinessTest, OtherBodiesGoThroughAnExchangeConfigurationAndATemporaryFile) {
  const std::string config = "[Settings]\nImportLogEnabled=1\n";
  auto conn = Db().Connection();
  auto st = conn->PrepareNew(
      "INSERT INTO businessintegration_exchangecontainertype (descr, importconfig, contenttype) "
      "VALUES ('partner', " +
      conn->Placeholder(1) + ", 'application/xml')");
  st->BindBlob(1, config.data(), config.size());
  st->Execute();
  const auto tmp = FDir / "tmp";
  std::filesystem::create_directories(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  const uint16_t port = StartServe();
  unsetenv("TMPDIR");
  ASSERT_NE(port, 0);
  THttpClient client(port);
  // No content type of its own: the type's application/xml holds.
  EXPECT_EQ(client
                .Request("POST", "/businessintegration?container=partner",
                         "<velaxmldata><orders><order><orderno velaxmldataencoding=\"text\">X-1"
                         "</orderno></order></orders></velaxmldata>",
                         Token(), {"Content-Type:"})
                .Status,
            200);
  ASSERT_TRUE(WaitProcessed(1));
  EXPECT_EQ(Rows("SELECT orderno FROM orders"), "X-1\n");
  EXPECT_EQ(Rows("SELECT processedstateid FROM businessintegration_importlog"), "1\n");
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  EXPECT_EQ(Terminate(), 0);
}

// Posts that arrive while a run imports make exactly one more run, which takes them all.
TEST_P(CliBusinessTest, PostsDuringARunMakeExactlyOneMoreRun) {
  AddType("exchange", false);
  AddType("orders", false);
  Db().Connection()->ExecSQL("ALTER TABLE orders ADD COLUMN globalrecuid VARCHAR(40)");
  HoldImports();
  const std::string token = Token();
  const uint16_t port = StartServe({"--recheck", "0"});
  ASSERT_NE(port, 0);
  THttpClient client(port);
  ASSERT_EQ(client
                .Request("POST", "/businessintegration?container=exchange", HeldDocument("H-1"),
                         token, {"Content-Type: application/velaxml"})
                .Status,
            200);
  ASSERT_TRUE(WaitStarted());
  for (const char* number : {"P-1", "P-2"})
    ASSERT_EQ(client
                  .Post("/businessintegration?container=orders",
                        std::string(R"({"number":")") + number + R"(","customer":"x"})", token)
                  .Status,
              200);
  std::filesystem::remove(FHome / "custom" / "hold");
  ASSERT_TRUE(WaitProcessed(3));
  // The run at the server's start found nothing and logged nothing.
  EXPECT_EQ(Rows("SELECT message FROM vela_eventlog WHERE message LIKE 'Importing%' ORDER BY id"),
            "Importing 1 container(s)\nImporting 2 container(s)\n");
  EXPECT_EQ(Rows("SELECT orderno FROM orders ORDER BY orderno"), "H-1\nP-1\nP-2\n");
  EXPECT_EQ(Terminate(), 0);
}

// Several servers on one PostgreSQL database import each container exactly once.
TEST_P(CliBusinessTest, TwoServersOnOneDatabaseImportEveryContainerOnce) {
  if (GetParam() != TDbBackendKind::PostgreSQL) GTEST_SKIP() << "SQLite has one server";
  AddType("orders", false);
  const std::string token = Token();
  const uint16_t first = StartServe();
  const uint16_t second = StartServe();
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  THttpClient a(first), b(second);
  constexpr int kCount = 1000;
  for (int i = 0; i < kCount; ++i) {
    const std::string body = R"({"number":"N-)" + std::to_string(i) + R"(","customer":"C"})";
    ASSERT_EQ((i % 2 ? a : b).Post("/businessintegration?container=orders", body, token).Status,
              200);
  }
  ASSERT_TRUE(WaitProcessed(kCount));
  EXPECT_EQ(Rows("SELECT COUNT(*), COUNT(DISTINCT orderno) FROM orders"), "1000|1000\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM businessintegration_exchangecontainer WHERE "
                 "processedstateid = 1"),
            "1000\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM businessintegration_importlog"), "1000\n");
  EXPECT_EQ(Terminate(), 0);
  EXPECT_EQ(Terminate(), 0);
}

// A server killed while it imports a container leaves it to the other server.
TEST_P(CliBusinessTest, AContainerOfAKilledServerIsImportedByAnother) {
  if (GetParam() != TDbBackendKind::PostgreSQL) GTEST_SKIP() << "SQLite has one server";
  AddType("exchange", false);
  auto conn = Db().Connection();
  conn->ExecSQL("ALTER TABLE orders ADD COLUMN globalrecuid VARCHAR(40)");
  HoldImports();
  const std::string token = Token();
  const uint16_t port = StartServe();
  ASSERT_NE(port, 0);
  THttpClient client(port);
  ASSERT_EQ(client
                .Request("POST", "/businessintegration?container=exchange", HeldDocument("K-1"),
                         token, {"Content-Type: application/velaxml; charset=utf-8"})
                .Status,
            200);
  ASSERT_TRUE(WaitStarted()) << "the import did not reach its post-processing";
  // A second server leaves the container alone while the first one imports it.
  const pid_t importing = FPids.back();
  ASSERT_NE(StartServe({"--recheck", "1"}), 0);
  usleep(2500000);
  EXPECT_EQ(Rows("SELECT processedstateid FROM businessintegration_exchangecontainer"), "0\n");
  EXPECT_FALSE(std::filesystem::exists(FHome / "custom" / "done"));
  // Until the first one dies: then the second one takes it up.
  kill(importing, SIGKILL);
  waitpid(importing, nullptr, 0);
  std::erase(FPids, importing);
  std::filesystem::remove(FHome / "custom" / "hold");
  ASSERT_TRUE(WaitProcessed(1));
  EXPECT_EQ(Rows("SELECT processedstateid FROM businessintegration_exchangecontainer"), "1\n");
  // Imported again by key: still one order.
  EXPECT_EQ(Rows("SELECT orderno FROM orders"), "K-1\n");
  EXPECT_TRUE(std::filesystem::exists(FHome / "custom" / "done"));
  EXPECT_EQ(Terminate(), 0);
}

VELA_INSTANTIATE_CLI_TEST(CliBusinessTest);

}  // namespace
}  // namespace vela::test
