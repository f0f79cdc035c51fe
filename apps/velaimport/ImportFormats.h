// The import formats as velaimport sees them: the registry in order, the choice of the format
// that reads a source, the engine-specific source settings (--table-param) and a source's field
// list.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "plugins/_ExtFuncDataImportIntf.h"

namespace vela::cli {

// One registered format, in registry order.
struct TFormatRef {
  IPtr<IDataImportEngine> Engine;
  int32_t FormatIndex = -1;
  int32_t FilterIndex = 0;  // 0: not in the file dialog
  std::string GUID, Title, FileExt;
  std::string Name;     // the short name for --format ('' when it has none)
  bool ByName = false;  // a data schema of the text engine, named by its schema

  // "'Title' (engine title)", for messages.
  std::string Describe() const;
};

std::vector<TFormatRef> Formats(IExtFuncDataImport& ext);

// A source that is not an ODBC connection string or an Outlook name must be an existing file
// (a usage error otherwise).
void CheckSource(const std::string& source);

// The format that reads the source: by GUID or short name, by filter index (> 0), else the
// first format of the registry that takes the file; the name "text" takes the first data schema
// that takes the file. An unknown format or filter index is a usage error naming the short names.
TFormatRef ChooseFormat(IExtFuncDataImport& ext, const std::string& source,
                        const std::string& format, int32_t filter);

// The message for a file that no format takes, and the hint that goes with it.
extern const char* const kNoEngineHint;

// NAME=VALUE source settings, in the order given.
using TSourceSettings = std::vector<std::pair<std::string, std::string>>;

// The --table-param values; one without NAME= is a usage error.
TSourceSettings ParseSourceSettings(const std::vector<std::string>& params);

// Usage errors: settings the format does not take, or none where it needs them (a database
// source reads nothing without its table).
void CheckSourceSettings(const TFormatRef& format, const TSourceSettings& settings);

// A fresh engine instance set up for the source, with the source settings.
IPtr<IDataImportEngine> PreparedEngine(const TFormatRef& format, const std::string& source,
                                       const TSourceSettings& settings);

// The source's field lines ("name" or "name=caption").
std::vector<std::string> ImportFields(const TFormatRef& format, const std::string& source,
                                      const TSourceSettings& settings);

// Hands the source settings to the import object, which gives them to its engine on every run.
void ApplySourceSettings(IDataImport& imp, const TFormatRef& format,
                         const TSourceSettings& settings);

}  // namespace vela::cli
