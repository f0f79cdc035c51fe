#include "host/server/RestRouter.h"

#include "rtl/SysUtils.h"

namespace vela {

namespace {

std::string Trimmed(std::string_view name) {
  while (!name.empty() && name.front() == '/')
    name.remove_prefix(1);
  while (!name.empty() && name.back() == '/')
    name.remove_suffix(1);
  return std::string(name);
}

}  // namespace

void TVelaRestRouter::RegisterAPIRoot(std::string_view root, TRestHandler rawHandler,
                                      bool allowUnauthenticated) {
  const std::string name = Trimmed(root);
  std::lock_guard lock(FLock);
  TApi& api = FApis[LowerCase(name)];
  api.Name = name;
  api.Raw = TRestRoute{name, {}, {}, std::move(rawHandler), allowUnauthenticated};
}

void TVelaRestRouter::RegisterService(std::string_view root, std::string_view service,
                                      std::string_view method, TRestHandler handler,
                                      bool allowUnauthenticated) {
  const std::string name = Trimmed(root);
  std::lock_guard lock(FLock);
  TApi& api = FApis[LowerCase(name)];
  if (api.Name.empty()) api.Name = name;
  api.Methods[LowerCase(std::string(service) + "." + std::string(method))] = TRestRoute{
      name, std::string(service), std::string(method), std::move(handler), allowUnauthenticated};
}

void TVelaRestRouter::UnregisterAPIRoot(std::string_view root) {
  std::lock_guard lock(FLock);
  FApis.erase(LowerCase(Trimmed(root)));
}

TRestRoute TVelaRestRouter::Resolve(std::string_view path) const {
  const std::string trimmed = Trimmed(path);
  const size_t slash = trimmed.find('/');
  const std::string root = trimmed.substr(0, slash);
  const std::string rest = slash == std::string::npos ? std::string() : trimmed.substr(slash + 1);
  std::lock_guard lock(FLock);
  auto api = FApis.find(LowerCase(root));
  if (api == FApis.end()) throw ERestError(404, "Unknown API '" + root + "'");
  if (rest.empty()) {
    if (!api->second.Raw.Handler)
      throw ERestError(404, "The API '" + api->second.Name + "' takes only service calls");
    return api->second.Raw;
  }
  auto method = api->second.Methods.find(LowerCase(rest));
  if (method == api->second.Methods.end())
    throw ERestError(404,
                     "Unknown service method '" + rest + "' of the API '" + api->second.Name + "'");
  return method->second;
}

std::vector<std::string> TVelaRestRouter::Roots() const {
  std::lock_guard lock(FLock);
  std::vector<std::string> roots;
  for (const auto& [key, api] : FApis)
    roots.push_back(key);
  return roots;
}

}  // namespace vela
