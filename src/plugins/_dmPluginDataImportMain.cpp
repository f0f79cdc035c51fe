#include "plugins/_dmPluginDataImportMain.h"

#include <algorithm>
#include <iostream>

#include "host/GlobalFunctions.h"
#include "host/ProgressService.h"
#include "host/db/ClientSQL.h"
#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "module/_PluginModuleRegistration.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "platform/script/ScriptEngine.h"
#include "plugins/OutlookFolderCatalog.h"
#include "plugins/_ImportObject.h"
#include "plugins/_VelaProtocolHandlers.h"
#include "plugins/_VelaXMLExportExecute.h"
#include "plugins/_VelaXMLImportExecute.h"
#include "rtl/FileUtils.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"
#include "rtl/Threading.h"
#ifdef VELA_HAVE_VCARD
#include "vcard/VCardConsts.h"
#endif

namespace vela {

TdmPluginDataImportMain* dmPluginDataImportMain = nullptr;
IPtr<IBusinessIntegation> BusinessIntegration;

namespace {

constexpr const char* kImportActionId = "{AB3FD7A0-3D2D-48A3-BA13-1260EB1C6438}";
constexpr const char* kExportActionId = "{DC4A21A0-441F-42AE-AD92-0F46557F95A9}";

void ShowOnErrorOutput(const std::exception& E) {
  // A user message is shown as it is; anything else with its class name.
  if (dynamic_cast<const EVelaUserMessageException*>(&E))
    std::cerr << "error: " << E.what() << "\n";
  else
    std::cerr << "error: " << ExceptionText(E) << "\n";
}

}  // namespace

TExceptionDisplay DataImportExceptionDisplay = &ShowOnErrorOutput;

TdmPluginDataImportMain::TdmPluginDataImportMain(TClientPluginBase* AOwner)
    : TPluginBaseDataModule(AOwner) {
  dmPluginDataImportMain = this;
  SetSelfIsExtFunc(true);

  RegisterDataImportTexts(FLang);
#ifdef VELA_HAVE_VCARD
  const std::string prefix(kCardCaptionKeyPrefix);
  for (const auto& [field, caption] : VCardFieldCaptions())
    FLang.AddText(prefix + std::string(field), caption.De, caption.En);
#endif
  FLang.SetLanguage(GetLanguage());

  FDataProcessor = std::make_unique<TDataImportProcessor>();
  FBusinessIntgrationAvailable = true;

  // Registration order is the order of the engine list, the dialog filter and the engine query.
  CreateVCardImportEngine();
  CreateTextImportEngine();
  CreateEMSImportEngine();
  CreateADOImportEngine();
  CreateOutlookImportEngine();
  // Scripts reach the module through the global variable "DataimportModule".
  TScriptRegistry::RegisterGlobalScriptVar("DataimportModule",
                                           IPtr<IInterface>(static_cast<IExtFuncDataImport*>(this)),
                                           "DIExtFuncDataImport");
}

TdmPluginDataImportMain::~TdmPluginDataImportMain() {
  TScriptRegistry::UnregisterGlobalScriptVar("DataimportModule");
  // The actions and the function call into this module: they go with it.
  if (FScheduler) {
    FScheduler->Unregister(kImportActionId);
    FScheduler->Unregister(kExportActionId);
  }
  if (FGlobalFunctions) FGlobalFunctions->Unregister("WriteINIFileValue");
  if (FDataProcessor) FDataProcessor->Clear();
  FDataProcessor.reset();
  FVCardImportEngine.reset();
  FTextDataImportEngine.reset();
  FEMSImportEngine.reset();
  FADOImportEngine.reset();
  FOutlookImportEngine.reset();
  if (dmPluginDataImportMain == this) dmPluginDataImportMain = nullptr;
}

// --- the module's own engines ---

void TdmPluginDataImportMain::RegisterOwnEngine(TBaseDataImportEngine* AEngine) {
  FDataProcessor->RegisterEngine(IPtr<IDataImportEngine>(AEngine));
}

void TdmPluginDataImportMain::CreateVCardImportEngine() {
  FVCardImportEngine = std::make_unique<TVCardImportEngine>();
  // Field captions come from the message table: key "VC_" + field name.
  FVCardImportEngine->SetOnGetTranslation(
      [this](TBaseDataImportEngine*, std::string_view sKey, std::string& AValue) {
        AValue = GetText("VC_" + std::string(sKey));
      });
  RegisterOwnEngine(FVCardImportEngine.get());
}

void TdmPluginDataImportMain::CreateTextImportEngine() {
  FTextDataImportEngine = std::make_unique<TTextImportEngine>();
  RegisterOwnEngine(FTextDataImportEngine.get());
}

void TdmPluginDataImportMain::CreateEMSImportEngine() {
  FEMSImportEngine = std::make_unique<TEMSImportEngine>();
  RegisterOwnEngine(FEMSImportEngine.get());
}

// The ADO engine joins here, between the standard file and the Outlook engines.
void TdmPluginDataImportMain::CreateADOImportEngine() {
  FADOImportEngine = std::make_unique<TADOImportEngine>();
  RegisterOwnEngine(FADOImportEngine.get());
}

void TdmPluginDataImportMain::CreateOutlookImportEngine() {
  FOutlookImportEngine = std::make_unique<TOutlookImportEngine>();
  RegisterOwnEngine(FOutlookImportEngine.get());
}

// --- life cycle ---

bool TdmPluginDataImportMain::CanShutDown() {
  std::lock_guard lock(FVelaXMLImportObjectsLock);
  return FVelaXMLImportObjects.empty();
}

void TdmPluginDataImportMain::AddVelaXMLJob(const void* AJob) {
  if (!IsMainThread()) return;
  std::lock_guard lock(FVelaXMLImportObjectsLock);
  FVelaXMLImportObjects.push_back(AJob);
}

void TdmPluginDataImportMain::RemoveVelaXMLJob(const void* AJob) {
  if (!IsMainThread()) return;
  std::lock_guard lock(FVelaXMLImportObjectsLock);
  auto it = std::find(FVelaXMLImportObjects.begin(), FVelaXMLImportObjects.end(), AJob);
  if (it != FVelaXMLImportObjects.end()) FVelaXMLImportObjects.erase(it);
}

void TdmPluginDataImportMain::BeforeUnInit() {
  TPluginBaseDataModule::BeforeUnInit();
  FDataProcessor->Clear();
  FreePreProcessorFactory();
}

void TdmPluginDataImportMain::SetLanguage(TArdoLanguage ALanguage) {
  TPluginBaseDataModule::SetLanguage(ALanguage);
  FLang.SetLanguage(ALanguage);
  try {
    GetDatabase().SetFieldListData(
        "dataimport_userpickupstore", "processedstate",
        {"0=" + GetText("IDS_processedNEW"), "1=" + GetText("IDS_processedSUCCESS"),
         "2=" + GetText("IDS_processedFAILED"), "3=" + GetText("IDS_processedDELETED")});
  } catch (const std::exception&) {
    // Without a database (or before the host tables exist) there is nothing to label.
  }
}

// --- import objects ---

IPtr<IDataImport> TdmPluginDataImportMain::CreateImportObject(
    const std::string& AInFile, const std::string& ADestSchema, TImportMode AMode,
    int32_t AFilterIndex, const std::string& AFormatGUID, bool AUseDialog) {
  return vela::CreateImportObject(*FDataProcessor, GetDatabase(), GetLanguage(), AInFile,
                                  ADestSchema, AMode, AFilterIndex, AFormatGUID, AUseDialog);
}

IPtr<IDataImport> TdmPluginDataImportMain::CheckedCreateImportObject(
    const std::string& AInFile, const std::string& ADestSchema, TImportMode AMode,
    int32_t AFilterIndex, const std::string& AFormatGUID, bool AUseDialog) {
  if (!HasRight(kRightDataImport)) return nullptr;
  try {
    return CreateImportObject(AInFile, ADestSchema, AMode, AFilterIndex, AFormatGUID, AUseDialog);
  } catch (const EAbort&) {
    return nullptr;
  } catch (const std::exception& E) {
    if (DataImportExceptionDisplay) DataImportExceptionDisplay(E);
    return nullptr;
  }
}

IPtr<IDataImport> TdmPluginDataImportMain::Do_Import(const std::string& DInFile,
                                                     const std::string& DestSchema,
                                                     TImportMode AMode, bool UseDialog) {
  return CheckedCreateImportObject(DInFile, DestSchema, AMode, -1, {}, UseDialog);
}

IPtr<IDataImport> TdmPluginDataImportMain::Do_ImportEx1(const std::string& DInFile,
                                                        const std::string& DestSchema,
                                                        TImportMode AMode,
                                                        int32_t FilterStringIndex, bool UseDialog) {
  return CheckedCreateImportObject(DInFile, DestSchema, AMode, FilterStringIndex, {}, UseDialog);
}

IPtr<IDataImport> TdmPluginDataImportMain::Do_ImportEx2(const std::string& DInFile,
                                                        const std::string& DestSchema,
                                                        TImportMode AMode,
                                                        const std::string& FormatGUID,
                                                        bool UseDialog) {
  return CheckedCreateImportObject(DInFile, DestSchema, AMode, -1, FormatGUID, UseDialog);
}

// --- engine registry ---

std::string TdmPluginDataImportMain::Get_DialogFilter() {
  return FDataProcessor->DialogFilterStr();
}

std::string TdmPluginDataImportMain::Get_GUIDCommaText() {
  return FDataProcessor->GUIDCommaText();
}

bool TdmPluginDataImportMain::Do_RunFilterTypeHandler(int32_t FilterIndex,
                                                      std::string& NewFileName) {
  return FDataProcessor->RunFilterTypeHandler(FilterIndex, NewFileName);
}

void TdmPluginDataImportMain::Do_RegisterEngine(const IPtr<IDataImportEngine>& AEngine) {
  FDataProcessor->RegisterEngine(AEngine);
}

void TdmPluginDataImportMain::Do_UnRegisterEngine(const IPtr<IDataImportEngine>& AEngine) {
  FDataProcessor->UnRegisterEngine(AEngine);
}

IPtr<IDataImportEngine> TdmPluginDataImportMain::Get_Engine(const std::string& FormatGUID,
                                                            int32_t& FormatIndex) {
  int32_t engineIndex = -1;
  FDataProcessor->GUIDToEngine(FormatGUID, engineIndex, FormatIndex);
  if (engineIndex < 0 || FormatIndex < 0) {
    FormatIndex = -1;
    return nullptr;
  }
  return FDataProcessor->GetEngines(engineIndex);
}

bool TdmPluginDataImportMain::Get_FormatByFilterIndex(int32_t FilterIndex, std::string& FormatGuid,
                                                      std::string& Title, std::string& FileExt) {
  FormatGuid.clear();
  Title.clear();
  FileExt.clear();
  int32_t engineIndex = -1;
  int32_t formatIndex = -1;
  FDataProcessor->FilterIndexToEngine(FilterIndex, engineIndex, formatIndex);
  if (engineIndex < 0 || formatIndex < 0) return false;
  FDataProcessor->GetEngines(engineIndex)->GetFormatInfo(formatIndex, FormatGuid, Title, FileExt);
  return true;
}

// --- VelaXML imports and exports ---

namespace {

// The run methods' error mapping: false plus "Class: message" (or the message alone), a silent
// false for a cancel, or the exception itself when the caller asked for exceptions.
template <class F>
bool RunMapped(std::string& ErrorMessage, bool AThrowExceptions, bool AWithClassName, F&& AWork) {
  ErrorMessage.clear();
  try {
    AWork();
    return true;
  } catch (const EAbort&) {
    if (AThrowExceptions) throw;
    return false;
  } catch (const std::exception& E) {
    if (AThrowExceptions) throw;
    ErrorMessage = AWithClassName ? ExceptionText(E) : std::string(E.what());
    return false;
  }
}

}  // namespace

bool TdmPluginDataImportMain::Do_RunXMLImport(
    const std::string& DInFile, std::string& ErrorMessage, const std::string& PreProcessorDLL,
    const std::string& PreProcessorParam, TXMLPreProcessorFmt PreProcessorParamFmt,
    bool AThrowExceptions, const IPtr<INamedVariantListData>& AImportLogAttr,
    bool AImportLogEnabled, const IPtr<INamedVariantListData>& ABeginPartAttrOverides) {
  return RunMapped(ErrorMessage, AThrowExceptions, true, [&] {
    RunXMLImport(GetMainInterface().get(), DInFile, PreProcessorDLL, PreProcessorParam,
                 PreProcessorParamFmt, AImportLogAttr, AImportLogEnabled, ABeginPartAttrOverides);
  });
}

bool TdmPluginDataImportMain::Do_RunXMLImportEx1(
    const IPtr<IBinaryData>& AData, std::string& ErrorMessage, const std::string& PreProcessorDLL,
    const std::string& PreProcessorParam, TXMLPreProcessorFmt PreProcessorParamFmt,
    bool AThrowExceptions, const IPtr<INamedVariantListData>& AImportLogAttr,
    bool AImportLogEnabled, const IPtr<INamedVariantListData>& ABeginPartAttrOverides) {
  return RunMapped(ErrorMessage, AThrowExceptions, true, [&] {
    IPtr<TXMLImportExecuteObj> obj(new TXMLImportExecuteObj());
    obj->FMainInterface = GetMainInterface();
    obj->FBinData = BinaryDataToRawByteStr(AData.get());
    obj->FPreProcessorParamFmt = PreProcessorParamFmt;
    obj->FPreProcessorDLL = PreProcessorDLL;
    obj->FPreProcessorParam = PreProcessorParam;
    obj->FImportLogAttr = AImportLogAttr;
    obj->FImportLogEnabled = AImportLogEnabled;
    obj->AddPartVarOverrides(ABeginPartAttrOverides.get());
    obj->Execute(GetMainInterface().get(), nullptr);
  });
}

bool TdmPluginDataImportMain::Do_RunXMLExport(
    const std::string& OutFile, const IPtr<IStringListData>& AParts, std::string& ErrorMessage,
    const std::string& PreProcessorDLL, const std::string& PreProcessorParam, bool OnlyThisPlace,
    const IPtr<INamedVariantListData>& AOptions, const std::string& ApplicationCaption,
    TXMLPreProcessorFmt PreProcessorParamFmt, const IPtr<IStringListData>& AProtocolHandlerSettings,
    bool AThrowExceptions) {
  return RunMapped(ErrorMessage, AThrowExceptions, true, [&] {
    TVelaXMLExportExecuteObj obj;
    obj.FPreProcessorDLL = PreProcessorDLL;
    obj.FPreProcessorParam = PreProcessorParam;
    obj.FPreProcessorParamFmt = PreProcessorParamFmt;
    if (AParts) obj.FExportParts.SetText(AParts->Get_Text());
    obj.FOnlyThisPlace = OnlyThisPlace;
    obj.FOptions = AOptions;
    obj.FProtocolHandlerSettings = AProtocolHandlerSettings;
    IPtr<IMainInterface> mi = GetMainInterface();
    obj.FApplicationCaption = !ApplicationCaption.empty() ? ApplicationCaption
                              : mi                        ? mi->Get_ApplicationTitle()
                                                          : std::string();
    obj.Execute(mi.get(), OutFile);
  });
}

IPtr<IVelaXMLExport> TdmPluginDataImportMain::Do_CreateXMLExport() {
  return IPtr<IVelaXMLExport>(new TVelaXMLExport(GetMainInterface().get()));
}

bool TdmPluginDataImportMain::Do_ExecuteVXCDialog(const std::string&, const std::string&,
                                                  TVXCAction AVelaXMLAction) {
  // The wizard is a dialog: without a user interface (or the right) there is none to show.
  const int32_t right = AVelaXMLAction == vxcExport ? kRightDataExport : kRightDataImport;
  IPtr<IMainInterface> mi = GetMainInterface();
  if (!HasRight(right) || !mi || !mi->Get_HasUserInterface()) return false;
  return false;
}

bool TdmPluginDataImportMain::Do_ExecuteVXCDialogEx1(std::string&, TXMLPreProcessorFmt,
                                                     const std::string& ACaption,
                                                     TVXCAction AVelaXMLAction,
                                                     const IPtr<IXMLPreProcessor>&, bool) {
  return Do_ExecuteVXCDialog({}, ACaption, AVelaXMLAction);
}

bool TdmPluginDataImportMain::Do_ExecuteVXC(
    const std::string& AVXCData, TXMLPreProcessorFmt ADataFmt, TVXCAction AVXCAction,
    std::string& ErrorMessage, const std::string& AInFile, const IPtr<IStringListData>& AParts,
    const IPtr<INamedVariantListData>& AOptions, bool AThrowExceptions,
    const IPtr<INamedVariantListData>& AImportLogAttr, bool AImportLogEnabled) {
  bool result = false;
  const bool ok = RunMapped(ErrorMessage, AThrowExceptions, false, [&] {
    TMemIniFile ini;
    if (ADataFmt == xmpFile) {
      ini.Rename(AVXCData, /*reload=*/true);
      if (!FileExists(AVXCData))
        throw EVelaXMLImportError("The configuration '" + AVXCData + "' does not exist", true);
    } else {
      ini.SetText(AVXCData);
    }
    std::string dataFile = AInFile;
    // Asking for the file needs a dialog; without one the configured file is used.
    if (dataFile.empty()) dataFile = ini.ReadString("VelaXML", "DataFile", "");
    if (dataFile.empty()) return;
    IPtr<IStringListData> protocolSettings;
    if (ini.SectionExists("ProtocolHandler")) {
      TStringList values;
      ini.ReadSectionValues("ProtocolHandler", values);
      protocolSettings = NewStringListData(std::vector<std::string>(values.begin(), values.end()));
    }
    const std::string preProcessor = ini.ReadString("VelaXML", "PreProcessor", "");
    std::string message;
    if (AVXCAction == vxcExport) {
      result = Do_RunXMLExport(dataFile, AParts, message, preProcessor, AVXCData,
                               ini.ReadBool("VelaXML", "OnlyThisPlace", false), AOptions,
                               ini.ReadString("VelaXML", "Application", ""), ADataFmt,
                               protocolSettings, AThrowExceptions);
    } else {
      result = Do_RunXMLImport(
          dataFile, message, preProcessor, AVXCData, ADataFmt, AThrowExceptions, AImportLogAttr,
          AImportLogEnabled && ini.ReadBool("Settings", "ImportLogEnabled", true), nullptr);
    }
    if (!result && !message.empty()) throw EVelaXMLImportError(message, true);
  });
  return ok && result;
}

IPtr<IVelaXMLImport> TdmPluginDataImportMain::Do_CreateXMLImport(
    const IPtr<IVelaXMLImportParser>& AVelaXMLParser) {
  return IPtr<IVelaXMLImport>(new TVelaXMLImport(GetMainInterface().get(), AVelaXMLParser));
}

bool TdmPluginDataImportMain::Do_ExecuteUserPickupImportDialog(const std::string&,
                                                               const std::string&,
                                                               const IPtr<INamedVariantListData>&,
                                                               bool) {
  // The pick-up dialog needs a user interface; without one nothing is chosen.
  return false;
}

bool TdmPluginDataImportMain::Do_ExecuteUserPickupImport(
    const IPtr<IIntegerListData>& APickupDBIDList, const IPtr<INamedVariantListData>& AOptions) {
  if (!APickupDBIDList) return true;
  TVelaDatabase& db = GetDatabase();
  IPtr<IMainInterface> mi = GetMainInterface();
  const int64_t userAddressId = mi ? mi->Get_UserAddressId() : 0;
  for (int i = 0; i < APickupDBIDList->Get_Count(); ++i) {
    const int64_t id = APickupDBIDList->Get_Item(i);
    std::string rawData, dataFile, preProcDll, preProcParam;
    bool found = false;
    {
      auto conn = db.Connection();
      auto st = conn->PrepareNew(
          "SELECT \"rawdata\", \"datafile\", \"preprocdll\", \"preprocparam\" FROM "
          "\"dataimport_userpickupstore\" WHERE \"id\" = " +
          conn->Placeholder(1));
      st->BindInt64(1, id);
      st->Execute();
      if (st->Next()) {
        found = true;
        if (!st->ColumnIsNull(0)) rawData = st->ColumnBlob(0);
        if (!st->ColumnIsNull(1)) dataFile.assign(st->ColumnText(1));
        if (!st->ColumnIsNull(2)) preProcDll.assign(st->ColumnText(2));
        if (!st->ColumnIsNull(3)) preProcParam.assign(st->ColumnText(3));
      }
      st->Reset();
    }
    if (!found) continue;
    int32_t state = 1;
    std::string errorMessage;
    try {
      IPtr<TXMLImportExecuteObj> obj(new TXMLImportExecuteObj());
      obj->FMainInterface = mi;
      obj->FFileName = dataFile;
      obj->FBinData = std::move(rawData);
      obj->FPreProcessorParamFmt = xmpFile;
      obj->FPreProcessorDLL = preProcDll;
      obj->FPreProcessorParam = preProcParam;
      obj->FOptions = AOptions;
      obj->Execute(mi.get(), nullptr);
    } catch (const std::exception& E) {
      state = 2;
      errorMessage = ExceptionText(E);
      if (DataImportExceptionDisplay) DataImportExceptionDisplay(E);
    }
    TClientSQL sql(db);
    sql.SetSchemaName("dataimport_userpickupstore");
    sql.SetMode(csmUpdate);
    sql.AddFilter("id", Variant(id));
    sql.SetFieldValue("processedstate", Variant(state));
    sql.SetFieldValue("processederrormsg", Variant(errorMessage));
    sql.SetFieldValue("processedaddressid", Variant(userAddressId));
    sql.SetFieldValue("processeddate", Variant::FromDateTime(mi ? mi->Get_CurrentTime() : Now()));
    sql.Execute();
  }
  return true;
}

// --- transfers ---

TVelaProtocolHandlerClient& TdmPluginDataImportMain::VelaProtocolHandlerClient() {
  std::lock_guard lock(FProtocolClientLock);
  if (!FVelaProtocolHandlerClient) {
    FVelaProtocolHandlerClient =
        std::make_unique<TVelaProtocolHandlerClient>(GetMainInterface().get());
    CreateVelaProtocolHandlerItems(*FVelaProtocolHandlerClient);
    FVelaProtocolHandlerClient->OnExecute = &VelaProtocolHandlerClientExecute;
  }
  return *FVelaProtocolHandlerClient;
}

bool TdmPluginDataImportMain::IsTransferLocation(const std::string& AName) {
  TVelaProtocolHandlerClient& client = VelaProtocolHandlerClient();
  return client.FindItem(AName) != nullptr && !client.IsFileStreamCompatible(AName, vphaDownload);
}

void TdmPluginDataImportMain::Download(const std::string& AURL, TStream& AStream,
                                       bool AShowProgress) {
  VelaProtocolHandlerClient().Execute(AURL, AStream, vphaDownload, AShowProgress, nullptr);
}

std::string TdmPluginDataImportMain::DownloadToString(const std::string& AURL, bool AShowProgress) {
  TStringStream data;
  Download(AURL, data, AShowProgress);
  return data.DataString();
}

void TdmPluginDataImportMain::Upload(const std::string& AURL, TStream& AStream, bool AShowProgress,
                                     IStringListData* AProtocolHandlerSettings) {
  AStream.Seek(0, soBeginning);
  VelaProtocolHandlerClient().Execute(AURL, AStream, vphaUpload, AShowProgress,
                                      AProtocolHandlerSettings);
}

// --- start-up: protocols, scheduled actions, global function ---

namespace {

constexpr const char* kActionCaptions[] = {"VelaXML-Import", "VelaXML-Export"};

Variant WriteINIFileValue(const std::vector<Variant>& AArgs) {
  auto arg = [&](size_t i) { return i < AArgs.size() ? VarToStrDef(AArgs[i], "") : std::string(); };
  const std::string fileName = arg(0);
  if (!FileExists(fileName)) {
    const std::string dir = ExtractFileDir(fileName);
    if (!dir.empty()) ForceDirectories(dir);
  }
  TMemIniFile ini(fileName);
  ini.WriteString(arg(1), arg(2), arg(3));
  ini.UpdateFile();
  return Variant(true);
}

}  // namespace

void TdmPluginDataImportMain::Init() {
  TPluginBaseDataModule::Init();
  VelaProtocolHandlerClient().RegisterProtocolHandlerItems(true);
  IPtr<IMainInterface> mi = GetMainInterface();
  if (IPtr<IVelaGlobalFunctionService> functions = Supports<IVelaGlobalFunctionService>(mi.get())) {
    FGlobalFunctions = &functions->Get_GlobalFunctions();
    FGlobalFunctions->Register("WriteINIFileValue", {"AFileName", "ASection", "AName", "AValue"},
                               &WriteINIFileValue);
  }
  IPtr<IVelaScheduleService> schedule = Supports<IVelaScheduleService>(mi.get());
  if (!schedule) return;
  FScheduler = &schedule->Get_Scheduler();
  const char* ids[] = {kImportActionId, kExportActionId};
  for (int32_t i = 0; i < 2; ++i) {
    FScheduler->Register(
        {ids[i], kActionCaptions[i],
         [this, i](const std::string& AConfig, const TScheduleCallback& ACallback, bool& ASuccess) {
           SchedulePluginExecute(i, AConfig, ACallback, ASuccess);
         }});
  }
}

void TdmPluginDataImportMain::SchedulePluginExecute(int32_t AActionIndex,
                                                    const std::string& AConfigData,
                                                    const TScheduleCallback& ACallback,
                                                    bool& ASuccess) {
  IPtr<IMainInterface> mi = GetMainInterface();
  const std::string caption = kActionCaptions[AActionIndex == 1 ? 1 : 0];
  auto report = [&](TScheduleMessageType AType, const std::string& AText) {
    if (ACallback) ACallback(caption, AType, AText);
  };
  TStringList config;
  config.SetText(mi ? mi->ExpandPlaceholders(AConfigData, nullptr) : AConfigData);
  const std::string dataFile = config.Values("DataFile");
  const std::string preProcessor = config.Values("PreProcessor");
  const std::string preProcessorParam = config.Values("PreProcessorParam");
  if (!preProcessor.empty()) {
    const std::string path = Get_PluginFolder() + "/" + preProcessor;
    if (!FileExists(path)) {
      report(smtError, "VelaXML-Import pre-processor '" + path + "' not found!");
      return;
    }
  }
  const bool isVXC = LowerCase(dataFile).ends_with(".vxc");
  std::string message;
  bool ok;
  if (AActionIndex == 0) {
    const bool logEnabled = config.Values("ImportLogEnabled") == "1";
    ok = isVXC ? Do_ExecuteVXC(dataFile, xmpFile, vxcImport, message, {}, nullptr, nullptr, false,
                               nullptr, logEnabled)
               : Do_RunXMLImport(dataFile, message, preProcessor, preProcessorParam, xmpFile, false,
                                 nullptr, logEnabled, nullptr);
  } else {
    IPtr<IStringListData> parts = CommaTextToStringListData(config.Values("Parts"));
    const bool onlyThisPlace = config.Values("OnlyThisPlace") == "1";
    ok = isVXC ? Do_ExecuteVXC(dataFile, xmpFile, vxcExport, message, {}, parts, nullptr, false,
                               nullptr, true)
               : Do_RunXMLExport(dataFile, parts, message, preProcessor, preProcessorParam,
                                 onlyThisPlace, nullptr, {}, xmpFile, nullptr, false);
  }
  ASuccess = ok;
  if (!ok)
    report(smtError, message);
  else if (AActionIndex == 0)
    report(smtInformation, "VelaXML-Import file '" + dataFile + "' sucessfully finished.");
  else
    report(smtInformation, "VelaXML-Export file '" + dataFile + "' successfully finished.");
}

// --- IXMLPreProcessorHost ---

bool TdmPluginDataImportMain::Do_PreviewData(
    IXMLPreProcessorPreviewDataSource*, IPtr<IXMLPreProcessorImportInfo>& AImportInfo) noexcept {
  // No preview form in this host: every record is imported.
  AImportInfo = nullptr;
  return true;
}

// Progress is shown for work of the main thread only, through the host's progress service.
void TdmPluginDataImportMain::Do_ProgressStart(int32_t, int32_t& AProgressHandle) noexcept {
  AProgressHandle = -1;
  if (!IsMainThread()) return;
  IPtr<IVelaProgressService> progress = Supports<IVelaProgressService>(GetMainInterface().get());
  if (!progress) return;
  progress->StartProgress("VelaXML-PreProcessor", vpkOther);
  AProgressHandle = 1;
}

void TdmPluginDataImportMain::Do_Progress(int32_t AProgressHandle, int32_t ARecNo,
                                          int32_t ARecordCount, bool& AAborted) noexcept {
  AAborted = false;
  if (AProgressHandle <= -1 || !IsMainThread()) return;
  if (IPtr<IVelaProgressService> progress =
          Supports<IVelaProgressService>(GetMainInterface().get()))
    progress->StepProgress(ARecNo, ARecordCount, "Processing Record #" + std::to_string(ARecNo));
}

void TdmPluginDataImportMain::Do_ProgressEnd(int32_t AProgressHandle) noexcept {
  if (AProgressHandle <= -1) return;
  if (IPtr<IVelaProgressService> progress =
          Supports<IVelaProgressService>(GetMainInterface().get()))
    progress->EndProgress();
}

IPtr<IBusinessIntegation> TdmPluginDataImportMain::Get_BusinessIntegration() {
  return BusinessIntegration;
}

// --- IVelaXMLPreProcessorCatalog ---

std::string TdmPluginDataImportMain::Get_PluginFolder() noexcept {
  try {
    return PreProcessorFactory().PluginFolder();
  } catch (...) {
    return {};
  }
}

int32_t TdmPluginDataImportMain::Get_Count() noexcept {
  try {
    return PreProcessorFactory().Count();
  } catch (...) {
    return 0;
  }
}

bool TdmPluginDataImportMain::Get_Entry(int32_t AIndex,
                                        TPreProcessorCatalogEntry& AEntry) noexcept {
  try {
    auto& factory = PreProcessorFactory();
    if (AIndex < 0 || AIndex >= factory.Count()) return false;
    const auto& item = factory.GetItem(AIndex);
    AEntry.FileName = item.FileName;
    AEntry.Caption = item.Caption;
    AEntry.ValidFileExt = item.ValidFileExt;
    AEntry.CanUseByUser = item.CanUseByUser;
    AEntry.Functions = item.Functions;
    return true;
  } catch (...) {
    return false;
  }
}

bool TdmPluginDataImportMain::Do_CreatePreProcessor(const std::string& AFileName,
                                                    IPtr<IXMLPreProcessor>& APreProcessor,
                                                    std::string& AErrorMessage) noexcept {
  APreProcessor = nullptr;
  AErrorMessage.clear();
  try {
    IPtr<IVelaXMLPreProcessorInstance> instance;
    if (!PreProcessorFactory().GetInstance(AFileName, instance) || !instance) return false;
    APreProcessor = instance->Do_CreatePreProc();
    if (!APreProcessor) AErrorMessage = "The library '" + AFileName + "' creates no pre-processor";
    return APreProcessor != nullptr;
  } catch (const std::exception& e) {
    AErrorMessage = ExceptionText(e);
    return false;
  }
}

// --- IVelaOutlookFolderCatalog ---

bool TdmPluginDataImportMain::Get_OutlookStores(const std::string& AFileName,
                                                std::vector<TOutlookStoreInfo>& AStores,
                                                std::string& AErrorMessage) noexcept {
  AStores.clear();
  AErrorMessage.clear();
  try {
    AStores = ReadOutlookStores(AFileName);
    return true;
  } catch (const std::exception& E) {
    AErrorMessage = ExceptionText(E);
    return false;
  } catch (...) {
    AErrorMessage = "Cannot read the data file '" + AFileName + "'";
    return false;
  }
}

void InitUnit_dmPluginDataImportMain() {
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmPluginDataImportMain>(),
                                              PluginModuleClassList);
}

}  // namespace vela
