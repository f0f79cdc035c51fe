// velaimport formats, fields and import: file imports through the module's external function
// interface, as the host's menus and wizards run them.
#include <algorithm>
#include <iostream>
#include <map>
#include <set>

#include "Commands.h"
#include "ImportFormats.h"
#include "ImportSettings.h"
#include "ModuleHost.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "plugins/_DataImportPositionIntf.h"
#include "rtl/CodePages.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

IPtr<IExtFuncDataImport> DataImportModule(TCommandContext& c) {
  return c.ModuleFunction<IExtFuncDataImport>("data import interface");
}

// The format that reads the source; a file that no format takes gets a hint after the error.
TFormatRef ChooseFormatFor(TCommandContext& c, IExtFuncDataImport& ext, const std::string& source,
                           const std::string& format, int32_t filter) {
  try {
    return ChooseFormat(ext, source, format, filter);
  } catch (const EVelaUserMessageException& e) {
    c.Message(TMessageKind::Error, e.Message());
    c.Message(TMessageKind::Hint, kNoEngineHint);
    Abort();
  }
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
                         {"engine", f.Engine->GetTitle()},
                         {"name", f.Name.empty() ? TJson() : TJson(f.Name)}});
  c.Output(json, [&](std::ostream& out) {
    for (const auto& f : formats)
      out << (f.FilterIndex ? IntToStr(f.FilterIndex) : std::string("-")) << "\t" << f.GUID << "\t"
          << f.Title << "\t" << f.FileExt << "\t" << f.Engine->GetTitle() << "\t"
          << (f.Name.empty() ? std::string("-") : f.Name) << "\n";
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
  const TFormatRef format = ChooseFormatFor(c, *DataImportModule(c), o.Source, o.Format, o.Filter);
  CheckSourceSettings(format, settings);
  const auto fields = ImportFields(format, o.Source, settings);
  c.Output(fields, [&](std::ostream& out) {
    for (const auto& f : fields)
      out << f << "\n";
  });
  return kExitOk;
}

// --- import ---

// Reports the run: its messages, counted, and a record counter on the progress line. Warnings and
// errors about a record start with where it is: "FILE:LINE: record N: " (LINE for sources read
// line by line).
class TCliCallBack : public TInterfacedObject, public IDataImportCallBack {
  VELA_INTERFACES(TInterfacedObject, IDataImportCallBack)

  explicit TCliCallBack(TCommandContext& context) : FContext(context) {}

  TMessageCounts Counts;
  IPtr<IDataImportPosition> Position;  // nil: messages without location

  void Do_AfterInsert(bool, int64_t) override { Step(); }
  void Do_AfterUpdate(bool, int64_t) override { Step(); }
  void Do_BeforeDelete(bool, int64_t, bool&) override {}
  void Do_Message(TImportMessageType AMsgType, const std::string& AMsg) override {
    const int type = AMsgType < imtInformation || AMsgType > imtError ? imtError : AMsgType;
    ++Counts[type];
    FContext.Message(static_cast<TMessageKind>(type),
                     type == imtInformation ? AMsg : Location() + AMsg);
  }
  bool Do_AdvFieldImport(bool, int64_t, const std::string&, const std::string&, bool) override {
    return true;
  }

 private:
  std::string Location() {
    const int32_t record = Position ? Position->Get_RecordNumber() : 0;
    if (record <= 0) return {};
    const int64_t line = Position->Get_SourceLine();
    return Position->Get_SourceName() + (line > 0 ? ":" + IntToStr(line) : std::string()) +
           ": record " + IntToStr(record) + ": ";
  }

  void Step() {
    if (++FRecords % 100 == 0) FContext.Progress("records written: " + IntToStr(FRecords));
  }

  TCommandContext& FContext;
  int64_t FRecords = 0;
};

IPtr<IDataImport> NewImport(TCommandContext& c, IExtFuncDataImport& ext, const TImportOptions& o,
                            const TFormatRef& format, TImportMode mode) {
  IPtr<IDataImport> imp;
  if (!o.Format.empty())
    imp = ext.Do_ImportEx2(o.Source, o.Table, mode, format.GUID, false);
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

// Reads the first records of a source in a simulation and notes the type in which each field's
// values arrive: what --create-table makes of the source's fields.
class TTypeProbe : public TInterfacedObject, public IDataImportProcessor {
  VELA_INTERFACES(TInterfacedObject, IDataImportProcessor)

  static constexpr int kRecords = 200;
  std::map<std::string, TImportDataType> Types;  // fields that had a value

  void StartRecord(int32_t, bool& Abort) override { Abort = ++FRecords > kRecords; }
  void PostRecord(int32_t) override {}
  void SetValue(std::string_view FieldName, std::string_view Value, TImportDataType DataType,
                int32_t) override {
    if (Value.empty()) return;
    auto [it, added] = Types.emplace(LowerCase(std::string(FieldName)), DataType);
    if (added || it->second == DataType) return;
    // Whole and decimal numbers make a float column; any other mix a text column.
    const bool numbers = (it->second == idtInteger || it->second == idtFloat) &&
                         (DataType == idtInteger || DataType == idtFloat);
    it->second = numbers ? idtFloat : idtText;
  }
  void EngineMessage(int32_t, std::string_view, TImportMessageType) override {}

 private:
  int FRecords = 0;
};

TFieldType ColumnType(TImportDataType type) {
  switch (type) {
    case idtInteger:
      return ftInteger;
    case idtFloat:
      return ftFloat;
    case idtDate:
      return ftDate;
    case idtDateTime:
      return ftDateTime;
    case idtTime:
      return ftTime;
    default:
      return ftString;
  }
}

// The field name of a field line ("name" or "name=caption").
std::string FieldName(const std::string& line) {
  return line.substr(0, line.find('='));
}

// --create-table: the table "id" plus one column per source field, typed by the values the
// engine delivers for the first records (text where it delivers none).
void CreateTable(TCommandContext& c, const TFormatRef& format, const TImportOptions& o,
                 const TSourceSettings& settings) {
  IPtr<TTypeProbe> probe(new TTypeProbe);
  auto engine = PreparedEngine(format, o.Source, settings);
  engine->Execute(0, probe.get(), true);
  THostTableDef def{o.Table, {}};
  std::set<std::string> seen;
  for (const std::string& line : ImportFields(format, o.Source, settings)) {
    const std::string name = FieldName(line);
    if (name.empty() || SameText(name, "id")) continue;
    // A binary or mis-read source yields names no database takes as a column name.
    const bool usable = IsValidUtf8(name) && std::none_of(name.begin(), name.end(), [](char ch) {
                          return static_cast<unsigned char>(ch) < 0x20;
                        });
    if (!usable)
      throw EUsageError("field " + IntToStr(static_cast<int64_t>(def.Fields.size()) + 1) + " of " +
                        o.Source + " has no usable column name; is it the right format?");
    if (!seen.insert(LowerCase(name)).second) {
      c.Message(TMessageKind::Warning, "the source " + o.Source + " repeats the field name " +
                                           name + "; the table gets one column for it");
      continue;
    }
    const auto it = probe->Types.find(LowerCase(name));
    def.Fields.push_back(
        {name, ColumnType(it == probe->Types.end() ? idtText : it->second), 0, false, ""});
  }
  if (def.Fields.empty())
    throw EUsageError("the source " + o.Source + " has no fields to create table " + o.Table +
                      " from");
  TVelaDatabase& db = c.ModuleDatabase();
  {
    auto conn = db.Connection();
    conn->ExecSQL(CreateTableSQL(*conn, def));
  }
  db.RefreshSchema();
  c.Message(TMessageKind::Info, "table " + o.Table + " created with " +
                                    IntToStr(static_cast<int64_t>(def.Fields.size())) +
                                    " field(s) of the source");
}

std::string FieldNames(const IDBFieldSchemaItem& schema) {
  std::string names;
  for (int i = 0; i < schema.GetFieldCount(); ++i)
    if (!schema.GetField(i).IsRecordID())
      names += (names.empty() ? "" : ", ") + schema.GetField(i).Name;
  return names;
}

// Only numbers, dates and times take part in the search for existing records.
bool IsSearchKeyType(TFieldType type) {
  return type == ftDate || type == ftTime || type == ftDateTime || type == ftTimeStamp ||
         type == ftFloat || type == ftCurrency || IsIntegerFieldType(type);
}

// A key must be a field of the table; a text key is allowed but finds nothing.
void CheckKeys(TCommandContext& c, const IDBFieldSchemaItem& schema,
               const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    const auto* field = schema.FindField(key);
    if (!field)
      throw EUsageError("--key: '" + key + "' is no field of table " + schema.GetName() +
                        " (fields: " + FieldNames(schema) + ")");
    if (!IsSearchKeyType(field->DataType))
      c.Message(TMessageKind::Warning,
                "key field '" + field->Name +
                    "' is a text field: text fields take no part in the search for existing "
                    "records, so records found only by it are inserted again");
  }
}

int RunImport(TCommandContext& c, const TImportOptions& o) {
  CheckSource(o.Source);
  const TSourceSettings settings = ParseSourceSettings(o.TableParams);
  const TImportDefinition def =
      o.Definition.empty() ? TImportDefinition{} : LoadImportDefinition(o.Definition);

  auto ext = DataImportModule(c);
  const TFormatRef format = ChooseFormatFor(c, *ext, o.Source, o.Format, o.Filter);
  CheckSourceSettings(format, settings);
  auto schema = c.ModuleDatabase().GetSchemaByName(o.Table);
  if (!schema && o.CreateTable) {
    CreateTable(c, format, o, settings);
    schema = c.ModuleDatabase().GetSchemaByName(o.Table);
  }
  if (!schema)
    throw EUsageError("unknown table: " + o.Table +
                      (o.CreateTable ? "" : " (--create-table creates it from the source)"));
  CheckKeys(c, *schema,
            !o.Keys.empty() ? o.Keys : def.KeyFields.value_or(std::vector<std::string>{}));

  IPtr<IDataImport> imp = NewImport(c, *ext, o, format, EffectiveImportMode(o, def));
  ApplySourceSettings(*imp, format, settings);
  const bool header = PreparedEngine(format, o.Source, settings)->FirstRowIsHeader();
  if (!ApplyImportSettings(*imp, header, def, o)) {
    // Every import field to the database field of the same name (ignoring case); field lines
    // are "name" or "name=caption".
    std::vector<std::string> lines;
    std::string sourceFields;
    for (const std::string& line : ImportFields(format, o.Source, settings)) {
      const std::string field = FieldName(line);
      sourceFields += (sourceFields.empty() ? "" : ", ") + field;
      if (const auto* dbField = schema->FindField(field); dbField && !dbField->IsRecordID())
        lines.push_back(dbField->Name + "=" + field);
    }
    // Nothing assigned would write records of nothing but NULLs.
    if (lines.empty())
      throw EUsageError("no field of the source has the name of a field of table " + o.Table +
                        "\nsource fields: " + sourceFields + "\ntable fields: " +
                        FieldNames(*schema) + "\nassign them with --map DBFIELD=IMPORTFIELD");
    imp->Set_FieldAssignments(NewStringListData(lines));
  }

  IPtr<TCliCallBack> cb(new TCliCallBack(c));
  cb->Position = Supports<IDataImportPosition>(imp);
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
  auto* byGuid = cmd.add_option(
      "--format", format,
      "import format: a GUID or a short name (text, csv, dbf, packet, vcard, ldif, odbc, outlook "
      "or a data schema's name; see `velaimport formats`)");
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
  imp->add_flag("--create-table", io->CreateTable,
                "create the destination table from the source's fields when it does not exist");
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
