// The application server over real HTTP on 127.0.0.1: keep-alive, routing, authentication, the
// body limit, error answers, graceful shutdown and the background job thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "ServerTestSupport.h"
#include "host/server/ApplicationServer.h"
#include "host/server/HttpServer.h"

namespace vela::test {
namespace {

using namespace std::chrono_literals;

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& router = FApp.Router();
    router.RegisterAPIRoot(
        "echo",
        [](TVelaRestRequestContext& ctx) {
          ctx.Returns(ctx.Method() + "|" + ctx.Path() + "|" + ctx.GetInputUTF8OrVoid("X") + "|" +
                          ctx.GetHeader("user-agent") + "|" + ctx.GetRemoteIP() + "|" +
                          ctx.InContent(),
                      200, "Content-Type: text/x-echo\r\nX-Answer: yes");
        },
        true);
    router.RegisterAPIRoot(
        "private", [](TVelaRestRequestContext& ctx) { ctx.Returns(ctx.Session().TokenName); });
    router.RegisterService(
        "api", "Slow", "Run",
        [this](TVelaRestRequestContext& ctx) {
          FSlowStarted = true;
          std::this_thread::sleep_for(400ms);
          FSlowFinished = true;
          ctx.Returns("done");
        },
        true);
    router.RegisterService(
        "api", "Fail", "Refused",
        [](TVelaRestRequestContext& ctx) {
          ctx.GetInputString("needed");
          throw ERestError(403, "not for you");
        },
        true);
    router.RegisterService(
        "api", "Fail", "Crash", [](TVelaRestRequestContext&) { throw std::runtime_error("boom"); },
        true);
    FApp.SetAuthenticator([](std::string_view token) -> std::optional<TRestSession> {
      if (token != "good") return std::nullopt;
      TRestSession s;
      s.Kind = TRestSessionKind::rskToken;
      s.TokenName = "alice";
      return s;
    });
    TVelaHttpServerOptions o;
    o.Port = 0;
    o.BodyLimit = 1024;
    o.ShutdownTimeoutMs = 5000;
    FServer = std::make_unique<TVelaHttpServer>(FApp, o);
    FServer->Start();
    ASSERT_NE(FServer->Port(), 0);
  }

  TVelaApplicationServer FApp;
  std::unique_ptr<TVelaHttpServer> FServer;
  std::atomic<bool> FSlowStarted{false}, FSlowFinished{false};
};

TEST_F(HttpServerTest, KeepAliveServesConsecutiveRequestsOnOneConnection) {
  THttpClient client(FServer->Port());
  auto first = client.Request("GET", "/echo?x=a%20b+c&y=2", {}, {}, {"User-Agent: tester/1"});
  ASSERT_EQ(first.Status, 200) << first.Error;
  EXPECT_EQ(first.Body, "GET|/echo|a b c|tester/1|127.0.0.1|");
  EXPECT_NE(first.Headers.find("X-Answer: yes"), std::string::npos) << first.Headers;
  EXPECT_NE(first.Headers.find("Content-Type: text/x-echo"), std::string::npos);
  EXPECT_EQ(first.NewConnections, 1);
  auto second = client.Request("POST", "/ECHO/", "payload");
  ASSERT_EQ(second.Status, 200) << second.Error;
  EXPECT_EQ(second.Body, "POST|/ECHO/|||127.0.0.1|payload");
  EXPECT_EQ(second.NewConnections, 0) << "the second request opened a new connection";
}

