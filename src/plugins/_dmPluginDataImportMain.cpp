#include "plugins/_dmPluginDataImportMain.h"

#include <algorithm>
#include <iostream>

#include "module/_PluginModuleRegistration.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "plugins/OutlookFolderCatalog.h"
#include "plugins/_ImportObject.h"
#include "rtl/Threading.h"
#ifdef VELA_HAVE_VCARD
#include "vcard/VCardConsts.h"
#endif

namespace vela {

TdmPluginDataImportMain* dmPluginDataImportMain = nullptr;
IPtr<IBusinessIntegation> BusinessIntegrationIntf;

namespace {

void ShowOnErrorOutput(const std::exception& E) {
  // A user message is shown as it is; anything else with its class name.
  if (dynamic_cast<const EVelaUserMessageException*>(&E))
    std::cerr << "error: " << E.what() << "\n";
  else
    std::cerr << "error: " << ExceptionText(E) << "\n";
}

[[noreturn]] void NotYetAvailable(const char* ASlot) {
  throw ENotImplemented(std::string(ASlot) + " is not implemented yet");
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
}

TdmPluginDataImportMain::~TdmPluginDataImportMain() {
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

// --- VelaXML, pre-converter configurations and pick-up store: not available yet ---

bool TdmPluginDataImportMain::Do_RunXMLImport(const std::string&, std::string&, const std::string&,
                                              const std::string&, TXMLPreProcessorFmt, bool,
                                              const IPtr<INamedVariantListData>&, bool,
                                              const IPtr<INamedVariantListData>&) {
  NotYetAvailable("Do_RunXMLImport");
}

bool TdmPluginDataImportMain::Do_RunXMLImportEx1(const IPtr<IBinaryData>&, std::string&,
                                                 const std::string&, const std::string&,
                                                 TXMLPreProcessorFmt, bool,
                                                 const IPtr<INamedVariantListData>&, bool,
                                                 const IPtr<INamedVariantListData>&) {
  NotYetAvailable("Do_RunXMLImportEx1");
}

bool TdmPluginDataImportMain::Do_RunXMLExport(const std::string&, const IPtr<IStringListData>&,
                                              std::string&, const std::string&, const std::string&,
                                              bool, const IPtr<INamedVariantListData>&,
                                              const std::string&, TXMLPreProcessorFmt,
                                              const IPtr<IStringListData>&, bool) {
  NotYetAvailable("Do_RunXMLExport");
}

IPtr<IVelaXMLExport> TdmPluginDataImportMain::Do_CreateXMLExport() {
  NotYetAvailable("Do_CreateXMLExport");
}

bool TdmPluginDataImportMain::Do_ExecuteVXCDialog(const std::string&, const std::string&,
                                                  TVXCAction) {
  NotYetAvailable("Do_ExecuteVXCDialog");
}

bool TdmPluginDataImportMain::Do_ExecuteVXCDialogEx1(std::string&, TXMLPreProcessorFmt,
                                                     const std::string&, TVXCAction,
                                                     const IPtr<IXMLPreProcessor>&, bool) {
  NotYetAvailable("Do_ExecuteVXCDialogEx1");
}

bool TdmPluginDataImportMain::Do_ExecuteVXC(const std::string&, TXMLPreProcessorFmt, TVXCAction,
                                            std::string&, const std::string&,
                                            const IPtr<IStringListData>&,
                                            const IPtr<INamedVariantListData>&, bool,
                                            const IPtr<INamedVariantListData>&, bool) {
  NotYetAvailable("Do_ExecuteVXC");
}

IPtr<IVelaXMLImport> TdmPluginDataImportMain::Do_CreateXMLImport(
    const IPtr<IVelaXMLImportParser>&) {
  NotYetAvailable("Do_CreateXMLImport");
}

bool TdmPluginDataImportMain::Do_ExecuteUserPickupImportDialog(const std::string&,
                                                               const std::string&,
                                                               const IPtr<INamedVariantListData>&,
                                                               bool) {
  NotYetAvailable("Do_ExecuteUserPickupImportDialog");
}

bool TdmPluginDataImportMain::Do_ExecuteUserPickupImport(const IPtr<IIntegerListData>&,
                                                         const IPtr<INamedVariantListData>&) {
  NotYetAvailable("Do_ExecuteUserPickupImport");
}

IPtr<IBusinessIntegation> TdmPluginDataImportMain::Get_BusinessIntegration() {
  return BusinessIntegrationIntf;
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
