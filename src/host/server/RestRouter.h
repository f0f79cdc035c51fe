// The routes of the host's REST server. Plug-ins register API roots and the methods of their
// service interfaces; the server resolves each request's path to one route:
//   /ROOT                    the API root's raw handler (any HTTP method)
//   /ROOT/Service.Method     a method of a service interface of that API
// Roots, services and methods compare ignoring ASCII case.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/server/RestContext.h"

namespace vela {

using TRestHandler = std::function<void(TVelaRestRequestContext&)>;

struct TRestRoute {
  std::string Root;
  std::string Service;  // '' for the raw handler of the root
  std::string Method;
  TRestHandler Handler;
  // Anonymous requests reach the route (a handler may still check the caller itself).
  bool AllowUnauthenticated = false;
};

class TVelaRestRouter {
 public:
  // The handler of requests to "/root" itself (raw content calls). Replaces an earlier one.
  void RegisterAPIRoot(std::string_view root, TRestHandler rawHandler,
                       bool allowUnauthenticated = false);
  // The handler of "/root/service.method". Replaces an earlier one.
  void RegisterService(std::string_view root, std::string_view service, std::string_view method,
                       TRestHandler handler, bool allowUnauthenticated = false);
  // Removes the root with its raw handler and all its services.
  void UnregisterAPIRoot(std::string_view root);

  // The route of a decoded path. Raises ERestError 404 naming what is unknown.
  TRestRoute Resolve(std::string_view path) const;
  // The registered roots, in name order (lower case).
  std::vector<std::string> Roots() const;

 private:
  struct TApi {
    std::string Name;
    TRestRoute Raw;                             // no handler when the root has no raw handler
    std::map<std::string, TRestRoute> Methods;  // by "service.method" in lower case
  };
  mutable std::mutex FLock;
  std::map<std::string, TApi> FApis;  // by lower-case root
};

}  // namespace vela
