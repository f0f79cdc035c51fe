// velaimport formats, fields and import: file imports through the module's external function
// interface, as the host's menus and wizards run them.
#include <unistd.h>

#include <iostream>
#include <optional>

#include "Commands.h"
#include "ModuleHost.h"
#include "host/db/VelaDatabase.h"
#include "plugins/_DataImportSourceSettingsIntf.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/Classes.h"
#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

// An error of the command on stderr (a JSON line with --json).
void ReportError(const GlobalOptions& global, const std::string& text) {
  if (global.Json)
    std::cerr << "{\"type\":\"error\",\"message\":" << JsonQuote(text) << "}\n";
  else
    std::cerr << "error: " << text << "\n";
}

// A usage or configuration error: exit code 2.
VELA_DECLARE_EXCEPTION(EUsageError, Exception);

IPtr<IExtFuncDataImport> DataImportModule() {
  TModuleHost* host = CurrentModuleHost();
  IPtr<IInterface> ext;
  if (host && host->Plugin() && host->Plugin()->Do_GetExtFunc(IExtFuncDataImport::IID(), ext))
    if (auto intf = Supports<IExtFuncDataImport>(ext)) return intf;
  throw Exception("the module offers no data import interface");
}

// One registered format, in registry order.
struct TFormatRef {
  IPtr<IDataImportEngine> Engine;
  int32_t FormatIndex = -1;
  int32_t FilterIndex = 0;  // 0: not in the file dialog
  std::string GUID, Title, FileExt;
};

std::vector<TFormatRef> Formats(IExtFuncDataImport& ext) {
  std::vector<TFormatRef> result;
  auto list = CommaTextToStringListData(ext.Get_GUIDCommaText());
  int32_t filterIndex = 0;
  for (const std::string& item : list->Items()) {
    TFormatRef f;
    const std::string guid = item.substr(0, item.find('='));
    f.Engine = ext.Get_Engine(guid, f.FormatIndex);
    if (!f.Engine) continue;
    f.Engine->GetFormatInfo(f.FormatIndex, f.GUID, f.Title, f.FileExt);
    if (f.Engine->UseFormatForDialog(f.FormatIndex)) f.FilterIndex = ++filterIndex;
    result.push_back(std::move(f));
  }
  return result;
}

// A source that is not an ODBC connection string or an Outlook name must be an existing file.
void CheckSource(const std::string& source) {
  if (LowerCase(source).find("provider=") != std::string::npos) return;
  if (source.find('@') != std::string::npos) return;
  if (!FileExists(source)) throw EUsageError("file not found: " + source);
}

// The format that reads the source: by identity, by filter index, else the first format of the
// registry that takes the file.
TFormatRef ChooseFormat(IExtFuncDataImport& ext, const std::string& source, const std::string& guid,
                        int32_t filter) {
  std::string wanted = guid;
  if (filter > 0) {
    std::string title, fileExt;
    if (!ext.Get_FormatByFilterIndex(filter, wanted, title, fileExt))
      throw EUsageError("no import format with filter index " + IntToStr(filter));
  }
  for (auto& f : Formats(ext)) {
    if (!wanted.empty() ? SameText(f.GUID, wanted)
                        : f.Engine->IsFileForFormat(source, f.FormatIndex))
      return f;
  }
  if (!wanted.empty()) throw EUsageError("unknown import format " + wanted);
  throw EVelaUserMessageException("Can't find a import engine which supports the file '" + source +
                                  "'!");
}

// --table-param NAME=VALUE pairs: engine-specific source settings.
using TSourceSettings = std::vector<std::pair<std::string, std::string>>;

TSourceSettings ParseSourceSettings(const std::vector<std::string>& params) {
  TSourceSettings result;
  for (const auto& p : params) {
    const size_t eq = p.find('=');
    if (eq == std::string::npos || eq == 0)
      throw EUsageError("--table-param needs NAME=VALUE: " + p);
    result.emplace_back(p.substr(0, eq), p.substr(eq + 1));
  }
  return result;
}

[[noreturn]] void NoSourceSettings(const TFormatRef& f) {
  throw EUsageError("--table-param: the format '" + f.Title + "' (" + f.Engine->GetTitle() +
                    ") takes no source settings");
}

[[noreturn]] void UnknownSourceSetting(const TFormatRef& f, const std::string& name) {
  throw EUsageError("--table-param: unknown source setting '" + name + "' for the format '" +
                    f.Title + "' (" + f.Engine->GetTitle() + ")");
}

