// The module's built-in pre-processor: the SQL dataset pre-processor of the shared core.
#include "components/_SQLDataSetImportPreProcessor.h"
#include "module/_PluginModuleRegistration.h"

namespace vela {

TCustomImportPreProcessor* CreateModulePreProcessor() {
  return new TSQLDataSetImportPreProcessor();
}

}  // namespace vela
