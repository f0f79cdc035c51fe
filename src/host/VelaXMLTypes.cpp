#include "host/VelaXMLTypes.h"

namespace vela {

Variant TVelaXMLProcessorFunctionMacroHandler::ExecuteFunctionMacro(std::string_view AContent) {
  throw ENotImplemented("Function macros are not available yet: '" + std::string(AContent) + "'");
}

}  // namespace vela