// An engine with source settings reads nothing without them: the database import needs the
// table. Said before the engine fails with a less helpful error.
void CheckSettingsGiven(const TFormatRef& f, const TSourceSettings& settings) {
  if (settings.empty() && Supports<IImportSourceSettings>(f.Engine))
    throw EUsageError("the format '" + f.Title + "' (" + f.Engine->GetTitle() +
                      ") needs source settings: give the table to read with --table-param "
                      "table=NAME");
}

// A fresh engine instance set up for the source, with the source settings (which have to follow
// SetParameter, since it forgets them).
IPtr<IDataImportEngine> PreparedEngine(const TFormatRef& f, const std::string& source,
                                       const TSourceSettings& settings) {
  auto engine = f.Engine->NewInstance();
  engine->SetParameter(source, f.FormatIndex, {}, nullptr);
  if (!settings.empty()) {
    auto intf = Supports<IImportSourceSettings>(engine);
    if (!intf) NoSourceSettings(f);
    for (const auto& [name, value] : settings)
      if (!intf->SetSourceParameter(name, value)) UnknownSourceSetting(f, name);
  }
  return engine;
}

std::vector<std::string> ImportFields(const TFormatRef& f, const std::string& source,
                                      const TSourceSettings& settings) {
  auto engine = PreparedEngine(f, source, settings);
  IPtr<IStringListData> fields;
  if (!engine->QueryFields(fields, false)) {
    // Without a user interface the engine's own message is not shown: name what was asked.
    std::string text = "the format '" + f.Title + "' (" + f.Engine->GetTitle() +
                       ") cannot read the fields of the source";
    for (size_t i = 0; i < settings.size(); ++i)
      text += (i ? ", " : " with ") + settings[i].first + "=" + settings[i].second;
    throw Exception(text);
  }
  return StringListDataToVector(fields.get());
}

// --- formats ---

int ListFormats(const GlobalOptions& global) {
  auto ext = DataImportModule();
  const auto formats = Formats(*ext);
  if (global.Json) std::cout << "[";
  bool first = true;
  for (const auto& f : formats) {
    const std::string engine = f.Engine->GetTitle();
    if (global.Json) {
      std::cout << (first ? "" : ",") << "{\"filterIndex\":"
                << (f.FilterIndex ? IntToStr(f.FilterIndex) : std::string("null"))
                << ",\"guid\":" << JsonQuote(f.GUID) << ",\"title\":" << JsonQuote(f.Title)
                << ",\"fileExt\":" << JsonQuote(f.FileExt) << ",\"engine\":" << JsonQuote(engine)
                << "}";
    } else {
      std::cout << (f.FilterIndex ? IntToStr(f.FilterIndex) : std::string("-")) << "\t" << f.GUID
                << "\t" << f.Title << "\t" << f.FileExt << "\t" << engine << "\n";
    }
    first = false;
  }
  if (global.Json) std::cout << "]\n";
  if (!global.Json && formats.empty() && !global.Quiet)
    std::cerr << "no import formats registered\n";
  return kExitOk;
}

// --- fields ---

struct FieldsOptions {
  std::string Source;
  std::string Format;
  int32_t Filter = 0;
  std::vector<std::string> TableParams;
};

int ListFields(const GlobalOptions& global, const FieldsOptions& o) {
  CheckSource(o.Source);
  const TSourceSettings settings = ParseSourceSettings(o.TableParams);
  auto ext = DataImportModule();
  const TFormatRef format = ChooseFormat(*ext, o.Source, o.Format, o.Filter);
  CheckSettingsGiven(format, settings);
  const auto fields = ImportFields(format, o.Source, settings);
  if (global.Json) {
    std::cout << "[";
    for (size_t i = 0; i < fields.size(); ++i)
      std::cout << (i ? "," : "") << JsonQuote(fields[i]);
    std::cout << "]\n";
  } else {
    for (const auto& f : fields)
      std::cout << f << "\n";
  }
  return kExitOk;
}

// --- import ---

