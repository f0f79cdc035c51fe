// velasql.vxp: tables and queries of the host database or of any ODBC data source as VelaXML,
// and VelaXML written back into such a table. The library adds no code of its own to the
// pre-processing core's SQL dataset pre-processor: it makes that class loadable by name from
// custom/plugins. Configuration: docs/preprocessors.md.
#include "components/_SQLDataSetImportPreProcessor.h"
#include "vela/PluginExport.h"

VELA_PLUGIN_EXPORT int32_t XMLPreProcVersion() {
  return vela::kXMLPreProcVersion;
}

// Every call hands out a new pre-processor.
VELA_PLUGIN_EXPORT void XMLPreProc(vela::IPtr<vela::IXMLPreProcessor>& Result) {
  Result = vela::IPtr<vela::IXMLPreProcessor>(new vela::TSQLDataSetImportPreProcessor());
}
