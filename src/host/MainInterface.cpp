#include "host/MainInterface.h"

#include "host/DocumentStore.h"
#include "host/ScriptScheduleAction.h"
#include "host/db/DbConnection.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "platform/script/ScriptEngine.h"
#include "host/velaxml/VelaXMLImportContainer.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

TVelaMainInterface::TVelaMainInterface(std::string applicationFolder, THostKind hostKind,
                                       std::string applicationTitle)
    : FApplicationFolder(std::move(applicationFolder)),
      FHostKind(hostKind),
      FApplicationTitle(std::move(applicationTitle)),
      FGlobalSettings(NewStringListData()),
      FEventLog(std::make_shared<TVelaEventLog>()) {
  if (FApplicationFolder.empty()) FApplicationFolder = GetApplicationFolder();
  FApplicationFolder = NormalizePathDelims(FApplicationFolder);
  if (FApplicationFolder.size() > 1)
    FApplicationFolder = ExcludeTrailingPathDelimiter(FApplicationFolder);
  // The host's own scheduled action: Lua scripts of the application folder.
  RegisterScriptScheduleAction(TVelaScheduler::Instance(), FApplicationFolder);
}

std::string TVelaMainInterface::Get_ApplicationFolder() noexcept {
  return FApplicationFolder;
}

std::string TVelaMainInterface::ExpandPathMacros(const std::string& APath) noexcept {
  return ExpandApplicationPathMacros(FApplicationFolder, APath);
}

std::string ExpandApplicationPathMacros(const std::string& AApplicationFolder,
                                        const std::string& APath) {
  const std::string& app = AApplicationFolder;
  struct Macro {
    std::string_view Name;
    std::string Value;
  };
  // "$APP$" last: the other macros expand to folders below it.
  const Macro macros[] = {
      {"$PLUGINS$", app + "/custom/plugins"},
      {"$CUSTOM$", app + "/custom"},
      {"$TEMP$", GetTempDirectory()},
      {"$APP$", app},
  };
  std::string result = APath;
  for (const auto& m : macros) {
    if (PosText(m.Name, result) != std::string::npos)
      result = StringReplace(result, m.Name, m.Value, rfReplaceAll | rfIgnoreCase);
  }
  return NormalizePathDelims(result);
}

std::string TVelaMainInterface::ExpandPlaceholders(const std::string& AText,
                                                   INamedVariantListData* AValues) noexcept {
  std::string result;
  result.reserve(AText.size());
  size_t p = 0;
  while (p < AText.size()) {
    const size_t open = AText.find('%', p);
    const size_t close = open == std::string::npos ? open : AText.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(AText, p, std::string::npos);
      break;
    }
    result.append(AText, p, open - p);
    const std::string_view name(AText.data() + open + 1, close - open - 1);
    std::string value;
    bool known = false;
    if (AValues && !name.empty() && AValues->IndexOf(name) >= 0) {
      value = VarToStr(AValues->ValueByName(name));
      known = true;
    } else if (SameText(name, "APPTITLE")) {
      value = Get_ApplicationTitle();
      known = true;
    } else if (SameText(name, "USERNAME")) {
      value = Get_UserName();
      known = true;
    } else if (SameText(name, "USERID")) {
      value = IntToStr(FSession.UserId());
      known = true;
    }
    if (known) {
      result.append(value);
      p = close + 1;
    } else {
      // Keep the first '%' and look for a placeholder from the second one on.
      result.push_back('%');
      p = open + 1;
    }
  }
  return result;
}

std::string TVelaMainInterface::Get_ApplicationTitle() noexcept {
  std::lock_guard lock(FLock);
  return FApplicationTitle;
}

void TVelaMainInterface::SetApplicationTitle(std::string title) {
  std::lock_guard lock(FLock);
  FApplicationTitle = std::move(title);
}

TDateTime TVelaMainInterface::Get_CurrentTime() noexcept {
  return Now();
}

TArdoLanguage TVelaMainInterface::Get_Language() noexcept {
  return FSession.Language();
}