struct ImportOptions {
  std::string Source;
  std::string Table;
  std::string Format;
  int32_t Filter = 0;
  std::string Mode;
  std::vector<std::string> Keys;
  std::vector<std::string> Maps;
  std::string Definition;
  bool Simulate = false;
  bool Transaction = false;
  bool Clear = false;
  bool SkipFirst = false;
  bool NoSkipFirst = false;
  bool AbortOnError = false, AbortOnWarning = false;
  bool IgnoreOnError = false, IgnoreOnWarning = false;
  bool RollbackOnError = false, RollbackOnWarning = false;
  std::vector<std::string> TableParams;
};

TImportMode ModeFromName(const std::string& name) {
  if (SameText(name, "update")) return DimUpdate;
  if (SameText(name, "onlynew")) return DimOnlyNew;
  if (SameText(name, "cleancopy")) return DimCleanCopy;
  throw EUsageError("unknown import mode '" + name + "' (update, onlynew or cleancopy)");
}

// The value without a trailing "; comment".
std::string StripComment(std::string_view value) {
  for (size_t p = value.find(';'); p != std::string_view::npos; p = value.find(';', p + 1))
    if (p == 0 || value[p - 1] == ' ' || value[p - 1] == '\t') return Trim(value.substr(0, p));
  return Trim(value);
}

class TDefinition {
 public:
  explicit TDefinition(const std::string& fileName) : FIni(fileName) {
    if (!FileExists(fileName)) throw EUsageError("definition file not found: " + fileName);
  }
  std::optional<std::string> Value(std::string_view section, std::string_view name) const {
    if (!FIni.ValueExists(section, name)) return std::nullopt;
    return StripComment(FIni.ReadString(section, name, ""));
  }
  std::optional<bool> Flag(std::string_view section, std::string_view name) const {
    auto v = Value(section, name);
    if (!v) return std::nullopt;
    return StrToIntDef(*v, 0) != 0;
  }
  int Int(std::string_view section, std::string_view name, int def) const {
    auto v = Value(section, name);
    return v ? StrToIntDef(*v, def) : def;
  }
  // The lines of a section without comments and empty lines.
  std::vector<std::string> Lines(std::string_view section) const {
    TStringList lines;
    FIni.ReadSectionValues(section, lines);
    std::vector<std::string> r;
    for (int i = 0; i < lines.Count(); ++i) {
      std::string line = StripComment(lines[i]);
      if (!line.empty() && line[0] != ';') r.push_back(std::move(line));
    }
    return r;
  }
  std::vector<std::string> Sections() const {
    TStringList s;
    FIni.ReadSections(s);
    return s.Lines();
  }

 private:
  TMemIniFile FIni;
};

