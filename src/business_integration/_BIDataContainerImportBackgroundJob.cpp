#include "business_integration/_BIDataContainerImportBackgroundJob.h"

#include <chrono>

#include "business_integration/_BIContainerDataSetImportPreProcessor.h"
#include "business_integration/_dmBusinessIntegration.h"
#include "host/HTTPUtils.h"
#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "host/db/VelaRecordSet.h"
#include "plugins/_dmPluginDataImportMain.h"
#include "rtl/DateUtils.h"
#include "rtl/FileUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr const char* kContainerTable = "businessintegration_exchangecontainer";
constexpr const char* kEventSourceId = "{38DA8783-CA9F-4A0D-978F-48A26FE92C8B}";

int64_t ElapsedMilliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

// Several servers may share one PostgreSQL database. A server imports a container only while it
// holds a session advisory lock on it, and only when the container, read again under the lock,
// is still unprocessed; so each container is imported once. PostgreSQL drops the lock when the
// server's connection ends: a container whose server died is taken up by the next run of any
// other server. On SQLite one server owns the database and no claim is needed.
class TContainerClaims {
 public:
  explicit TContainerClaims(TVelaDatabase& db)
      : FLease(db.Connection()), FShared(db.Kind() == TDbBackendKind::PostgreSQL) {
    // A server that vanishes without closing its connection (power, network) is noticed by the
    // database within about 40 seconds rather than after the system's two hours.
    if (FShared)
      FLease->ExecSQL(
          "SET tcp_keepalives_idle = 20; SET tcp_keepalives_interval = 5; "
          "SET tcp_keepalives_count = 4");
  }
  ~TContainerClaims() {
    try {
      if (FShared && FHeld >= 0) Release(FHeld);
    } catch (...) {
      // The connection is gone: so is the lock.
    }
  }

  // The container's body when this server imports it now; false when another server imports
  // it or it has been processed meanwhile.
  bool Claim(int64_t id, std::string& data) {
    if (FShared) {
      TDbStatement& lock = FLease->Prepare("SELECT pg_try_advisory_lock(CAST($1 AS BIGINT))");
      TStatementRun run(lock);
      lock.BindInt64(1, Key(id));
      lock.Execute();
      if (!lock.Next() || !lock.ColumnBool(0)) return false;
      FHeld = id;
    }
    TDbStatement& st = FLease->Prepare(
        "SELECT \"containerdata\", \"processeddate\" FROM "
        "\"businessintegration_exchangecontainer\" "
        "WHERE \"id\" = " +
        FLease->Placeholder(1));
    bool open = false;
    {
      TStatementRun run(st);
      st.BindInt64(1, id);
      st.Execute();
      if (st.Next() && st.ColumnIsNull(1)) {
        open = true;
        data = st.ColumnIsNull(0) ? std::string() : st.ColumnBlob(0);
      }
    }
    if (!open && FShared) Release(id);
    return open;
  }

  // After the container's state has been saved.
  void Release(int64_t id) {
    if (!FShared) return;
    FHeld = -1;
    TDbStatement& unlock = FLease->Prepare("SELECT pg_advisory_unlock(CAST($1 AS BIGINT))");
    TStatementRun run(unlock);
    unlock.BindInt64(1, Key(id));
    unlock.Execute();
  }

 private:
  // The lock's key: the container's id within a key space of its own.
  static int64_t Key(int64_t id) {
    return static_cast<int64_t>((uint64_t{0x42494358} << 32) |
                                (static_cast<uint64_t>(id) & 0xFFFFFFFFu));
  }

  TVelaDatabase::TConnectionLease FLease;
  bool FShared;
  int64_t FHeld = -1;
};

std::string FieldText(const TVelaRecordSet& rs, int recNo, std::string_view field) {
  const Variant v = rs.ValueByName(recNo, field);
  if (v.IsNull() || v.IsEmpty()) return {};
  if (v.kind() == Variant::Kind::Bytes) {
    const Variant::Bytes b = v.AsBytes();
    return std::string(b.begin(), b.end());
  }
  return v.AsString();
}

}  // namespace

