// velaimport preprocessors: the pre-processor libraries found in custom/plugins.
#include <iostream>

#include "Commands.h"
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

int ListPreprocessors(TCommandContext& c) {
  auto catalog = c.ModuleFunction<IVelaXMLPreProcessorCatalog>("pre-processor list");
  TJson json = TJson::array();
  std::vector<std::string> lines;
  for (int i = 0; i < catalog->Get_Count(); ++i) {
    TPreProcessorCatalogEntry e;
    if (!catalog->Get_Entry(i, e)) continue;
    const auto functions = FunctionNames(e.Functions);
    const auto exts = Lines(e.ValidFileExt);
    json.push_back(TJson{{"fileName", e.FileName},
                         {"caption", e.Caption},
                         {"canUseByUser", e.CanUseByUser},
                         {"functions", functions},
                         {"fileExt", exts}});
    lines.push_back(e.FileName + "\t" + e.Caption + "\t" + Join(functions, ",") + "\t" +
                    Join(exts, ",") + (e.CanUseByUser ? "" : "\t(not for users)"));
  }
  c.Output(json, [&](std::ostream& out) {
    for (const auto& line : lines)
      out << line << "\n";
  });
  if (lines.empty())
    c.Message(TMessageKind::Info, "no pre-processor libraries in " + catalog->Get_PluginFolder());
  return kExitOk;
}

}  // namespace

void RegisterPreprocessorCommands(TCommandLine& cli) {
  cli.Add("preprocessors",
          "the pre-processor libraries found in custom/plugins with caption, functions and file "
          "extensions",
          ListPreprocessors);
}

}  // namespace vela::cli