void ApplyDefinition(const TDefinition& def, IDataImport& imp, bool& assigned) {
  if (auto v = def.Value("Import", "Mode")) imp.Set_ImportMode(ModeFromName(*v));
  if (auto v = def.Value("Import", "KeyFields")) imp.Set_KeyFields(CommaTextToStringListData(*v));
  if (auto v = def.Flag("Import", "SkipFirstRecord")) imp.Set_SkipFirstRecord(*v);
  if (auto v = def.Flag("Import", "UseTransactions")) imp.Set_UseTransactions(*v);
  if (auto v = def.Flag("Import", "AbortOnError")) imp.Set_AbortOnError(*v);
  if (auto v = def.Flag("Import", "AbortOnWarning")) imp.Set_AbortOnWarning(*v);
  if (auto v = def.Flag("Import", "ClearDestination")) imp.Set_ClearDestination(*v);

  const auto assignments = def.Lines("Assignments");
  if (!assignments.empty()) {
    imp.Set_FieldAssignments(NewStringListData(assignments));
    assigned = true;
  }
  if (const auto adv = def.Lines("AdvFields"); !adv.empty())
    imp.Set_AdvFields(NewStringListData(adv));

  for (const std::string& section : def.Sections()) {
    if (section.size() > 6 && SameText(section.substr(0, 6), "Field:")) {
      IAdvFieldData* f = imp.Get_AdvFieldSettings()->Add(section.substr(6));
      f->Set_UseFixValue(def.Flag(section, "UseFixValue").value_or(false));
      if (auto v = def.Value(section, "FixValue")) f->Set_FixValue(*v);
      f->Set_AutoValue(def.Flag(section, "AutoValue").value_or(false));
      if (auto v = def.Value(section, "AutoValueString")) f->Set_AutoValueString(*v);
      f->Set_StepStart(def.Int(section, "StepStart", f->Get_StepStart()));
      f->Set_StepWidth(def.Int(section, "StepWidth", f->Get_StepWidth()));
      f->Set_LeftTrim(def.Flag(section, "LeftTrim").value_or(false));
      f->Set_RightTrim(def.Flag(section, "RightTrim").value_or(false));
      const int caseMode = def.Int(section, "CaseMode", 0);
      if (caseMode < cmNone || caseMode > cmLower)
        throw EUsageError("[" + section + "] CaseMode must be 0 to 3");
      f->Set_CaseMode(static_cast<TCaseMode>(caseMode));
      for (int n = 1;; ++n) {
        auto v = def.Value(section, "Replace" + IntToStr(n));
        if (!v) break;
        const size_t p1 = v->find('|');
        const size_t p2 = p1 == std::string::npos ? p1 : v->find('|', p1 + 1);
        IReplacement* r = f->Get_Replacements()->Add();
        r->Set_SearchStr(v->substr(0, p1));
        if (p1 != std::string::npos) r->Set_ReplaceStr(v->substr(p1 + 1, p2 - p1 - 1));
        r->Set_CaseSensitive(p2 != std::string::npos && StrToIntDef(v->substr(p2 + 1), 0) != 0);
      }
    }
  }

  for (int n = 1;; ++n) {
    const std::string section = "Condition" + IntToStr(n);
    if (!def.Value(section, "Field")) break;
    IFieldChangeCondition* c = imp.Get_FieldChangeConditions()->Add();
    c->Set_ConditionField(*def.Value(section, "Field"));
    const std::string cond = def.Value(section, "Condition").value_or("equal");
    if (SameText(cond, "equal"))
      c->Set_Condition(coEqual);
    else if (SameText(cond, "notequal"))
      c->Set_Condition(coNotEqual);
    else
      throw EUsageError("[" + section + "] Condition must be equal or notequal");
    c->Set_ConditionValue(def.Value(section, "Value").value_or(""));
    const std::string check = def.Value(section, "CheckMode").value_or("before");
    if (SameText(check, "before"))
      c->Set_ConditionCheckMode(ccmBeforeKeySearch);
    else if (SameText(check, "after"))
      c->Set_ConditionCheckMode(ccmAfterKeySearch);
    else
      throw EUsageError("[" + section + "] CheckMode must be before or after");
    const std::string action = def.Value(section, "Action").value_or("ignore");
    if (SameText(action, "ignore"))
      c->Set_Action(caIgnoreRecord);
    else if (SameText(action, "replace"))
      c->Set_Action(caReplaceField);
    else
      throw EUsageError("[" + section + "] Action must be ignore or replace");
    c->Set_DestinationField(def.Value(section, "DestinationField").value_or(""));
    c->Set_ReplaceField(def.Value(section, "ReplaceField").value_or(""));
  }
}

// Reports the run: messages on stderr (or JSON lines), a progress line on a terminal.
class TCliCallBack : public TInterfacedObject, public IDataImportCallBack {
  VELA_INTERFACES(TInterfacedObject, IDataImportCallBack)

  explicit TCliCallBack(const GlobalOptions& global)
      : FGlobal(global), FProgress(!global.NoProgress && !global.Json && ::isatty(2)) {}

  TMessageCounts Counts;

  void Do_AfterInsert(bool, int64_t) override { Step(); }
  void Do_AfterUpdate(bool, int64_t) override { Step(); }
  void Do_BeforeDelete(bool, int64_t, bool&) override {}
  void Do_Message(TImportMessageType AMsgType, const std::string& AMsg) override {
    const int type = AMsgType < imtInformation || AMsgType > imtError ? imtError : AMsgType;
    ++Counts[type];
    if (type == imtInformation && FGlobal.Quiet) return;
    static const char* const kNames[] = {"info", "warning", "error"};
    EndProgressLine();
    if (FGlobal.Json)
      std::cerr << "{\"type\":\"" << kNames[type] << "\",\"message\":" << JsonQuote(AMsg) << "}\n";
    else
      std::cerr << kNames[type] << ": " << AMsg << "\n";
  }
  bool Do_AdvFieldImport(bool, int64_t, const std::string&, const std::string&, bool) override {
    return true;
  }
  void EndProgressLine() {
    if (FLineOpen) std::cerr << "\r\033[K" << std::flush;
    FLineOpen = false;
  }