TEST_F(HttpServerTest, RoutesAuthenticatesAndAnswersErrors) {
  struct TCase {
    std::string Method, Path, Token;
    long Status;
    std::string Body;
  } cases[] = {
      {"GET", "/nothing", "", 404, R"({"errorCode":404,"errorText":"Unknown API 'nothing'"})"},
      {"GET", "/private", "", 401,
       R"({"errorCode":401,"errorText":"Authentication required: send 'Authorization: Bearer TOKEN'"})"},
      {"GET", "/private", "bad", 401, R"({"errorCode":401,"errorText":"Invalid access token"})"},
      {"GET", "/private", "good", 200, "alice"},
      // A token is checked on routes open to everyone too.
      {"GET", "/echo", "bad", 401, R"({"errorCode":401,"errorText":"Invalid access token"})"},
      {"POST", "/api", "", 404,
       R"({"errorCode":404,"errorText":"The API 'api' takes only service calls"})"},
      {"POST", "/api/Slow.Missing", "", 404,
       R"({"errorCode":404,"errorText":"Unknown service method 'Slow.Missing' of the API 'api'"})"},
      {"POST", "/api/fail.refused", "", 400,
       R"({"errorCode":400,"errorText":"Missing URI parameter 'needed'"})"},
      {"POST", "/api/Fail.Refused?needed=1", "", 403,
       R"({"errorCode":403,"errorText":"not for you"})"},
      {"POST", "/api/Fail.Crash", "", 500, R"({"errorCode":500,"errorText":"boom"})"},
  };
  THttpClient client(FServer->Port());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Method + " " + c.Path + " token '" + c.Token + "'");
    auto a = client.Request(c.Method, c.Path, {}, c.Token);
    EXPECT_EQ(a.Status, c.Status) << a.Error;
    EXPECT_EQ(a.Body, c.Body);
  }
}

TEST_F(HttpServerTest, BodyLimitAnswers413WithoutWaitingForTheBody) {
  // Only the header is sent: an answer that arrives proves the body was not awaited.
  const auto start = std::chrono::steady_clock::now();
  const std::string big = RawExchange(
      FServer->Port(), "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n");
  EXPECT_EQ(big.rfind("HTTP/1.1 413", 0), 0u) << big;
  EXPECT_NE(big.find("exceeds the limit of 1024 bytes"), std::string::npos) << big;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  // A chunked body has no length in advance: it is refused when it grows past the limit.
  const std::string chunk(1000, 'a');
  const std::string chunked =
      RawExchange(FServer->Port(),
                  "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3e8\r\n" +
                      chunk + "\r\n3e8\r\n" + chunk + "\r\n0\r\n\r\n");
  EXPECT_EQ(chunked.rfind("HTTP/1.1 413", 0), 0u) << chunked;
  // At the limit the body is read.
  THttpClient client(FServer->Port());
  auto fits = client.Request("POST", "/echo", std::string(1024, 'b'));
  EXPECT_EQ(fits.Status, 200) << fits.Error;
  EXPECT_EQ(fits.Body, "POST|/echo|||127.0.0.1|" + std::string(1024, 'b'));
}

class TLoopJob : public TCustomServerBackgroundJob {
 public:
  using TCustomServerBackgroundJob::TCustomServerBackgroundJob;
  std::atomic<int> Runs{0};
  std::atomic<bool> Loop{false};
  std::atomic<bool> Fail{false};
  std::atomic<int> Again{0};  // runs still asked for at the end of a run

 protected:
  bool Finished() override {
    if (Again == 0) return true;
    --Again;
    MakeFresh();
    SetStartDelay(20);
    return false;
  }
  void InternalExcute() override {
    ++Runs;
    if (Fail) throw std::runtime_error("job failed");
    for (int i = 0; Loop && !Stopped(); ++i) {
      SetProgress(i);
      std::this_thread::sleep_for(5ms);
    }
    SetProgress(150);
  }
};

