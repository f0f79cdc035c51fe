// velaimport preprocessors: the pre-processor libraries found in custom/plugins.
#include <iostream>

#include "Commands.h"
#include "ModuleHost.h"
#include "module/PreProcessorCatalogIntf.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

std::vector<std::string> FunctionNames(TXMLPreProcessorFunctionSet set) {
  std::vector<std::string> names;
  if (set.Contains(pemImportTransformXML)) names.push_back("import");
  if (set.Contains(pemExportTransformXML)) names.push_back("export");
  if (set.Contains(pemExportSAXWriter)) names.push_back("export-writer");
  return names;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> r;
  size_t p = 0;
  while (p < text.size()) {
    size_t e = text.find_first_of("\r\n", p);
    if (e == std::string::npos) e = text.size();
    if (e > p) r.push_back(text.substr(p, e - p));
    p = e + 1;
  }
  return r;
}

std::string Join(const std::vector<std::string>& items, std::string_view sep) {
  std::string r;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) r += sep;
    r += items[i];
  }
  return r;
}

int ListPreprocessors(const GlobalOptions& global) {
  TModuleHost* host = CurrentModuleHost();
  IPtr<IInterface> ext;
  IPtr<IVelaXMLPreProcessorCatalog> catalog;
  if (host && host->Plugin() &&
      host->Plugin()->Do_GetExtFunc(IVelaXMLPreProcessorCatalog::IID(), ext))
    catalog = Supports<IVelaXMLPreProcessorCatalog>(ext);
  if (!catalog) {
    std::cerr << "error: the module offers no pre-processor list\n";
    return kExitFailed;
  }
  const int count = catalog->Get_Count();
  if (global.Json) std::cout << "[";
  for (int i = 0; i < count; ++i) {
    TPreProcessorCatalogEntry e;
    if (!catalog->Get_Entry(i, e)) continue;
    const auto functions = FunctionNames(e.Functions);
    const auto exts = Lines(e.ValidFileExt);
    if (global.Json) {
      std::vector<std::string> f, x;
      for (const auto& s : functions)
        f.push_back(JsonQuote(s));
      for (const auto& s : exts)
        x.push_back(JsonQuote(s));
      std::cout << (i ? "," : "") << "{\"fileName\":" << JsonQuote(e.FileName)
                << ",\"caption\":" << JsonQuote(e.Caption)
                << ",\"canUseByUser\":" << (e.CanUseByUser ? "true" : "false") << ",\"functions\":["
                << Join(f, ",") << "],\"fileExt\":[" << Join(x, ",") << "]}";
    } else {
      std::cout << e.FileName << "\t" << e.Caption << "\t" << Join(functions, ",") << "\t"
                << Join(exts, ",") << (e.CanUseByUser ? "" : "\t(not for users)") << "\n";
    }
  }
  if (global.Json) std::cout << "]\n";
  if (!global.Json && count == 0 && !global.Quiet)
    std::cerr << "no pre-processor libraries in " << catalog->Get_PluginFolder() << "\n";
  return kExitOk;
}

}  // namespace

void RegisterPreprocessorCommands(CLI::App& app, GlobalOptions& global, CommandAction& action) {
  auto* cmd = app.add_subcommand(
      "preprocessors",
      "the pre-processor libraries found in custom/plugins with caption, functions and file "
      "extensions");
  cmd->callback([&action, &global] { action = [&global] { return ListPreprocessors(global); }; });
}

}  // namespace vela::cli