 private:
  void Step() {
    ++FRecords;
    if (!FProgress || FRecords % 100 != 0) return;
    std::cerr << "\rrecords written: " << FRecords << std::flush;
    FLineOpen = true;
  }

  const GlobalOptions& FGlobal;
  bool FProgress;
  bool FLineOpen = false;
  int64_t FRecords = 0;
};

// The database for the module while the command runs.
class TDatabaseForModule {
 public:
  explicit TDatabaseForModule(const GlobalOptions& global) : FDb(OpenHostDatabase(global)) {
    if (TModuleHost* host = CurrentModuleHost())
      FMain = dynamic_cast<TVelaMainInterface*>(host->MainInterface());
    if (!FMain) throw Exception("the host's main interface takes no database");
    FMain->SetDatabase(FDb.get());
    // The data modules label the host tables' fields in the user's language.
    CurrentModuleHost()->Plugin()->Do_SetLanguage(FMain->Get_Language());
  }
  ~TDatabaseForModule() { FMain->SetDatabase(nullptr); }
  TVelaDatabase& Db() { return *FDb; }

 private:
  std::unique_ptr<TVelaDatabase> FDb;
  TVelaMainInterface* FMain = nullptr;
};

int RunImport(const GlobalOptions& global, const ImportOptions& o) {
  CheckSource(o.Source);
  const TSourceSettings settings = ParseSourceSettings(o.TableParams);
  std::optional<TDefinition> def;
  if (!o.Definition.empty()) def.emplace(o.Definition);
  const TImportMode mode = ModeFromName(o.Mode.empty() ? std::string("update") : o.Mode);

  TDatabaseForModule database(global);
  auto schema = database.Db().GetSchemaByName(o.Table);
  if (!schema) throw EUsageError("unknown table: " + o.Table);

  auto ext = DataImportModule();
  const TFormatRef format = ChooseFormat(*ext, o.Source, o.Format, o.Filter);
  CheckSettingsGiven(format, settings);
  IPtr<IDataImport> imp;
  if (!o.Format.empty())
    imp = ext->Do_ImportEx2(o.Source, o.Table, mode, o.Format, false);
  else if (o.Filter > 0)
    imp = ext->Do_ImportEx1(o.Source, o.Table, mode, o.Filter, false);
  else
    imp = ext->Do_Import(o.Source, o.Table, mode, false);
  if (!imp) {
    // The module refuses silently without the import right; any other reason it has shown.
    if (IMainInterface* mi = CurrentModuleHost()->MainInterface(); !mi->HasRight(100))
      ReportError(global, "the user lacks right 100 (access to the data import)");
    return kExitFailed;
  }

  // The object hands the source settings to its engine on every run.
  if (!settings.empty()) {
    auto intf = Supports<IDataImportSourceSettings>(imp);
    if (!intf || !intf->Get_HasSourceSettings()) NoSourceSettings(format);
    for (const auto& [name, value] : settings)
      if (!intf->Set_SourceSetting(name, value)) UnknownSourceSetting(format, name);
  }

  // The format's header flag, unless the definition or an option decides.
  imp->Set_SkipFirstRecord(PreparedEngine(format, o.Source, settings)->FirstRowIsHeader());
  bool assigned = false;
  if (def) ApplyDefinition(*def, *imp, assigned);
  if (!o.Mode.empty()) imp->Set_ImportMode(mode);
  if (!o.Keys.empty()) imp->Set_KeyFields(NewStringListData(o.Keys));
  if (!o.Maps.empty()) {
    for (const auto& m : o.Maps)
      if (m.find('=') == std::string::npos)
        throw EUsageError("--map needs DBFIELD=IMPORTFIELD: " + m);
    imp->Set_FieldAssignments(NewStringListData(o.Maps));
    assigned = true;
  }
  if (!assigned) {
    // Every import field to the database field of the same name, ignoring case.
    std::vector<std::string> lines;
    // Field lines are "name" or "name=caption".
    for (const std::string& line : ImportFields(format, o.Source, settings)) {
      const std::string field = line.substr(0, line.find('='));
      if (const auto* dbField = schema->FindField(field); dbField && !dbField->IsRecordID())
        lines.push_back(dbField->Name + "=" + field);
    }
    imp->Set_FieldAssignments(NewStringListData(lines));
  }
  if (o.Transaction) imp->Set_UseTransactions(true);
  if (o.Clear) imp->Set_ClearDestination(true);
  if (o.SkipFirst) imp->Set_SkipFirstRecord(true);
  if (o.NoSkipFirst) imp->Set_SkipFirstRecord(false);
  if (o.AbortOnError) imp->Set_AbortOnError(true);
  if (o.AbortOnWarning) imp->Set_AbortOnWarning(true);
  if (o.IgnoreOnError) imp->Set_IgnoreRecordOnError(true);
  if (o.IgnoreOnWarning) imp->Set_IgnoreRecordOnWarning(true);
  if (o.RollbackOnError) imp->Set_RollBackOnError(true);
  if (o.RollbackOnWarning) imp->Set_RollBackOnWarning(true);

  IPtr<TCliCallBack> cb(new TCliCallBack(global));
  const bool ok = imp->Do_Execute(IPtr<IDataImportCallBack>(cb.get()), o.Simulate);
  cb->EndProgressLine();
  int32_t inserted = 0, updated = 0;
  imp->Do_QueryImportResult(inserted, updated);
  const auto& c = cb->Counts;
  if (global.Json) {
    std::cout << "{\"result\":" << (ok ? "true" : "false") << ",\"inserted\":" << inserted
              << ",\"updated\":" << updated << ",\"messages\":{\"info\":" << c[0]
              << ",\"warning\":" << c[1] << ",\"error\":" << c[2] << "}}\n";
  } else if (!global.Quiet) {
    std::cout << (o.Simulate ? "simulated: " : "") << "inserted " << inserted << ", updated "
              << updated << "; messages: " << c[0] << " info, " << c[1] << " warning, " << c[2]
              << " error\n";
  }
  if (!ok) return kExitFailed;
  return c[2] > 0 ? kExitRecordErrors : kExitOk;
}