bool TVelaMainInterface::HasRight(int32_t ARight) noexcept {
  return FSession.HasRight(ARight);
}

std::string TVelaMainInterface::Get_UserName() noexcept {
  return FSession.UserName();
}

IPtr<IStringListData> TVelaMainInterface::Get_GlobalSettings() noexcept {
  std::lock_guard lock(FLock);
  // A copy: the caller may keep and change it without touching the host's settings.
  return NewStringListData(FGlobalSettings->Items());
}

void TVelaMainInterface::SetGlobalSetting(std::string_view name, std::string_view value) {
  std::lock_guard lock(FLock);
  const std::string prefix = std::string(name) + "=";
  for (int i = 0; i < FGlobalSettings->Get_Count(); ++i) {
    if (StartsText(prefix, FGlobalSettings->Get_Item(i))) {
      FGlobalSettings->Set_Item(i, prefix + std::string(value));
      return;
    }
  }
  FGlobalSettings->Add(prefix + std::string(value));
}

namespace {

// The settings table is a host table; a database opened without them gets it on first use.
void EnsureSettingsTable(TDbConnection& conn) {
  if (!conn.TableExists("vela_globalsetting")) MigrateHostTables(conn);
}

}  // namespace

std::string TVelaMainInterface::ReadString(std::string_view ASection, std::string_view AName,
                                           std::string_view ADefault) {
  TVelaDatabase* db;
  {
    std::lock_guard lock(FLock);
    db = FDatabase;
    if (!db) {
      auto it = FSectionSettings.find(LowerCase(ASection) + "\n" + LowerCase(AName));
      return it == FSectionSettings.end() ? std::string(ADefault) : it->second;
    }
  }
  auto conn = db->Connection();
  EnsureSettingsTable(*conn);
  auto st =
      conn->PrepareNew("SELECT \"value\" FROM \"vela_globalsetting\" WHERE LOWER(\"section\") = " +
                       conn->Placeholder(1) + " AND LOWER(\"name\") = " + conn->Placeholder(2));
  st->BindText(1, LowerCase(ASection));
  st->BindText(2, LowerCase(AName));
  st->Execute();
  std::string value(ADefault);
  if (st->Next() && !st->ColumnIsNull(0)) value.assign(st->ColumnText(0));
  st->Reset();
  return value;
}

void TVelaMainInterface::WriteString(std::string_view ASection, std::string_view AName,
                                     std::string_view AValue) {
  TVelaDatabase* db;
  {
    std::lock_guard lock(FLock);
    db = FDatabase;
    if (!db) {
      FSectionSettings[LowerCase(ASection) + "\n" + LowerCase(AName)] = std::string(AValue);
      return;
    }
  }
  auto conn = db->Connection();
  EnsureSettingsTable(*conn);
  auto update =
      conn->PrepareNew("UPDATE \"vela_globalsetting\" SET \"value\" = " + conn->Placeholder(1) +
                       " WHERE LOWER(\"section\") = " + conn->Placeholder(2) +
                       " AND LOWER(\"name\") = " + conn->Placeholder(3));
  update->BindText(1, AValue);
  update->BindText(2, LowerCase(ASection));
  update->BindText(3, LowerCase(AName));
  update->Execute();
  const bool found = update->RowsAffected() > 0;
  update->Reset();
  if (found) return;
  auto insert = conn->PrepareNew(
      "INSERT INTO \"vela_globalsetting\" (\"section\", \"name\", \"value\") VALUES (" +
      conn->Placeholder(1) + ", " + conn->Placeholder(2) + ", " + conn->Placeholder(3) + ")");
  insert->BindText(1, ASection);
  insert->BindText(2, AName);
  insert->BindText(3, AValue);
  insert->Execute();
  insert->Reset();
}

void TVelaMainInterface::SetDatabase(TVelaDatabase* db) noexcept {
  {
    std::lock_guard lock(FLock);
    FDatabase = db;
  }
  FEventLog->SetDatabase(db);
}

