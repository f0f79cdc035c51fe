// The VelaXML service types that pre-processors use before the VelaXML writer and data stores
// are available: the record command values and the function macro evaluation.
#pragma once

#include "host/velaxml/FunctionMacros.h"

namespace vela {

// Record commands read from a VelaXML document on export.
enum TVelaXMLCommand : int32_t { vxcNone, vxcSyncExisting };

}  // namespace vela
