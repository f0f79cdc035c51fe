#include "business_integration/_dmBusinessIntegration.h"

#include <chrono>

#include "business_integration/_ArdoRestAPIExchangeContainerImpl.h"
#include "business_integration/_BIContainerDataSetImportPreProcessor.h"
#include "business_integration/_BIDataContainerImportBackgroundJob.h"
#include "host/HTTPUtils.h"
#include "host/HostServices.h"
#include "host/db/ClientSQL.h"
#include "host/db/VelaDatabase.h"
#include "host/server/DatabaseServices.h"
#include "module/_PluginModuleRegistration.h"
#include "rtl/DateUtils.h"
#include "rtl/FileUtils.h"
#include "rtl/Guid.h"
#include "rtl/SysUtils.h"

namespace vela {

TdmBusinessIntegration* BusinessIntegrationModule = nullptr;

namespace {

constexpr const char* kContainerTable = "businessintegration_exchangecontainer";
constexpr const char* kContainerTypeTable = "businessintegration_exchangecontainertype";
constexpr const char* kImportLogTable = "businessintegration_importlog";

// The answer to a PDF form's post when the container type configures none and the
// installation has no custom/default-pdf-response.fdf: an FDF that a PDF viewer shows as the
// status of the submission.
constexpr const char* kDefaultFDFResponse =
    "%FDF-1.2\n1 0 obj\n<< /FDF << /Status (successfully added) >> >>\nendobj\n"
    "trailer\n<< /Root 1 0 R >>\n%%EOF\n";

uint64_t TickCount64() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

bool TableHasField(TVelaDatabase& db, std::string_view table, std::string_view field) {
  IPtr<IDBFieldSchemaItem> schema = db.GetSchemaByName(table);
  return schema && schema->IndexOfField(field) >= 0;
}

}  // namespace

TdmBusinessIntegration::TdmBusinessIntegration(TClientPluginBase* AOwner)
    : TPluginBaseDataModule(AOwner) {
  BusinessIntegrationModule = this;
  SetSelfIsExtFunc(true);
  InitTranslations();
  BusinessIntegration = IPtr<IBusinessIntegation>(this);
}

TdmBusinessIntegration::~TdmBusinessIntegration() {
  StopRecheckThread();
  if (BusinessIntegration.get() == static_cast<IBusinessIntegation*>(this))
    BusinessIntegration = nullptr;
  if (BusinessIntegrationModule == this) BusinessIntegrationModule = nullptr;
}

void TdmBusinessIntegration::InitTranslations() {
  siLang.AddText("bicsNew", "Neu", "New", "Nouveau", "Nuovo");
  siLang.AddText("bicsSuccess", "Erfolgreich", "Succeeded", "Réussi", "Riuscito");
  siLang.AddText("bicsFailed", "Fehlgeschlagen", "Failed", "Échoué", "Non riuscito");
}

void TdmBusinessIntegration::Init() {
  IPtr<IMainInterface> main = GetMainInterface();
  if (!main || main->Get_HostKind() != THostKind::hkServer) return;
  auto service = Supports<IVelaApplicationServerService>(main.get());
  if (!service) return;
  FServer = &service->Get_ApplicationServer();
  TVelaRestRouter& router = FServer->Router();
  // API 0: the containers. Raw posts may come without a session; whether that is allowed is
  // the container type's setting.
  router.RegisterAPIRoot(
      kAPIRoot,
      [this](TVelaRestRequestContext& ctx) {
        if (!SameText(ctx.Method(), "POST"))
          throw ERestError(405, "Containers are posted with POST");
        ArdoBIAPIClientRAWContentCall(ctx);
      },
      true);
  TArdoRestAPIExchangeContainerImpl::Register(router, GetDatabase());
  // APIs 1 and 2: the host's table and schema services.
  RegisterDatabaseServices(router, GetDatabase());

  TServerBackgroundJobClient job;
  job.Identifier = kImportJobId;
  job.Caption = "BI Daten-Kontainer Import";
  job.Group = bjgBackgroundImport;
  job.OnExecuteJob = [this](bool& Skip) { ArdoServerBackgroundJobClientExecuteJob(Skip); };
  job.CreateJob = [this]() -> TServerBackgroundJobPtr {
    std::lock_guard lock(FBIImportJobSync);
    if (FCurrentBIImportJob) {
      FBIImportPending = true;
      return nullptr;
    }
    FCurrentBIImportJob = std::make_shared<TBIDataContainerImportBackgroundJob>();
    return FCurrentBIImportJob;
  };
  FServer->Jobs().RegisterJobClient(std::move(job));
  InstallStateTexts();
}

void TdmBusinessIntegration::AfterStartup() {
  if (!FServer) return;
  if (IPtr<IStringListData> settings = GetGlobalSettings())
    for (const std::string& line : settings->Items())
      if (StartsText("BIRecheckSeconds=", line))
        FRecheckSeconds = static_cast<int>(StrToInt64Def(line.substr(17), FRecheckSeconds));
  StartDataContainerImportJob();
  StartRecheckThread();
}

void TdmBusinessIntegration::BeforeUnInit() {
  StopRecheckThread();
  if (!FServer) return;
  FServer->Router().UnregisterAPIRoot(kAPIRoot);
  FServer->Router().UnregisterAPIRoot("database");
  FServer->Jobs().UnregisterJobClient(kImportJobId);
  FServer = nullptr;
}

bool TdmBusinessIntegration::CanShutDown() {
  const bool can = TPluginBaseDataModule::CanShutDown();
  FShutDownInitiated = can;
  if (can) StopRecheckThread();
  return can;
}

void TdmBusinessIntegration::ShutDownAborted() {
  TPluginBaseDataModule::ShutDownAborted();
  FShutDownInitiated = false;
  bool pending;
  {
    std::lock_guard lock(FBIImportJobSync);
    pending = FBIImportPending;
  }
  // Requests that came while the shut-down was under way are not lost.
  if (pending) StartDataContainerImportJob();
  if (FServer) StartRecheckThread();
}

void TdmBusinessIntegration::SetLanguage(TArdoLanguage ALanguage) {
  TPluginBaseDataModule::SetLanguage(ALanguage);
  siLang.SetLanguage(ALanguage);
  InstallStateTexts();
}

void TdmBusinessIntegration::InstallStateTexts() {
  IPtr<IMainInterface> main = GetMainInterface();
  auto host = Supports<IVelaHostDatabase>(main.get());
  if (!host || !host->Get_Database()) return;
  std::vector<std::string> lines;
  for (const char* state : {"bicsNew", "bicsSuccess", "bicsFailed"})
    lines.push_back(std::to_string(lines.size()) + "=" + siLang.GetText(state));
  host->Get_Database()->SetFieldListData(kContainerTable, "processedstateid", lines);
  host->Get_Database()->SetFieldListData(kImportLogTable, "processedstateid", lines);
}

// --- container types ---

std::unique_ptr<TVelaRecordSet> TdmBusinessIntegration::ContainerTypesClone() {
  std::lock_guard lock(FTypesLock);
  TVelaDatabase& db = GetDatabase();
  const uint64_t now = TickCount64();
  const uint64_t version = db.TableVersion(kContainerTypeTable);
  // Changes made through this process show in the table's change counter at once. Changes by
  // another process (the command line, a second server on PostgreSQL) are not announced: a copy
  // older than a second is read again. Every post asks for the types, so the copy is not checked
  // against the database each time (on SQLite that check would read the table again for almost
  // every post, as each request thread has a connection of its own).
  if (!velarsExchangeContainerTypes) {
    velarsExchangeContainerTypes = std::make_unique<TVelaRecordSet>(db);
    velarsExchangeContainerTypes->SetSchemaName(kContainerTypeTable);
    velarsExchangeContainerTypes->SetOptions(rsoLoadAll);
    velarsExchangeContainerTypes->Open();
    FTypesLoadedTick = now;
    FTypesVersion = version;
  } else if (version != FTypesVersion || now - FTypesLoadedTick > 1000) {
    velarsExchangeContainerTypes->Close();
    velarsExchangeContainerTypes->Open();
    FTypesLoadedTick = now;
    FTypesVersion = version;
  }
  return std::unique_ptr<TVelaRecordSet>(velarsExchangeContainerTypes->CreateThreadedClone());
}

// --- storing containers ---

int64_t TdmBusinessIntegration::AddContainer(
    const std::string& AContainerName, const std::string& AContainerData,
    const std::string& AContainerMetaData, const std::string& AContentType,
    const std::string& AUserAgent, const std::string& ARemoteIP, const std::string& AIncommingURI,
    bool ACheckAllowUnAuth, std::unique_ptr<TVelaRecordSet>* ATypes) {
  std::unique_ptr<TVelaRecordSet> types = ContainerTypesClone();
  int rec = types->FindLocalRecord("descr", AContainerName);
  if (rec < 0) {
    // A type added a moment ago by another process: read the types once more.
    {
      std::lock_guard lock(FTypesLock);
      velarsExchangeContainerTypes.reset();
    }
    types = ContainerTypesClone();
    rec = types->FindLocalRecord("descr", AContainerName);
    if (rec < 0) return -1;
  }
  const std::string descr = types->ValueByName(rec, "descr").AsString();
  const Variant allow = types->ValueByName(rec, "allowunauth");
  if (ACheckAllowUnAuth && !(!allow.IsNull() && !allow.IsEmpty() && allow.AsBoolean()))
    throw EOnlyAuthAccess("Unauthorized access to container '" + descr + "' not allowed!");

  TVelaDatabase& db = GetDatabase();
  std::unique_ptr<TClientSQL> sql = GetDBInterface();
  sql->SetSchemaName(kContainerTable);
  sql->SetMode(csmInsert);
  sql->SetFieldValue("containertypeid", types->GetDBIDByRecNo(rec));
  sql->SetFieldValue("processedstateid", int64_t{bicsNew});
  sql->SetFieldValue("containerdata", Variant::FromBytes(AContainerData));
  sql->SetFieldValue("containermetadata", Variant::FromBytes(AContainerMetaData));
  sql->SetFieldValue("contenttype", AContentType);
  sql->SetFieldValue("useragent", AUserAgent);
  sql->SetFieldValue("remoteip", ARemoteIP);
  sql->SetFieldValue("incomminguri", AIncommingURI);
  if (TableHasField(db, kContainerTable, "createdate"))
    sql->SetFieldValue("createdate", Variant::FromDateTime(Now()));
  const int64_t id = sql->Execute();
  if (id <= 0) return -1;
  StartDataContainerImportJob();
  const int64_t typeId = types->GetDBIDByRecNo(rec);
  if (ATypes) *ATypes = std::move(types);
  return typeId;
}

bool TdmBusinessIntegration::Do_AddBIImportContainerData(
    const std::string& AContainerName, const IPtr<IBinaryData>& AContainerData,
    const IPtr<IBinaryData>& AContainerMetaData, const std::string& AContentType,
    const std::string& AUserAgent, const std::string& ARemoteIP, const std::string& AIncommingURI,
    bool ACheckAllowUnAuth) {
  return AddContainer(AContainerName, BinaryDataToRawByteStr(AContainerData.get()),
                      BinaryDataToRawByteStr(AContainerMetaData.get()), AContentType, AUserAgent,
                      ARemoteIP, AIncommingURI, ACheckAllowUnAuth) != -1;
}

void TdmBusinessIntegration::ArdoBIAPIClientRAWContentCall(TVelaRestRequestContext& Ctxt) {
  try {
    const std::string& body = Ctxt.InContent();
    std::string contentType = Ctxt.GetHeader("Content-Type");
    if (body.compare(0, 5, "%PDF-") == 0) contentType = "application/pdf";
    const std::string name = Ctxt.GetInputUTF8OrVoid("container");
    const std::string metadata = Ctxt.GetInputUTF8OrVoid("metadata");
    // Posts without a session are held to the type's "allowunauth".
    std::unique_ptr<TVelaRecordSet> types;
    const int64_t typeId =
        AddContainer(name, body, metadata, contentType, Ctxt.GetUserAgent(), Ctxt.GetRemoteIP(),
                     Ctxt.Url(), !Ctxt.Session().Authenticated(), &types);
    if (typeId == -1) {
      Ctxt.Error("Invalid container type.", 406);
      return;
    }
    const int rec = types->GetRecNoByDBID(typeId);
    auto text = [&](const char* field) {
      if (rec < 0) return std::string();
      const Variant v = types->ValueByName(rec, field);
      return v.IsNull() || v.IsEmpty() ? std::string() : v.AsString();
    };
    const std::string requestType = THTTPUtils::ExtractContentType(contentType);
    std::string answerType = text("rawresponsecontenttype");
    if (answerType.empty()) {
      if (SameText(requestType, "application/pdf"))
        answerType = "application/vnd.fdf";
      else if (SameText(requestType, "text/plain"))
        answerType = "text/plain";
      else
        answerType = "application/json";
    }
    const std::string file = text("rawresponsecontentfile");
    if (!file.empty()) {
      Ctxt.ReturnFile(GetMainInterface()->ExpandPathMacros(file), answerType);
      return;
    }
    std::string answer = text("rawresponsecontent");
    if (answer.empty()) {
      if (answerType == "application/json") {
        answer = R"({"result":"successfully added"})";
      } else if (answerType == "text/plain") {
        answer = "successfully added";
      } else if (answerType == "application/vnd.fdf") {
        const std::string fdf =
            GetMainInterface()->Get_ApplicationFolder() + "/custom/default-pdf-response.fdf";
        if (FileExists(fdf)) {
          Ctxt.ReturnFile(fdf, answerType);
          return;
        }
        answer = kDefaultFDFResponse;
      }
    }
    Ctxt.Returns(std::move(answer), 200, "Content-Type: " + answerType);
  } catch (const EOnlyAuthAccess& e) {
    Ctxt.Error(e.Message(), 403);
  } catch (const Exception& e) {
    Ctxt.Error(e.Message(), 500);
  } catch (const std::exception& e) {
    Ctxt.Error(e.what(), 500);
  }
}

// --- import log ---

int64_t TdmBusinessIntegration::Do_AddBIImportLogData(
    TBIContainerProcessedState AState, const std::string& ALocalDataFileName,
    const std::string& ADescr, const IPtr<INamedVariantListData>& AdvFieldValues,
    const std::string& ALogMessage) {
  TVelaDatabase& db = GetDatabase();
  std::unique_ptr<TClientSQL> sql = GetDBInterface();
  sql->SetSchemaName(kImportLogTable);
  sql->SetMode(csmInsert);
  sql->SetFieldValue("globalrecuid", GUIDToString(CreateGUID()));
  sql->SetFieldValue("processedstateid", int64_t{AState});
  if (!ADescr.empty()) sql->SetFieldValue("descr", ADescr);
  if (!ALogMessage.empty()) sql->SetFieldValue("logmessage", ALogMessage);
  if (TableHasField(db, kImportLogTable, "createdate"))
    sql->SetFieldValue("createdate", Variant::FromDateTime(Now()));
  std::string displayName;
  if (AdvFieldValues) {
    for (int i = 0; i < AdvFieldValues->Get_Count(); ++i) {
      const std::string field = AdvFieldValues->Get_Name(i);
      if (SameText(field, "displayfilename"))
        displayName = AdvFieldValues->Get_Value(i).AsString();
      else
        sql->SetFieldValue(field, AdvFieldValues->Get_Value(i));
    }
  }
  const int64_t id = sql->Execute();
  if (id <= 0) return -1;
  auto store = Supports<IVelaDocumentStore>(GetMainInterface().get());
  // A file that cannot be attached (a missing input) leaves the entry without it: the entry
  // itself records the run, and the run reports the file's error.
  if (store && !ALocalDataFileName.empty()) try {
      if (store->IsFileList(ALocalDataFileName)) {
        size_t pos = 0;
        while (pos <= ALocalDataFileName.size()) {
          size_t end = ALocalDataFileName.find('\n', pos);
          if (end == std::string::npos) end = ALocalDataFileName.size();
          const std::string file =
              Trim(std::string_view(ALocalDataFileName).substr(pos, end - pos));
          if (!file.empty()) store->AttachFile(kImportLogTable, id, file, ExtractFileName(file));
          pos = end + 1;
        }
      } else {
        store->AttachFile(kImportLogTable, id, ALocalDataFileName,
                          displayName.empty() ? ExtractFileName(ALocalDataFileName) : displayName);
      }
    } catch (const EInOutError&) {
    }
  return id;
}

void TdmBusinessIntegration::Do_UpdateBIImportLogData(
    int64_t AID, TBIContainerProcessedState AState, const std::string& ADescr,
    const IPtr<INamedVariantListData>& AdvFieldValues, const std::string& ALogMessage) {
  std::unique_ptr<TClientSQL> sql = GetDBInterface();
  sql->SetSchemaName(kImportLogTable);
  sql->SetMode(csmUpdate);
  sql->AddFilter("id", AID);
  sql->SetFieldValue("processedstateid", int64_t{AState});
  if (!ADescr.empty()) sql->SetFieldValue("descr", ADescr);
  if (!ALogMessage.empty()) sql->SetFieldValue("logmessage", ALogMessage);
  if (AdvFieldValues)
    for (int i = 0; i < AdvFieldValues->Get_Count(); ++i)
      sql->SetFieldValue(AdvFieldValues->Get_Name(i), AdvFieldValues->Get_Value(i));
  sql->Execute();
}

// --- the import job ---

void TdmBusinessIntegration::StartDataContainerImportJob() {
  if (!FServer) return;
  {
    std::lock_guard lock(FBIImportJobSync);
    if (FCurrentBIImportJob) {
      FBIImportPending = true;
      return;
    }
  }
  FServer->Jobs().StartBackgroundJob(kImportJobId);
}

void TdmBusinessIntegration::ArdoServerBackgroundJobClientExecuteJob(bool& Skip) {
  std::lock_guard lock(FBIImportJobSync);
  if (FCurrentBIImportJob) {
    FBIImportPending = true;
    Skip = true;
  }
}

std::shared_ptr<TBIDataContainerImportBackgroundJob> TdmBusinessIntegration::CurrentImportJob() {
  std::lock_guard lock(FBIImportJobSync);
  return FCurrentBIImportJob;
}

bool TdmBusinessIntegration::TakePendingRunOrFinish(
    const TBIDataContainerImportBackgroundJob* AJob) {
  std::lock_guard lock(FBIImportJobSync);
  if (FCurrentBIImportJob.get() != AJob) return false;
  if (FBIImportPending && !FShutDownInitiated && !AJob->Stopped()) {
    FBIImportPending = false;
    return true;
  }
  FCurrentBIImportJob.reset();
  return false;
}

void TdmBusinessIntegration::StartRecheckThread() {
  // Containers stored by other processes (scripts, the command line) and containers left by a
  // server that died are found by these checks.
  if (FRecheckSeconds <= 0 || FRecheckThread.joinable()) return;
  {
    std::lock_guard lock(FRecheckLock);
    FRecheckStop = false;
  }
  FRecheckThread = std::thread([this] {
    std::unique_lock lock(FRecheckLock);
    while (!FRecheckWake.wait_for(lock, std::chrono::seconds(FRecheckSeconds),
                                  [this] { return FRecheckStop; })) {
      lock.unlock();
      StartDataContainerImportJob();
      lock.lock();
    }
  });
}

void TdmBusinessIntegration::StopRecheckThread() {
  {
    std::lock_guard lock(FRecheckLock);
    FRecheckStop = true;
  }
  FRecheckWake.notify_all();
  if (FRecheckThread.joinable() && FRecheckThread.get_id() != std::this_thread::get_id())
    FRecheckThread.join();
}

// --- container conversion ---

bool TdmBusinessIntegration::Do_ConvertContainer(const std::string& AContentType,
                                                 const std::string& AData,
                                                 const std::string& AConfig, IDataStream* AOutData,
                                                 std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  try {
    IPtr<TBIContainerSOAPDataSetImportPreProcessor> processor =
        LoadDataContainer(AContentType, AData);
    // The configuration travels as text, as the container import hands it over.
    bool userMessage = false;
    return processor->Do_PreConvert(nullptr, AOutData, AConfig, xmpRAW, xmpRAW,
                                    GetMainInterface().get(), nullptr, pemImportTransformXML,
                                    nullptr, false, nullptr, ErrorMessage, userMessage);
  } catch (const std::exception& e) {
    ErrorMessage = ExceptionText(e);
    return false;
  }
}

bool TdmBusinessIntegration::Do_ShowContainer(const std::string& AContentType,
                                              const std::string& AData, bool AHTML,
                                              std::string& AText,
                                              std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  AText.clear();
  try {
    IPtr<TBIContainerSOAPDataSetImportPreProcessor> processor =
        LoadDataContainer(AContentType, AData);
    AText = AHTML ? processor->ContentData()->AsHTML() : processor->ContentData()->AsText();
    return true;
  } catch (const std::exception& e) {
    ErrorMessage = ExceptionText(e);
    return false;
  }
}

void InitUnit_dmBusinessIntegration() {
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmBusinessIntegration>(),
                                              PluginModuleClassList);
}

}  // namespace vela
