// The exports of a pre-processor library (*.vxp) and of the module itself.
//
// A library exports, with C linkage and nothing else (build it with hidden visibility and a
// linker version script, see sdk/example):
//   int  XMLPreProcVersion();                          the contract version, kXMLPreProcVersion
//   void XMLPreProc(vela::IPtr<vela::IXMLPreProcessor>& Result);   a new pre-processor
// The module additionally exports
//   void InitProc(vela::IPtr<vela::IInterface>& APlugin);          the host's plug-in entry
#pragma once

#include "vela/XMLPreProcessorIntf.h"

// Marks a function as exported from a library built with hidden visibility.
#define VELA_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace vela {

// The pre-processor contract version that the factory accepts.
inline constexpr int32_t kXMLPreProcVersion = 2;

// Export names as the factory and the host look them up.
inline constexpr const char* kXMLPreProcVersionExport = "XMLPreProcVersion";
inline constexpr const char* kXMLPreProcExport = "XMLPreProc";
inline constexpr const char* kInitProcExport = "InitProc";

using TXMLPreProcVersion = int32_t (*)();
using TXMLPreProc = void (*)(IPtr<IXMLPreProcessor>& Result);
using TInitProc = void (*)(IPtr<IInterface>& APlugin);

}  // namespace vela
