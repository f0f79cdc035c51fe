// The module's entry and registration: the plug-in identity, the class list of its data
// modules, the start-up and unload sequence of its units, and its three exports.
#pragma once

#include "host/PluginBase.h"
#include "vela/PluginExport.h"

namespace vela {

// Identifies this plug-in to the host.
inline constexpr const char* kPluginGuid = "{38DA8783-CA9F-4A0D-978F-48A26FE92C8B}";

// The data module classes the module offers, in registration order; exists from the module's
// start-up until its unload.
extern TPluginModuleClassList* PluginModuleClassList;

// The module's own instance handle (its load address).
HMODULE ModuleInstanceHandle() noexcept;

// A new pre-processor of the class that the module's XMLPreProc gives: the SQL dataset
// pre-processor (tables and queries of the host database or of an ODBC source).
class TCustomImportPreProcessor;
TCustomImportPreProcessor* CreateModulePreProcessor();

}  // namespace vela

// The exports (C linkage; the only symbols the module library exports).
// The plug-in object's IClientPlugin as IInterface (nil when none was constructed).
VELA_PLUGIN_EXPORT void InitProc(vela::IPtr<vela::IInterface>& APlugin);
// A new default pre-processor (TCustomImportPreProcessor).
VELA_PLUGIN_EXPORT void XMLPreProc(vela::IPtr<vela::IXMLPreProcessor>& Result);
// The pre-processor contract version, 2.
VELA_PLUGIN_EXPORT int32_t XMLPreProcVersion();
