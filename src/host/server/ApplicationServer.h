// The application server's registry: the REST routes that plug-ins register, the job thread of
// their background jobs, the checks asked before the server shuts down, and the handling of one
// request (routing, authentication, error answers). The HTTP listener (TVelaHttpServer) feeds it
// requests; plug-ins reach it from the main interface through IVelaApplicationServerService.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "host/server/BackgroundJobs.h"
#include "host/server/RestContext.h"
#include "host/server/RestRouter.h"

namespace vela {

// The session of a bearer token; nullopt when the token is unknown.
using TRestAuthenticator = std::function<std::optional<TRestSession>(std::string_view token)>;

class TVelaApplicationServer {
 public:
  TVelaRestRouter& Router() { return FRouter; }
  TVelaServerJobThread& Jobs() { return FJobs; }

  // Without an authenticator every token is refused.
  void SetAuthenticator(TRestAuthenticator authenticator);

  // A check asked before shutting down: false means "not yet" (work is running). Returns an id
  // for RemoveShutDownCheck.
  int AddShutDownCheck(std::function<bool()> canShutDown);
  void RemoveShutDownCheck(int id);
  // True when every check agrees.
  bool CanShutDown();

  // Resolves the route, authenticates the caller ("Authorization: Bearer TOKEN") and runs the
  // handler. Answers: 404 unknown route, 401 missing or unknown token on a route that needs one,
  // an ERestError's status, 500 with the text of any other exception, 204 when the handler gave
  // no answer.
  void HandleRequest(TVelaRestRequestContext& ctx) noexcept;

 private:
  TVelaRestRouter FRouter;
  TVelaServerJobThread FJobs;
  std::mutex FLock;
  TRestAuthenticator FAuthenticator;
  std::map<int, std::function<bool()>> FShutDownChecks;
  int FNextCheck = 1;
};

}  // namespace vela