TEST_F(HttpServerTest, GracefulStopFinishesRunningRequestThenAsksChecksAndStopsJobs) {
  auto job = std::make_shared<TLoopJob>("loop");
  job->Loop = true;
  ASSERT_TRUE(FApp.Jobs().Request(job));
  std::atomic<bool> checkedAfterRequest{false};
  std::atomic<int> refusals{2};
  FApp.AddShutDownCheck([&] {
    checkedAfterRequest = FSlowFinished.load();
    return --refusals < 0;  // "not yet" twice
  });
  auto slow = std::async(std::launch::async, [this] {
    THttpClient client(FServer->Port());
    return client.Request("POST", "/api/Slow.Run");
  });
  while (!FSlowStarted)
    std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(FServer->Stop());
  const THttpAnswer answer = slow.get();
  EXPECT_EQ(answer.Status, 200) << answer.Error;
  EXPECT_EQ(answer.Body, "done");
  EXPECT_NE(answer.Headers.find("Connection: close"), std::string::npos) << answer.Headers;
  EXPECT_TRUE(checkedAfterRequest);
  EXPECT_LT(refusals, 0);
  EXPECT_TRUE(job->Stopped());
  EXPECT_TRUE(job->IsFinished());
  EXPECT_FALSE(FApp.Jobs().Request(job)) << "a stopped job thread took a job";
  THttpClient late(FServer->Port());
  EXPECT_EQ(late.Request("GET", "/echo").Status, 0) << "the stopped server still answers";
}

TEST(ServerJobThreadTest, RunsJobsInOrderWithDelayAndKeepsErrors) {
  TVelaServerJobThread jobs;
  auto failing = std::make_shared<TLoopJob>("failing");
  failing->Fail = true;
  auto delayed = std::make_shared<TLoopJob>("delayed");
  delayed->SetStartDelay(150);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(jobs.Request(failing));
  ASSERT_TRUE(jobs.Request(delayed));
  ASSERT_TRUE(jobs.Request(delayed));  // already waiting: not queued twice
  ASSERT_TRUE(jobs.WaitIdle(5000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  EXPECT_TRUE(failing->IsFinished());
  EXPECT_NE(failing->ErrorText().find("job failed"), std::string::npos);
  EXPECT_EQ(delayed->Runs, 1);
  EXPECT_EQ(delayed->Progress(), 100);
  EXPECT_EQ(delayed->ErrorText(), "");
  // A finished job runs again once made fresh.
  delayed->MakeFresh();
  EXPECT_FALSE(delayed->IsFinished());
  EXPECT_EQ(delayed->Progress(), 0);
  delayed->SetStartDelay(0);
  ASSERT_TRUE(jobs.Request(delayed));
  ASSERT_TRUE(jobs.WaitIdle(5000));
  EXPECT_EQ(delayed->Runs, 2);
}

TEST(ServerJobThreadTest, RegisteredJobsStartByIdentifierAndRunAgainWhenTheyAskForIt) {
  TVelaServerJobThread jobs;
  auto job = std::make_shared<TLoopJob>("again");
  job->Again = 2;
  std::atomic<bool> skip{false};
  jobs.RegisterJobClient({"{0E1D3A52-6B8F-4C7A-9D21-5F3B8E0C4A17}", "again", bjgBackgroundImport,
                          [&](bool& Skip) { Skip = skip.load(); }, [&] { return job; }});
  EXPECT_FALSE(jobs.StartBackgroundJob("{00000000-0000-0000-0000-000000000000}"));
  ASSERT_TRUE(jobs.StartBackgroundJob("{0e1d3a52-6b8f-4c7a-9d21-5f3b8e0c4a17}"));
  ASSERT_TRUE(jobs.WaitIdle(5000));
  EXPECT_EQ(job->Runs, 3) << "a run and the two it asked for";
  EXPECT_TRUE(job->IsFinished());
  skip = true;
  EXPECT_FALSE(jobs.StartBackgroundJob("{0E1D3A52-6B8F-4C7A-9D21-5F3B8E0C4A17}"));
  jobs.UnregisterJobClient("{0E1D3A52-6B8F-4C7A-9D21-5F3B8E0C4A17}");
  skip = false;
  EXPECT_FALSE(jobs.StartBackgroundJob("{0E1D3A52-6B8F-4C7A-9D21-5F3B8E0C4A17}"));
  EXPECT_EQ(job->Runs, 3);
}

}  // namespace
}  // namespace vela::test
