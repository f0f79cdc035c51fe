// A database test with the application server answering over HTTP on a free port: access
// tokens on the test's database, a client, and one token. A fixture registers its routes on
// FApp, then calls StartServing.
#pragma once

#include <memory>
#include <string>

#include "ServerTestSupport.h"
#include "db/DbTestSupport.h"
#include "host/server/AccessTokens.h"
#include "host/server/ApplicationServer.h"
#include "host/server/HttpServer.h"

namespace vela::test {

class ServedDbTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    FTokens = std::make_unique<TVelaAccessTokens>(Db());
    FApp.SetAuthenticator([this](std::string_view t) { return FTokens->Verify(t); });
  }
  void TearDown() override {
    FClient.reset();
    if (FServer) FServer->Stop();
    FServer.reset();
    FTokens.reset();
    DbTest::TearDown();
  }

  // Starts the server and adds the token FToken under tokenName.
  void StartServing(const std::string& tokenName) {
    TVelaHttpServerOptions o;
    o.Port = 0;
    FServer = std::make_unique<TVelaHttpServer>(FApp, o);
    FServer->Start();
    FClient = std::make_unique<THttpClient>(FServer->Port());
    FToken = FTokens->Add(tokenName);
  }

  TVelaApplicationServer FApp;
  std::unique_ptr<TVelaAccessTokens> FTokens;
  std::unique_ptr<TVelaHttpServer> FServer;
  std::unique_ptr<THttpClient> FClient;
  std::string FToken;
};

}  // namespace vela::test
