// Global functions: named operations that plug-ins offer to the whole host (documents call them
// after an import, scripts call them by name). A plug-in registers its functions while it is
// loaded and removes them when it goes.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Variants.h"

namespace vela {

VELA_DECLARE_EXCEPTION(EGlobalFunctionError, Exception);

class TVelaGlobalFunctions {
 public:
  using TFunction = std::function<Variant(const std::vector<Variant>& AArgs)>;

  // The host's registry.
  static TVelaGlobalFunctions& Instance();

  // AArgNames document the arguments (shown by scripts); a function of the same name
  // (ignoring case) is replaced.
  void Register(std::string_view AName, std::vector<std::string> AArgNames, TFunction AFunction);
  void Unregister(std::string_view AName);
  bool Exists(std::string_view AName) const;
  // Calls the function. An unknown name raises EGlobalFunctionError "Global function 'NAME' not
  // found!"; the function's own exceptions pass on.
  Variant Call(std::string_view AName, const std::vector<Variant>& AArgs) const;

 private:
  struct TEntry {
    std::string Name;
    std::vector<std::string> ArgNames;
    TFunction Function;
  };
  static std::string Key(std::string_view AName);

  mutable std::mutex FLock;
  std::unordered_map<std::string, TEntry> FFunctions;
};

}  // namespace vela
