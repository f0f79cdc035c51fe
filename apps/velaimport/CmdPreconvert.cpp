// velaimport preconvert: runs a pre-processor on an input with a configuration and writes the
// VelaXML document it produces. The pre-processor is the module's own (its XMLPreProc export) or
// a library of custom/plugins that the module's factory loads. The command is the
// pre-processor's host: it prints the data preview and shows the progress.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "ModuleHost.h"
#include "host/InterfacedData.h"
#include "module/PreProcessorCatalogIntf.h"
#include "rtl/FileUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "rtl/Variants.h"
#include "vela/PluginExport.h"

namespace vela::cli {

namespace {

struct TPreconvertOptions {
  std::string Config;
  std::string Input;
  std::string PreProcessor;
  std::string Out;
  bool Preview = false;
  int PreviewRecords = 10;
};

// The pre-processor's host on the command line: the preview as a table on stdout (then the
// conversion goes on with every record), the progress on the command's progress line.
class TCliPreProcessorHost : public TInterfacedObject, public IXMLPreProcessorHost {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessorHost)

 public:
  TCliPreProcessorHost(TCommandContext& AContext, int APreviewRecords)
      : FContext(AContext), FPreviewRecords(APreviewRecords) {}

  bool Do_PreviewData(IXMLPreProcessorPreviewDataSource* ASource,
                      IPtr<IXMLPreProcessorImportInfo>& AImportInfo) noexcept override {
    AImportInfo = nullptr;
    try {
      if (ASource != nullptr) PrintPreview(*ASource);
      return true;
    } catch (const std::exception& e) {
      FContext.Message(TMessageKind::Warning, "preview: " + ExceptionText(e));
      return true;
    }
  }
  void Do_ProgressStart(int32_t, int32_t& AProgressHandle) noexcept override {
    AProgressHandle = 1;
  }
  void Do_Progress(int32_t, int32_t ARecNo, int32_t ARecordCount,
                   bool& AAborted) noexcept override {
    AAborted = false;
    if (ARecNo % 1000 != 0 && ARecNo != ARecordCount) return;
    try {
      FContext.Progress("preconvert: record " + IntToStr(ARecNo) +
                        (ARecordCount > 0 ? " of " + IntToStr(ARecordCount) : std::string()));
    } catch (...) {
    }
  }
  void Do_ProgressEnd(int32_t) noexcept override {
    try {
      FContext.EndProgress();
    } catch (...) {
    }
  }

 private:
  void PrintPreview(IXMLPreProcessorPreviewDataSource& ASource) {
    const int fields = ASource.Get_FieldCount();
    int records = ASource.Get_RecordCount();
    if (records < 0 || records > FPreviewRecords) records = FPreviewRecords;
    std::vector<std::vector<std::string>> rows(1);
    for (int f = 0; f < fields; ++f)
      rows[0].push_back(ASource.Get_FieldName(f));
    for (int r = 0; r < records; ++r) {
      auto& row = rows.emplace_back();
      for (int f = 0; f < fields; ++f)
        row.push_back(VarToStr(ASource.Get_Value(r, f)));
    }
    if (FContext.Json()) {
      TJson json = TJson::array();
      for (size_t r = 1; r < rows.size(); ++r)
        json.push_back(rows[r]);
      FContext.Output(
          {{"preview", ASource.Get_PartIdent()}, {"fields", rows[0]}, {"records", json}});
      return;
    }
    std::vector<size_t> widths(static_cast<size_t>(fields), 0);
    for (const auto& row : rows)
      for (size_t f = 0; f < row.size(); ++f)
        widths[f] = std::max(widths[f], row[f].size());
    FContext.Output({}, [&](std::ostream& out) {
      out << ASource.Get_PartIdent() << "\n";
      for (const auto& row : rows) {
        for (size_t f = 0; f < row.size(); ++f) {
          if (f) out << "  ";
          out << row[f];
          if (f + 1 < row.size()) out << std::string(widths[f] - row[f].size(), ' ');
        }
        out << "\n";
      }
    });
  }

