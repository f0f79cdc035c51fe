// The VelaXML service types that pre-processors use before the VelaXML writer and data stores
// are available: the record command values and the function macro evaluation.
#pragma once

#include <string>
#include <string_view>

#include "host/MainInterface.h"
#include "rtl/Variants.h"

namespace vela {

// Record commands read from a VelaXML document on export.
enum TVelaXMLCommand : int32_t { vxcNone, vxcSyncExisting };

// Evaluates the function macros of configuration values. This base knows no macros: no text is
// a function macro, so configuration values pass unchanged. The host's evaluation derives from
// it.
class TVelaXMLProcessorFunctionMacroHandler {
 public:
  virtual ~TVelaXMLProcessorFunctionMacroHandler() = default;
  virtual bool GetContentIsFunctionMacro(std::string_view AContent) const {
    (void)AContent;
    return false;
  }
  // Raises ENotImplemented in this base.
  virtual Variant ExecuteFunctionMacro(std::string_view AContent);

  IMainInterface* MainInterface() const noexcept { return FMainInterface; }
  // Borrowed for the duration of a conversion; nil clears it.
  void SetMainInterface(IMainInterface* AMainInterface) noexcept {
    FMainInterface = AMainInterface;
  }

 private:
  IMainInterface* FMainInterface = nullptr;
};

}  // namespace vela