// Runs a command body: usage errors give 2, other failures 1, a cancel 1 without text.
int Guarded(const GlobalOptions& global, const std::function<int()>& body) {
  auto report = [&](const std::string& text) { ReportError(global, text); };
  try {
    return body();
  } catch (const EUsageError& e) {
    report(e.Message());
    return kExitUsage;
  } catch (const EAbort&) {
    return kExitFailed;
  } catch (const EVelaUserMessageException& e) {
    report(e.Message());
    return kExitFailed;
  } catch (const std::exception& e) {
    report(ExceptionText(e));
    return kExitFailed;
  }
}

}  // namespace

void RegisterImportCommands(CLI::App& app, GlobalOptions& global, CommandAction& action) {
  auto* formats = app.add_subcommand(
      "formats", "every registered import format: filter index, GUID, title, extension, engine");
  formats->callback([&action, &global] {
    action = [&global] { return Guarded(global, [&] { return ListFormats(global); }); };
  });

  auto fo = std::make_shared<FieldsOptions>();
  auto* fields = app.add_subcommand("fields", "the field list of an import source");
  fields->add_option("SOURCE", fo->Source, "file, ODBC connection string or Outlook source")
      ->required();
  auto* fFormat = fields->add_option("--format", fo->Format, "import format GUID");
  fields->add_option("--filter", fo->Filter, "file dialog filter index (1 is the first)")
      ->excludes(fFormat);
  fields
      ->add_option("--table-param", fo->TableParams,
                   "engine-specific source setting NAME=VALUE, e.g. table=customers for an "
                   "ODBC source (repeatable)")
      ->allow_extra_args(false);
  fields->callback([&action, &global, fo] {
    action = [&global, fo] { return Guarded(global, [&] { return ListFields(global, *fo); }); };
  });

  auto io = std::make_shared<ImportOptions>();
  auto* imp = app.add_subcommand("import", "imports a source into a table");
  imp->add_option("SOURCE", io->Source, "file, ODBC connection string or Outlook source")
      ->required();
  imp->add_option("--table", io->Table, "destination table")->required();
  auto* iFormat = imp->add_option("--format", io->Format, "import format GUID");
  imp->add_option("--filter", io->Filter, "file dialog filter index")->excludes(iFormat);
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
  imp->add_option("--table-param", io->TableParams,
                  "engine-specific source setting NAME=VALUE, e.g. table=customers for an ODBC "
                  "source (repeatable)")
      ->allow_extra_args(false);
  imp->callback([&action, &global, io] {
    action = [&global, io] { return Guarded(global, [&] { return RunImport(global, *io); }); };
  });
}

}  // namespace vela::cli