// --- TBackgroundDataImportPlugin ---

IPtr<IExtFuncDataImport> TBackgroundDataImportPlugin::GetPlugin() {
  IPtr<IExtFuncDataImport> intf;
  if (dmPluginDataImportMain) intf = Supports<IExtFuncDataImport>(dmPluginDataImportMain);
  if (!intf) throw Exception("The data import module is not loaded");
  return intf;
}

IPtr<IVelaEventLogService> TBackgroundDataImportPlugin::EventLoggerPlugin() {
  if (!FEventLoggerPlugin)
    FEventLoggerPlugin = Supports<IVelaEventLogService>(FModule.GetMainInterface().get());
  return FEventLoggerPlugin;
}

void TBackgroundDataImportPlugin::InitEventLogger() {
  if (IPtr<IVelaEventLogService> logger = EventLoggerPlugin())
    ActiveEventLogger = logger->OpenSession(kEventSourceId, "BI-Container Import", 1);
}

void TBackgroundDataImportPlugin::LogEventMessage(const std::string& AMsg, bool AIsError) {
  if (ActiveEventLogger)
    ActiveEventLogger->LogMessage(AMsg, AIsError, BoolToEventLogMessageDisplayType[AIsError]);
}

void TBackgroundDataImportPlugin::FinishEventLogger() {
  if (!ActiveEventLogger) return;
  ActiveEventLogger->CloseSession();
  ActiveEventLogger = nullptr;
}

// --- TBIDataContainerImportBackgroundJob ---

TBIDataContainerImportBackgroundJob::TBIDataContainerImportBackgroundJob()
    : TCustomServerBackgroundJob("BI Daten-Kontainer Import") {}

void TBIDataContainerImportBackgroundJob::InternalExcute() {
  TdmBusinessIntegration* module = BusinessIntegrationModule;
  if (!module) return;
  TVelaRecordSet containers(module->GetDatabase());
  containers.SetSchemaName(kContainerTable);
  containers.SetOptions(rsoLoadAll);
  // The bodies are read one at a time while importing: a backlog must not be held in memory.
  containers.SetFields({"containertypeid", "processedstateid", "contenttype", "processeddate"});
  containers.GetFilters().AddFilter("processeddate", Variant::FromDateTime(MinDateTime), vftEmpty);
  containers.Open();
  if (containers.GetRecordCount() > 0) ImportContainers(*module, containers);
}

void TBIDataContainerImportBackgroundJob::ImportContainers(TdmBusinessIntegration& AModule,
                                                           TVelaRecordSet& AContainers) {
  TBackgroundDataImportPlugin plugin(AModule);
  plugin.InitEventLogger();
  const int count = AContainers.GetRecordCount();
  plugin.LogEventMessage("Importing " + std::to_string(count) + " container(s)", false);
  std::unique_ptr<TVelaRecordSet> types = AModule.ContainerTypesClone();
  const auto start = std::chrono::steady_clock::now();
  TContainerClaims claims(AModule.GetDatabase());
  int processed = 0;
  std::string data;
  for (int i = 0; i < count; ++i) {
    if (AModule.ShutDownInitiated() || Stopped()) break;
    SetProgress(i * 100 / count);
    const int64_t id = AContainers.GetDBIDByRecNo(i);
    if (!claims.Claim(id, data)) continue;
    const int typeRec =
        types->GetRecNoByDBID(AContainers.ValueByName(i, "containertypeid").AsInt64());
    if (typeRec < 0) {
      AContainers.SetValueByName(i, "processedstateid", int64_t{bicsFailed});
      plugin.LogEventMessage("Missing configuration, skiping item dbid " + std::to_string(id),
                             true);
    } else {
      try {
        ImportContainer(plugin, data, FieldText(AContainers, i, "contenttype"),
                        FieldText(*types, typeRec, "contenttype"),
                        FieldText(*types, typeRec, "importconfig"),
                        FieldText(*types, typeRec, "descr"));
        AContainers.SetValueByName(i, "processedstateid", int64_t{bicsSuccess});
        ++processed;
      } catch (const std::exception& e) {
        AContainers.SetValueByName(i, "processedstateid", int64_t{bicsFailed});
        plugin.LogEventMessage(
            ExceptionClassName(e) + " on item dbid " + std::to_string(id) + ": " + e.what(), true);
      }
    }
    AContainers.SetValueByName(i, "processeddate", Variant::FromDateTime(Now()));
    AContainers.SaveRecordNumber(i);
    claims.Release(id);
  }
  if (processed > 0) {
    const int64_t elapsed = ElapsedMilliseconds(start);
    plugin.LogEventMessage("Processed " + std::to_string(processed) + " items in " +
                               std::to_string(elapsed) + "ms (" +
                               std::to_string(elapsed / processed) + "ms per item)",
                           false);
  }
  plugin.FinishEventLogger();
}

