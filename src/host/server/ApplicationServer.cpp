#include "host/server/ApplicationServer.h"

#include "rtl/SysUtils.h"

namespace vela {

void TVelaApplicationServer::SetAuthenticator(TRestAuthenticator authenticator) {
  std::lock_guard lock(FLock);
  FAuthenticator = std::move(authenticator);
}

int TVelaApplicationServer::AddShutDownCheck(std::function<bool()> canShutDown) {
  std::lock_guard lock(FLock);
  FShutDownChecks[FNextCheck] = std::move(canShutDown);
  return FNextCheck++;
}

void TVelaApplicationServer::RemoveShutDownCheck(int id) {
  std::lock_guard lock(FLock);
  FShutDownChecks.erase(id);
}

bool TVelaApplicationServer::CanShutDown() {
  std::vector<std::function<bool()>> checks;
  {
    std::lock_guard lock(FLock);
    for (const auto& [id, check] : FShutDownChecks)
      checks.push_back(check);
  }
  bool all = true;
  for (const auto& check : checks)
    all = check() && all;  // every check is asked: each learns that a shutdown is near
  return all;
}

namespace {

// The token of an "Authorization: Bearer TOKEN" header; '' when the header is absent or of
// another scheme.
std::string BearerToken(const std::string& authorization) {
  const std::string_view scheme = "Bearer ";
  if (authorization.size() <= scheme.size() || !StartsText(scheme, authorization)) return {};
  return Trim(authorization.substr(scheme.size()));
}

}  // namespace

void TVelaApplicationServer::HandleRequest(TVelaRestRequestContext& ctx) noexcept {
  try {
    try {
      const TRestRoute route = FRouter.Resolve(ctx.Path());
      const std::string authorization = ctx.GetHeader("Authorization");
      if (!authorization.empty()) {
        const std::string token = BearerToken(authorization);
        TRestAuthenticator authenticator;
        {
          std::lock_guard lock(FLock);
          authenticator = FAuthenticator;
        }
        std::optional<TRestSession> session;
        if (!token.empty() && authenticator) session = authenticator(token);
        if (!session) throw ERestError(401, "Invalid access token");
        ctx.SetSession(std::move(*session));
      } else if (!route.AllowUnauthenticated) {
        throw ERestError(401, "Authentication required: send 'Authorization: Bearer TOKEN'");
      }
      route.Handler(ctx);
      if (!ctx.Answered()) ctx.Returns({}, 204);
    } catch (const ERestError& e) {
      ctx.Error(e.Message(), e.Status());
    } catch (const Exception& e) {
      ctx.Error(e.IsUserMessage() ? e.Message() : ExceptionText(e), 500);
    } catch (const std::exception& e) {
      ctx.Error(e.what(), 500);
    }
  } catch (...) {
    // Building the error answer failed (out of memory): the listener answers 500 itself.
  }
}

}  // namespace vela
