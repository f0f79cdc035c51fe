#include "module/_PluginModuleRegistration.h"

#include <dlfcn.h>

#include "business_integration/_dmBusinessIntegration.h"
#include "components/_CustomImportPreProcessor.h"
#include "module/_ExtFuncDataImportDefRTTIFunctions.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "plugins/_dmPluginDataImportMain.h"
#ifdef VELA_HAVE_VCARD
#include "vcard/VCardItem.h"
#endif

namespace vela {

TPluginModuleClassList* PluginModuleClassList = nullptr;

namespace {
// An address inside this library that nothing outside can interpose.
void ModuleAnchor() {}
}  // namespace

HMODULE ModuleInstanceHandle() noexcept {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModuleAnchor), &info)) return info.dli_fbase;
  return nullptr;
}

namespace {

// The units' start-up in one fixed order (static initialisation order across files is not
// something to rely on), and their finalisation in reverse when the library is unloaded.
struct TModuleUnits {
  TModuleUnits() {
    // 1. The class list, before any unit registers anything.
    PluginModuleClassList = new TPluginModuleClassList();
    // 2. The pre-processor factory reference starts cleared; the factory is created on first
    //    use. The module's own XMLPreProc gives the SQL dataset pre-processor (the core's
    //    global is shared by the process: the previous class comes back at unload).
    FPreviousDefaultClass = DefaultPreProcessorClass;
    DefaultPreProcessorClass = &CreateModulePreProcessor;
    // 3. The script bindings join the script engine's run-time type modules.
    InitUnit_ExtFuncDataImportDefRTTIFunctions();
#ifdef VELA_HAVE_VCARD
    // 4. The card item classes.
    RegisterStandardCardItemClasses();
#endif
    // 5. The data modules.
    InitUnit_dmPluginDataImportMain();
    InitUnit_dmBusinessIntegration();
  }
  ~TModuleUnits() {
    FreePreProcessorFactory();
    FinUnit_ExtFuncDataImportDefRTTIFunctions();
    DefaultPreProcessorClass = FPreviousDefaultClass;
    delete PluginModuleClassList;
    PluginModuleClassList = nullptr;
  }
  TCustomImportPreProcessorClass FPreviousDefaultClass = nullptr;
};

TModuleUnits gModuleUnits;

}  // namespace

}  // namespace vela

using namespace vela;

void InitProc(IPtr<IInterface>& APlugin) {
  APlugin = nullptr;
  IPtr<IClientPlugin> plugin = MakeIntf<TClientPluginBase, IClientPlugin>(
      std::string(kPluginGuid), ModuleInstanceHandle(), PluginModuleClassList, true);
  if (plugin) APlugin = Supports<IInterface>(plugin);
}

void XMLPreProc(IPtr<IXMLPreProcessor>& Result) {
  Result = IPtr<IXMLPreProcessor>(DefaultPreProcessorClass());
}

int32_t XMLPreProcVersion() {
  return kXMLPreProcVersion;
}
