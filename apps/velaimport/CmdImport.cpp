// velaimport formats, fields and import: file imports through the module's external function
// interface, as the host's menus and wizards run them.
#include <iostream>

#include "Commands.h"
#include "ImportFormats.h"
#include "ImportSettings.h"
#include "ModuleHost.h"
#include "host/db/VelaDatabase.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

IPtr<IExtFuncDataImport> DataImportModule(TCommandContext& c) {
  return c.ModuleFunction<IExtFuncDataImport>("data import interface");
}

// --- formats ---

int ListFormats(TCommandContext& c) {
  const auto formats = Formats(*DataImportModule(c));
  TJson json = TJson::array();
  for (const auto& f : formats)
    json.push_back(TJson{{"filterIndex", f.FilterIndex ? TJson(f.FilterIndex) : TJson()},
                         {"guid", f.GUID},
                         {"title", f.Title},
                         {"fileExt", f.FileExt},
                         {"engine", f.Engine->GetTitle()}});
  c.Output(json, [&](std::ostream& out) {
    for (const auto& f : formats)
      out << (f.FilterIndex ? IntToStr(f.FilterIndex) : std::string("-")) << "\t" << f.GUID << "\t"
          << f.Title << "\t" << f.FileExt << "\t" << f.Engine->GetTitle() << "\n";
  });
  if (formats.empty()) c.Message(TMessageKind::Info, "no import formats registered");
  return kExitOk;
}

// --- fields ---

struct TFieldsOptions {
  std::string Source;
  std::string Format;
  int32_t Filter = 0;
  std::vector<std::string> TableParams;
};

int ListFields(TCommandContext& c, const TFieldsOptions& o) {
  CheckSource(o.Source);
  const TSourceSettings settings = ParseSourceSettings(o.TableParams);
  const TFormatRef format = ChooseFormat(*DataImportModule(c), o.Source, o.Format, o.Filter);
  CheckSourceSettings(format, settings);
  const auto fields = ImportFields(format, o.Source, settings);
  c.Output(fields, [&](std::ostream& out) {
    for (const auto& f : fields)
      out << f << "\n";
  });
  return kExitOk;
}

// --- import ---

// Reports the run: its messages, counted, and a record counter on the progress line.
class TCliCallBack : public TInterfacedObject, public IDataImportCallBack {
  VELA_INTERFACES(TInterfacedObject, IDataImportCallBack)

  explicit TCliCallBack(TCommandContext& context) : FContext(context) {}

  TMessageCounts Counts;

  void Do_AfterInsert(bool, int64_t) override { Step(); }
  void Do_AfterUpdate(bool, int64_t) override { Step(); }
  void Do_BeforeDelete(bool, int64_t, bool&) override {}
  void Do_Message(TImportMessageType AMsgType, const std::string& AMsg) override {
    const int type = AMsgType < imtInformation || AMsgType > imtError ? imtError : AMsgType;
    ++Counts[type];
    FContext.Message(static_cast<TMessageKind>(type), AMsg);
  }
  bool Do_AdvFieldImport(bool, int64_t, const std::string&, const std::string&, bool) override {
    return true;
  }

 private:
  void Step() {
    if (++FRecords % 100 == 0) FContext.Progress("records written: " + IntToStr(FRecords));
  }

  TCommandContext& FContext;
  int64_t FRecords = 0;
};

IPtr<IDataImport> NewImport(TCommandContext& c, IExtFuncDataImport& ext, const TImportOptions& o,
                            TImportMode mode) {
  IPtr<IDataImport> imp;
  if (!o.Format.empty())
    imp = ext.Do_ImportEx2(o.Source, o.Table, mode, o.Format, false);
  else if (o.Filter > 0)
    imp = ext.Do_ImportEx1(o.Source, o.Table, mode, o.Filter, false);
  else
    imp = ext.Do_Import(o.Source, o.Table, mode, false);
  // The module refuses silently without the import right; any other reason it has shown.
  if (!imp && !c.Module().MainInterface()->HasRight(100))
    throw ECommandFailed("the user lacks right 100 (access to the data import)");
  if (!imp) Abort();
  return imp;
}