void TVelaMainInterface::SetLogSink(TVelaLogSink ASink) {
  FEventLog->SetLogSink(std::move(ASink));
}

IPtr<IArdoEventLogger> TVelaMainInterface::OpenSession(const std::string& ASourceId,
                                                       const std::string& ACaption,
                                                       int32_t AFlags) {
  return FEventLog->OpenSession(ASourceId, ACaption, AFlags);
}

bool TVelaMainInterface::IsFileList(const std::string& AName) {
  return TVelaDocumentStore::IsFileList(AName);
}

void TVelaMainInterface::AttachFile(const std::string& ATableName, int64_t ARecordId,
                                    const std::string& ALocalFileName,
                                    const std::string& ADisplayName) {
  TVelaDatabase* db = Get_Database();
  if (!db) throw EDatabaseError("No database is open to attach '" + ALocalFileName + "' to");
  TVelaDocumentStore(*db).AttachFile(ATableName, ARecordId, ALocalFileName, ADisplayName);
}

std::vector<std::string> TVelaMainInterface::AttachedFiles(const std::string& ATableName,
                                                           int64_t ARecordId) {
  TVelaDatabase* db = Get_Database();
  if (!db) return {};
  return TVelaDocumentStore(*db).AttachedFiles(ATableName, ARecordId);
}

void TVelaMainInterface::SetProgressService(IPtr<IVelaProgressService> AService) {
  std::lock_guard lock(FLock);
  FProgressService = std::move(AService);
}

IPtr<IVelaProgressService> TVelaMainInterface::CurrentProgressService() {
  std::lock_guard lock(FLock);
  return FProgressService;
}

void TVelaMainInterface::StartProgress(const std::string& ACaption,
                                       TVelaProgressKind AKind) noexcept {
  if (IPtr<IVelaProgressService> service = CurrentProgressService())
    service->StartProgress(ACaption, AKind);
}

void TVelaMainInterface::StepProgress(int64_t APosition, int64_t ATotal,
                                      const std::string& AText) noexcept {
  if (IPtr<IVelaProgressService> service = CurrentProgressService())
    service->StepProgress(APosition, ATotal, AText);
}

void TVelaMainInterface::EndProgress() noexcept {
  if (IPtr<IVelaProgressService> service = CurrentProgressService()) service->EndProgress();
}

IPtr<IVelaXMLPartHandlerContainer> TVelaMainInterface::CreateVelaXMLImportContainer() {
  TVelaDatabase* db;
  {
    std::lock_guard lock(FLock);
    db = FDatabase;
  }
  if (!db) return nullptr;
  return IPtr<IVelaXMLPartHandlerContainer>(new TVelaXMLImportContainer(*db));
}

namespace {

// The script file of a context; empty for a name that is no plain file name.
std::string SystemScriptFile(const std::string& AFolder, const std::string& AContext) {
  if (AContext.empty() || AContext.find_first_of("/\\") != std::string::npos ||
      AContext.find("..") != std::string::npos)
    return {};
  return IncludeTrailingPathDelimiter(AFolder) + "custom/scripts/" + AContext + ".lua";
}

}  // namespace

bool TVelaMainInterface::RunSystemScriptMethod(const std::string& AContext,
                                               const std::string& AMethod,
                                               const IPtr<INamedVariantListData>& AParams) {
  const std::string folder = Get_ApplicationFolder();
  const std::string file = SystemScriptFile(folder, AContext);
  if (file.empty() || !FileExists(file)) return false;
  TScriptEngine engine({/*Sandbox=*/true, folder});
  engine.DoFile(file);
  if (!engine.HasFunction(AMethod)) return false;
  std::vector<std::pair<std::string, Variant>> fields;
  for (int i = 0; AParams && i < AParams->Get_Count(); ++i)
    fields.emplace_back(AParams->Get_Name(i), AParams->Get_Value(i));
  engine.CallWithTable(AMethod, fields);
  return true;
}

}  // namespace vela
