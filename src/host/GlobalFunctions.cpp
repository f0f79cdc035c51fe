#include "host/GlobalFunctions.h"

#include "rtl/SysUtils.h"

namespace vela {

TVelaGlobalFunctions& TVelaGlobalFunctions::Instance() {
  static TVelaGlobalFunctions instance;
  return instance;
}

std::string TVelaGlobalFunctions::Key(std::string_view AName) {
  return LowerCase(std::string(AName));
}

void TVelaGlobalFunctions::Register(std::string_view AName, std::vector<std::string> AArgNames,
                                    TFunction AFunction) {
  std::lock_guard lock(FLock);
  FFunctions[Key(AName)] = TEntry{std::string(AName), std::move(AArgNames), std::move(AFunction)};
}

void TVelaGlobalFunctions::Unregister(std::string_view AName) {
  std::lock_guard lock(FLock);
  FFunctions.erase(Key(AName));
}

bool TVelaGlobalFunctions::Exists(std::string_view AName) const {
  std::lock_guard lock(FLock);
  return FFunctions.count(Key(AName)) != 0;
}

Variant TVelaGlobalFunctions::Call(std::string_view AName,
                                   const std::vector<Variant>& AArgs) const {
  TFunction function;
  {
    std::lock_guard lock(FLock);
    auto it = FFunctions.find(Key(AName));
    if (it == FFunctions.end())
      throw EGlobalFunctionError("Global function '" + std::string(AName) + "' not found!");
    function = it->second.Function;
  }
  // Called outside the lock: a function may register or call others.
  return function(AArgs);
}

}  // namespace vela
