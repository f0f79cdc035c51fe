// The module's built-in pre-processor, in a unit of its own: the dataset headers it needs and the
// card library's headers of the registration unit declare classes of the same name.
#include "components/_SQLDataSetImportPreProcessor.h"
#include "module/_PluginModuleRegistration.h"

namespace vela {

TCustomImportPreProcessor* CreateModulePreProcessor() {
  return new TSQLDataSetImportPreProcessor();
}

}  // namespace vela