  TCommandContext& FContext;
  int FPreviewRecords;
};

// The library that --preprocessor names, by file name or caption (ignoring case), as
// `velaimport preprocessors` lists them. An unknown name is a usage error listing the names.
TPreProcessorCatalogEntry FindLibrary(IVelaXMLPreProcessorCatalog& ACatalog,
                                      const std::string& AName) {
  std::string known;
  for (int i = 0; i < ACatalog.Get_Count(); ++i) {
    TPreProcessorCatalogEntry e;
    if (!ACatalog.Get_Entry(i, e)) continue;
    if (SameText(e.FileName, AName) || SameText(e.Caption, AName)) return e;
    known += (known.empty() ? "" : ", ") + e.FileName + " (" + e.Caption + ")";
  }
  throw EUsageError("unknown pre-processor '" + AName + "'; " +
                    (known.empty()
                         ? "there is no pre-processor library in " + ACatalog.Get_PluginFolder()
                         : "the pre-processor libraries are: " + known));
}

int RunPreconvert(TCommandContext& c, const TPreconvertOptions& o) {
  if (!FileExists(o.Input)) throw ECommandFailed("input file '" + o.Input + "' not found");
  // The host database serves tables whose configuration names no connection.
  c.ModuleDatabase();
  IPtr<IXMLPreProcessor> preprocessor;
  std::string name;
  if (o.PreProcessor.empty()) {
    auto create = reinterpret_cast<TXMLPreProc>(c.Module().Symbol(kXMLPreProcExport));
    if (create == nullptr) throw ECommandFailed("the module exports no pre-processor");
    create(preprocessor);
    name = "built-in";
  } else {
    auto catalog = c.ModuleFunction<IVelaXMLPreProcessorCatalog>("pre-processor list");
    const TPreProcessorCatalogEntry entry = FindLibrary(*catalog, o.PreProcessor);
    std::string error;
    if (!catalog->Do_CreatePreProcessor(entry.FileName, preprocessor, error))
      throw ECommandFailed(error.empty() ? entry.FileName + ": no pre-processor" : error);
    name = entry.FileName;
  }
  if (!preprocessor) throw ECommandFailed("the pre-processor could not be created");

  // With --preview the configuration asks for the preview ("Settings", "ImportPreview").
  std::string params = o.Config;
  TXMLPreProcessorFmt paramsFmt = xmpFile;
  if (o.Preview && FileExists(o.Config)) {
    TMemIniFile config(o.Config);
    config.WriteString("Settings", "ImportPreview", "1");
    TStringList lines;
    config.GetStrings(lines);
    params = lines.Text();
    paramsFmt = xmpRAW;
  }

  // The input travels as its file name.
  auto inMem = std::make_unique<TMemoryStream>();
  inMem->Write(o.Input.data(), static_cast<int64_t>(o.Input.size()));
  inMem->Seek(0, soBeginning);
  IPtr<IDataStream> in = NewDataStream(inMem.release(), true);
  // To the file directly; for stdout (or a preview without --out) into memory.
  TMemoryStream* memory = nullptr;
  IPtr<IDataStream> out;
  if (!o.Out.empty()) {
    out = NewDataStream(new TFileStream(o.Out, fmCreate), true);
  } else {
    memory = new TMemoryStream();
    out = NewDataStream(memory, true);
  }
  IPtr<IXMLPreProcessorHost> host(new TCliPreProcessorHost(c, o.PreviewRecords));
  std::string error;
  bool userMessage = false;
  const bool ok = preprocessor->Do_PreConvert(
      in.get(), out.get(), params, xmpFile, paramsFmt, c.Module().MainInterface(), host.get(),
      pemImportTransformXML, nullptr, false, nullptr, error, userMessage);
  c.EndProgress();
  if (!ok) {
    if (error.empty()) Abort();
    throw ECommandFailed(error);
  }
  const int64_t bytes = out->Get_Size();
  preprocessor = nullptr;  // before the module (and the library) may be unloaded

  TJson summary{{"result", true},
                {"preprocessor", name},
                {"output", o.Out.empty() ? TJson() : TJson(o.Out)},
                {"bytes", bytes}};
  const std::string document = memory != nullptr
                                   ? std::string(static_cast<const char*>(memory->Memory()),
                                                 static_cast<size_t>(memory->Size()))
                                   : std::string();
  if (c.Json()) {
    if (memory != nullptr && !o.Preview) summary["document"] = document;
    c.Output(summary);
  } else if (memory != nullptr && !o.Preview) {
    c.Output({}, [&](std::ostream& os) { os << document; });
  }
  if (!o.Out.empty()) c.Message(TMessageKind::Info, IntToStr(bytes) + " bytes written to " + o.Out);
  return kExitOk;
}

}  // namespace

void RegisterPreconvertCommands(TCommandLine& cli) {
  auto o = std::make_shared<TPreconvertOptions>();
  auto* cmd = cli.Add("preconvert",
                      "runs the built-in dataset pre-processor or a pre-processor library on INPUT "
                      "with CONFIG and writes the VelaXML document (stdout without --out)",
                      [o](TCommandContext& c) { return RunPreconvert(c, *o); });
  cmd->add_option("CONFIG", o->Config, "the pre-processor's configuration file")->required();
  cmd->add_option("INPUT", o->Input, "the input file (handed to the pre-processor by name)")
      ->required();
  cmd->add_option("--preprocessor", o->PreProcessor,
                  "a library of custom/plugins by file name or caption (see `preprocessors`)");
  cmd->add_option("--out", o->Out, "the file to write the VelaXML document to");
  cmd->add_flag("--preview", o->Preview,
                "print the first records of the master table; the document is written only "
                "with --out");
  cmd->add_option("--preview-records", o->PreviewRecords, "records of the preview (default 10)")
      ->check(CLI::PositiveNumber);
}

}  // namespace vela::cli
