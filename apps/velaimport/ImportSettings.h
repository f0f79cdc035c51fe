// The settings of `velaimport import`: its options, and how they and an import definition set
// up the module's import object.
#pragma once

#include <string>
#include <vector>

#include "ImportDefinition.h"
#include "plugins/_DataImportIntf.h"

namespace vela::cli {

// The options of `velaimport import`. The flags can only switch a setting on; a definition's
// value stands where the option is not given.
struct TImportOptions {
  std::string Source;
  std::string Table;
  std::string Format;  // a format GUID or short name
  int32_t Filter = 0;  // a file dialog filter index (1 is the first)
  std::string Mode;    // empty: the definition's, else update
  std::vector<std::string> Keys;
  std::vector<std::string> Maps;  // DBFIELD=IMPORTFIELD
  std::vector<std::string> TableParams;
  std::string Definition;
  bool CreateTable = false;
  bool Simulate = false;
  bool Transaction = false;
  bool Clear = false;
  bool SkipFirst = false;
  bool NoSkipFirst = false;
  bool AbortOnError = false, AbortOnWarning = false;
  bool IgnoreOnError = false, IgnoreOnWarning = false;
  bool RollbackOnError = false, RollbackOnWarning = false;
};

// --mode, else the definition's mode, else update.
TImportMode EffectiveImportMode(const TImportOptions& o, const TImportDefinition& def);

// Sets up the import object: the format's header flag, then the definition, then the options
// over both. Returns whether fields were assigned (by --map or the definition); a --map without
// '=' is a usage error.
bool ApplyImportSettings(IDataImport& imp, bool formatHasHeader, const TImportDefinition& def,
                         const TImportOptions& o);

}  // namespace vela::cli