int RunImport(TCommandContext& c, const TImportOptions& o) {
  CheckSource(o.Source);
  const TSourceSettings settings = ParseSourceSettings(o.TableParams);
  const TImportDefinition def =
      o.Definition.empty() ? TImportDefinition{} : LoadImportDefinition(o.Definition);

  auto schema = c.ModuleDatabase().GetSchemaByName(o.Table);
  if (!schema) throw EUsageError("unknown table: " + o.Table);

  auto ext = DataImportModule(c);
  const TFormatRef format = ChooseFormat(*ext, o.Source, o.Format, o.Filter);
  CheckSourceSettings(format, settings);
  IPtr<IDataImport> imp = NewImport(c, *ext, o, EffectiveImportMode(o, def));
  ApplySourceSettings(*imp, format, settings);
  const bool header = PreparedEngine(format, o.Source, settings)->FirstRowIsHeader();
  if (!ApplyImportSettings(*imp, header, def, o)) {
    // Every import field to the database field of the same name (ignoring case); field lines
    // are "name" or "name=caption".
    std::vector<std::string> lines;
    for (const std::string& line : ImportFields(format, o.Source, settings)) {
      const std::string field = line.substr(0, line.find('='));
      if (const auto* dbField = schema->FindField(field); dbField && !dbField->IsRecordID())
        lines.push_back(dbField->Name + "=" + field);
    }
    imp->Set_FieldAssignments(NewStringListData(lines));
  }

  IPtr<TCliCallBack> cb(new TCliCallBack(c));
  const bool ok = imp->Do_Execute(IPtr<IDataImportCallBack>(cb.get()), o.Simulate);
  c.EndProgress();
  int32_t inserted = 0, updated = 0;
  imp->Do_QueryImportResult(inserted, updated);
  const auto& n = cb->Counts;
  const TJson summary = {
      {"result", ok},
      {"inserted", inserted},
      {"updated", updated},
      {"messages",
       {{"info", n[imtInformation]}, {"warning", n[imtWarning]}, {"error", n[imtError]}}}};
  if (!c.Global().Quiet || c.Json())
    c.Output(summary, [&](std::ostream& out) {
      out << (o.Simulate ? "simulated: " : "") << "inserted " << inserted << ", updated " << updated
          << "; messages: " << n[imtInformation] << " info, " << n[imtWarning] << " warning, "
          << n[imtError] << " error\n";
    });
  if (!ok) return kExitFailed;
  return n[imtError] > 0 ? kExitRecordErrors : kExitOk;
}

// The options that name a source and its format, shared by fields and import.
void AddSourceOptions(CLI::App& cmd, std::string& source, std::string& format, int32_t& filter,
                      std::vector<std::string>& tableParams) {
  cmd.add_option("SOURCE", source, "file, ODBC connection string or Outlook source")->required();
  auto* byGuid = cmd.add_option("--format", format, "import format GUID");
  cmd.add_option("--filter", filter, "file dialog filter index (1 is the first)")->excludes(byGuid);
  cmd.add_option("--table-param", tableParams,
                 "engine-specific source setting NAME=VALUE, e.g. table=customers for an ODBC "
                 "source (repeatable)")
      ->allow_extra_args(false);
}

}  // namespace

void RegisterImportCommands(TCommandLine& cli) {
  cli.Add("formats", "every registered import format: filter index, GUID, title, extension, engine",
          ListFormats);

  auto fo = std::make_shared<TFieldsOptions>();
  auto* fields = cli.Add("fields", "the field list of an import source",
                         [fo](TCommandContext& c) { return ListFields(c, *fo); });
  AddSourceOptions(*fields, fo->Source, fo->Format, fo->Filter, fo->TableParams);

  auto io = std::make_shared<TImportOptions>();
  auto* imp = cli.Add("import", "imports a source into a table",
                      [io](TCommandContext& c) { return RunImport(c, *io); });
  AddSourceOptions(*imp, io->Source, io->Format, io->Filter, io->TableParams);
  imp->add_option("--table", io->Table, "destination table")->required();
  imp->add_option("--mode", io->Mode, "update, onlynew or cleancopy (default update)")
      ->check(CLI::IsMember({"update", "onlynew", "cleancopy"}));
  imp->add_option("--key", io->Keys, "key field (repeatable)")->allow_extra_args(false);
  imp->add_option("--map", io->Maps, "DBFIELD=IMPORTFIELD (repeatable)")->allow_extra_args(false);
  imp->add_option("--definition", io->Definition, "import definition (INI)");
  imp->add_flag("--simulate", io->Simulate, "simulate only");
  imp->add_flag("--transaction", io->Transaction, "use a transaction");
  imp->add_flag("--clear", io->Clear, "clear the destination first");
  auto* skip = imp->add_flag("--skip-first", io->SkipFirst, "skip the first record");
  imp->add_flag("--no-skip-first", io->NoSkipFirst, "do not skip the first record")->excludes(skip);
  imp->add_flag("--abort-on-error", io->AbortOnError, "abort at the first error");
  imp->add_flag("--abort-on-warning", io->AbortOnWarning, "abort at the first warning");
  imp->add_flag("--ignore-record-on-error", io->IgnoreOnError, "skip records with errors");
  imp->add_flag("--ignore-record-on-warning", io->IgnoreOnWarning, "skip records with warnings");
  imp->add_flag("--rollback-on-error", io->RollbackOnError, "roll back after an error");
  imp->add_flag("--rollback-on-warning", io->RollbackOnWarning, "roll back after a warning");
}

}  // namespace vela::cli