void TBIDataContainerImportBackgroundJob::ImportContainer(TBackgroundDataImportPlugin& APlugin,
                                                          const std::string& AData,
                                                          const std::string& AContentType,
                                                          const std::string& ATypeContentType,
                                                          const std::string& AImportConfig,
                                                          const std::string& ATypeDescr) {
  // The container's own content type, else the one its type assumes.
  std::string fullType = AContentType;
  std::string contentType = THTTPUtils::ExtractContentType(fullType);
  if (contentType.empty()) {
    fullType = ATypeContentType;
    contentType = THTTPUtils::ExtractContentType(fullType);
  }
  const std::string encoding = THTTPUtils::ExtractContentEncoding(fullType);
  IPtr<IExtFuncDataImport> plugin = APlugin.GetPlugin();
  std::string error;
  if (contentType == "text/velaxml" || contentType == "application/velaxml") {
    plugin->Do_RunXMLImportEx1(NewBinaryData(AData), error, "", "", xmpFile, true, nullptr, true,
                               nullptr);
    return;
  }
  IPtr<TBIContainerSOAPDataSetImportPreProcessor> processor(
      new TBIContainerSOAPDataSetImportPreProcessor());
  // The whole content type: a multipart body needs its boundary parameter.
  processor->SetContentType(fullType);
  if (processor->HasContentData()) {
    processor->ContentData()->Load(AData, encoding);
    processor->DisplayCaption = ATypeDescr;
    IPtr<IVelaXMLImport> import = plugin->Do_CreateXMLImport();
    import->Set_PreProcessorIntf(processor);
    import->Set_PreProcessorParamFmt(xmpRAW);
    import->Set_PreProcessorParam(AImportConfig);
    TMemIniFile config;
    config.SetText(AImportConfig);
    import->Set_ImportLogEnabled(config.ReadBool("Settings", "ImportLogEnabled", true));
    import->Do_Execute();
    return;
  }
  // No content object for this type (a CSV body, say): the type's configuration is an exchange
  // configuration that reads the body from a file.
  const std::string file = GetTempFileName({}, "bic");
  struct TRemoveFile {
    const std::string& Name;
    ~TRemoveFile() { DeleteFile(Name); }
  } remove{file};
  {
    TFileStream out(file, fmCreate);
    out.WriteString(AData);
  }
  plugin->Do_ExecuteVXC(AImportConfig, xmpRAW, vxcImport, error, file, nullptr, nullptr, true);
}

bool TBIDataContainerImportBackgroundJob::Finished() {
  TdmBusinessIntegration* module = BusinessIntegrationModule;
  if (!module) return true;
  if (module->TakePendingRunOrFinish(this)) {
    // Containers were posted during this run: one more run, a second after this one.
    MakeFresh();
    SetStartDelay(1000);
    return false;
  }
  return true;
}

}  // namespace vela
