// velaimport xml-import, xml-export, vxc, schedule and pickup: VelaXML exchange through the
// module's external function interface, as the host's menus, wizards and scheduler run it.
#include <fstream>
#include <iostream>
#include <sstream>

#include "Commands.h"
#include "ModuleHost.h"
#include "host/HostServices.h"
#include "host/Scheduler.h"
#include "host/db/DbConnection.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

IPtr<IExtFuncDataImport> DataImportModule(TCommandContext& c) {
  return c.ModuleFunction<IExtFuncDataImport>("data import interface");
}

// NAME=VALUE pairs of repeated options as a named list (nil for none).
IPtr<INamedVariantListData> NamedValues(const std::vector<std::string>& APairs,
                                        const char* AOption) {
  if (APairs.empty()) return nullptr;
  IPtr<INamedVariantListData> list = NewNamedVariantListData();
  for (const auto& pair : APairs) {
    const size_t eq = pair.find('=');
    if (eq == std::string::npos || eq == 0)
      throw EUsageError(std::string(AOption) + " expects NAME=VALUE, got '" + pair + "'");
    list->SetValueByName(pair.substr(0, eq), Variant(pair.substr(eq + 1)));
  }
  return list;
}

std::string ReadTextFile(const std::string& AFileName) {
  std::ifstream in(AFileName, std::ios::binary);
  if (!in) throw ECommandFailed("cannot read '" + AFileName + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A failed run: its message (a cancel has none) and exit code 1.
int Failed(TCommandContext& c, const std::string& AMessage) {
  if (!AMessage.empty()) c.Message(TMessageKind::Error, AMessage);
  return kExitFailed;
}

// --- xml-import ---

struct TXMLImportOptions {
  std::string Source;
  std::string PreProcessor;
  std::string Param;
  std::string ParamText;
  bool NoLog = false;
  std::vector<std::string> Sets;
};

int RunXMLImportCommand(TCommandContext& c, const TXMLImportOptions& o) {
  IPtr<INamedVariantListData> overrides = NamedValues(o.Sets, "--set");
  c.ModuleDatabase();
  std::string message;
  const bool rawParam = !o.ParamText.empty();
  if (!DataImportModule(c)->Do_RunXMLImport(
          o.Source, message, o.PreProcessor, rawParam ? o.ParamText : o.Param,
          rawParam ? xmpRAW : xmpFile, false, nullptr, !o.NoLog, overrides))
    return Failed(c, message);
  c.Message(TMessageKind::Info, "imported '" + o.Source + "'");
  return kExitOk;
}

// --- xml-export ---

struct TXMLExportOptions {
  std::string Target;
  std::string Parts;
  std::string PreProcessor;
  std::string Param;
  bool OnlyThisPlace = false;
  std::string Application;
  std::vector<std::string> Options;
};

int RunXMLExportCommand(TCommandContext& c, const TXMLExportOptions& o) {
  IPtr<INamedVariantListData> options = NamedValues(o.Options, "--option");
  // Parts are tables: a name that is none would be skipped without a word.
  TVelaDatabase& db = c.ModuleDatabase();
  const std::vector<std::string> parts =
      StringListDataToVector(CommaTextToStringListData(o.Parts).get());
  int missing = 0;
  for (const auto& part : parts) {
    if (db.GetSchemaByName(part)) continue;
    ++missing;
    c.Message(TMessageKind::Warning, "no table '" + part + "' in the database: not exported");
  }
  if (missing == static_cast<int>(parts.size()))
    throw ECommandFailed("none of the parts '" + o.Parts + "' is a table of the database");
  std::string message;
  if (!DataImportModule(c)->Do_RunXMLExport(o.Target, CommaTextToStringListData(o.Parts), message,
                                            o.PreProcessor, o.Param, o.OnlyThisPlace, options,
                                            o.Application, xmpFile, nullptr, false))
    return Failed(c, message);
  c.Message(TMessageKind::Info, "exported to '" + o.Target + "'");
  return kExitOk;
}

// --- vxc ---

struct TVXCOptions {
  std::string Config;
  std::string Action;
  std::string In;
  std::string Parts;
};

int RunVXCCommand(TCommandContext& c, const TVXCOptions& o) {
  if (!FileExists(o.Config))
    throw EUsageError("the configuration '" + o.Config + "' does not exist");
  c.ModuleDatabase();
  std::string message;
  const TVXCAction action = o.Action == "export" ? vxcExport : vxcImport;
  IPtr<IStringListData> parts = o.Parts.empty() ? nullptr : CommaTextToStringListData(o.Parts);
  if (!DataImportModule(c)->Do_ExecuteVXC(o.Config, xmpFile, action, message, o.In, parts, nullptr,
                                          false, nullptr, true)) {
    if (message.empty())
      message = "nothing was run: the configuration names no data file (give one with --in)";
    return Failed(c, message);
  }
  c.Message(TMessageKind::Info, o.Action + " of '" + o.Config + "' finished");
  return kExitOk;
}

// --- schedule ---

int RunScheduleCommand(TCommandContext& c, const std::string& AAction,
                       const std::string& AConfigFile) {
  const std::string config = ReadTextFile(AConfigFile);
  c.ModuleDatabase();
  DataImportModule(c);  // loads and starts the module, which registers its actions
  IPtr<IVelaScheduleService> service = Supports<IVelaScheduleService>(c.Module().MainInterface());
  if (!service) throw ECommandFailed("the host offers no scheduler");
  TVelaScheduler& scheduler = service->Get_Scheduler();
  TScheduleAction action;
  if (!scheduler.Find(AAction, action)) {
    std::string known;
    for (const auto& a : scheduler.Actions())
      known += (known.empty() ? "" : ", ") + a.Caption;
    throw EUsageError("unknown scheduled action '" + AAction + "' (known: " + known + ")");
  }
  bool failed = false;
  const bool ok = scheduler.Run(
      AAction, config,
      [&](const std::string& ACaption, TScheduleMessageType AType, const std::string& AText) {
        if (AType == smtError) failed = true;
        std::cout << ACaption << "\t" << (AType == smtError ? "error" : "info") << "\t" << AText
                  << "\n";
      });
  return ok && !failed ? kExitOk : kExitFailed;
}

// --- pickup ---

int ListPickup(TCommandContext& c) {
  TVelaDatabase& db = c.Database();
  TJson json = TJson::array();
  {
    auto conn = db.Connection();
    MigrateHostTables(*conn);
    auto st = conn->PrepareNew(
        "SELECT \"id\", \"storetype\", \"searchkeywords\", \"processedstate\", "
        "\"processederrormsg\" FROM \"dataimport_userpickupstore\" ORDER BY \"id\"");
    st->Execute();
    while (st->Next()) {
      auto text = [&](int col) {
        return st->ColumnIsNull(col) ? std::string() : std::string(st->ColumnText(col));
      };
      json.push_back(TJson{{"id", st->ColumnInt64(0)},
                           {"storetype", text(1)},
                           {"keywords", text(2)},
                           {"state", st->ColumnIsNull(3) ? 0 : st->ColumnInt64(3)},
                           {"error", text(4)}});
    }
    st->Reset();
  }
  static const char* kStates[] = {"new", "success", "failed", "deleted"};
  c.Output(json, [&](std::ostream& out) {
    for (const auto& row : json) {
      const int64_t state = row["state"].get<int64_t>();
      out << row["id"].get<int64_t>() << "\t" << row["storetype"].get<std::string>() << "\t"
          << row["keywords"].get<std::string>() << "\t"
          << (state >= 0 && state <= 3 ? kStates[state] : "?") << "\t"
          << row["error"].get<std::string>() << "\n";
    }
  });
  if (json.empty()) c.Message(TMessageKind::Info, "the user pick-up store is empty");
  return kExitOk;
}

int ImportPickup(TCommandContext& c, const std::vector<int64_t>& AIds) {
  c.ModuleDatabase();
  IPtr<IIntegerListData> ids = NewIntegerListData(AIds);
  DataImportModule(c)->Do_ExecuteUserPickupImport(ids, nullptr);
  // The outcome of each document is stored with it.
  return ListPickup(c);
}

}  // namespace

void RegisterVelaXMLCommands(TCommandLine& cli) {
  auto io = std::make_shared<TXMLImportOptions>();
  auto* imp = cli.Add("xml-import", "imports a VelaXML document (a file, a wildcard or a URL)",
                      [io](TCommandContext& c) { return RunXMLImportCommand(c, *io); });
  imp->add_option("source", io->Source, "file, wildcard, or http(s)/ftp URL")->required();
  imp->add_option("--preprocessor", io->PreProcessor, "pre-processor library");
  auto* param = imp->add_option("--param", io->Param, "pre-processor configuration file");
  imp->add_option("--param-text", io->ParamText, "pre-processor configuration text")
      ->excludes(param);
  imp->add_flag("--no-log", io->NoLog, "do not record the run in the import log");
  imp->add_option("--set", io->Sets, "part attribute override NAME=VALUE (repeatable)")
      ->allow_extra_args(false);

  auto eo = std::make_shared<TXMLExportOptions>();
  auto* exp = cli.Add("xml-export", "exports VelaXML parts to a file or a URL",
                      [eo](TCommandContext& c) { return RunXMLExportCommand(c, *eo); });
  exp->add_option("target", eo->Target, "file or http(s)/ftp URL")->required();
  exp->add_option("--parts", eo->Parts, "parts to export, comma separated")->required();
  exp->add_option("--preprocessor", eo->PreProcessor, "pre-processor library");
  exp->add_option("--param", eo->Param, "pre-processor configuration file");
  exp->add_flag("--only-this-place", eo->OnlyThisPlace, "only this installation's data");
  exp->add_option("--application", eo->Application, "application caption in the document");
  exp->add_option("--option", eo->Options, "writer option NAME=VALUE (repeatable)")
      ->allow_extra_args(false);

  auto vo = std::make_shared<TVXCOptions>();
  auto* vxc = cli.Add("vxc", "runs an import or export described by a VXC configuration",
                      [vo](TCommandContext& c) { return RunVXCCommand(c, *vo); });
  vxc->add_option("config", vo->Config, "VXC configuration file")->required();
  vxc->add_option("action", vo->Action, "import or export")
      ->required()
      ->check(CLI::IsMember({"import", "export"}));
  vxc->add_option("--in", vo->In, "data file (instead of the configured one)");
  vxc->add_option("--parts", vo->Parts, "parts to export, comma separated");

  auto so = std::make_shared<std::pair<std::string, std::string>>();
  auto* sch =
      cli.Add("schedule", "runs a scheduled action with its key=value configuration",
              [so](TCommandContext& c) { return RunScheduleCommand(c, so->first, so->second); });
  sch->add_option("action", so->first, "VelaXML-Import, VelaXML-Export or Script")->required();
  sch->add_option("config", so->second, "configuration file (key=value lines)")->required();

  auto* pickup = cli.AddGroup("pickup", "the user pick-up store");
  cli.Add(*pickup, "list", "the stored documents with their state", ListPickup);
  auto ids = std::make_shared<std::vector<int64_t>>();
  auto* pimp = cli.Add(*pickup, "import", "imports stored documents",
                       [ids](TCommandContext& c) { return ImportPickup(c, *ids); });
  pimp->add_option("id", *ids, "record identifiers")->required();
}

}  // namespace vela::cli
