// The module's main data module: owner of the import engine registry and of the external
// function interface IExtFuncDataImport.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "ImportEngine/_ADOImportEngine.h"
#include "ImportEngine/_DataImportProcessor.h"
#include "ImportEngine/_EMSImportEngine.h"
#include "ImportEngine/_OutlookImportEngine.h"
#include "ImportEngine/_TextDataImportEngine.h"
#include "ImportEngine/_VCardImportEngine.h"
#include "host/ArdoLang.h"
#include "host/PluginBase.h"
#include "host/ProtocolHandlerClient.h"
#include "host/GlobalFunctions.h"
#include "host/Scheduler.h"
#include "module/PreProcessorCatalogIntf.h"
#include "plugins/OutlookFolderCatalogIntf.h"
#include "plugins/_ExtFuncDataImportIntf.h"

namespace vela {

// Rights of the module's users.
inline constexpr int32_t kRightDataImport = 100;  // "Zugriff auf Datenimport"
inline constexpr int32_t kRightDataExport = 101;  // "Zugriff auf Datenexport"

class TdmPluginDataImportMain : public TPluginBaseDataModule,
                                public IVelaXMLPreProcessorCatalog,
                                public IVelaOutlookFolderCatalog,
                                public IExtFuncDataImport,
                                public IXMLPreProcessorHost {
  VELA_INTERFACES(TPluginBaseDataModule, IVelaXMLPreProcessorCatalog, IVelaOutlookFolderCatalog,
                  IExtFuncDataImport, IXMLPreProcessorHost)

  explicit TdmPluginDataImportMain(TClientPluginBase* AOwner);
  ~TdmPluginDataImportMain() override;

  static const char* StaticClassName() noexcept { return "TdmPluginDataImportMain"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }

  // Registers the transfer protocols, the scheduled actions and the global function.
  void Init() override;
  // True while no VelaXML job started on the main thread is running.
  bool CanShutDown() override;
  // Clears the engine registry and frees the pre-processor factory (and so unloads the
  // pre-processor libraries) before the host unloads the module.
  void BeforeUnInit() override;
  // Also sets the display values of "dataimport_userpickupstore.processedstate".
  void SetLanguage(TArdoLanguage ALanguage) override;

  // The module's message table ("IDS_" keys and, with the card library, the "VC_" captions).
  TArdoLang& siLang() noexcept { return FLang; }
  // A message table text in the data module's language.
  std::string GetText(std::string_view AKey) const { return FLang.GetText(AKey, GetLanguage()); }
  TDataImportProcessor& DataProcessor() noexcept { return *FDataProcessor; }

  // Creates and configures an import object (the checked public slots call this). Raises
  // EVelaUserMessageException when no engine reads the file; an EAbort gives nil.
  IPtr<IDataImport> CreateImportObject(const std::string& AInFile, const std::string& ADestSchema,
                                       TImportMode AMode, int32_t AFilterIndex,
                                       const std::string& AFormatGUID, bool AUseDialog);

  // The running VelaXML jobs created on the main thread (execution objects join and leave).
  void AddVelaXMLJob(const void* AJob);
  void RemoveVelaXMLJob(const void* AJob);

  // --- transfers (http, https, ftp; file names are copied) ---
  // True for a location that must be transferred (not a plain file that may be opened).
  bool IsTransferLocation(const std::string& AName);
  // The module's protocol handler client ("http", "ftp", "Filesystem"), made on first use.
  TVelaProtocolHandlerClient& VelaProtocolHandlerClient();
  void Download(const std::string& AURL, TStream& AStream, bool AShowProgress);
  std::string DownloadToString(const std::string& AURL, bool AShowProgress);
  void Upload(const std::string& AURL, TStream& AStream, bool AShowProgress,
              IStringListData* AProtocolHandlerSettings);

  // --- scheduled actions "VelaXML-Import" (0) and "VelaXML-Export" (1) ---
  void SchedulePluginExecute(int32_t AActionIndex, const std::string& AConfigData,
                             const TScheduleCallback& ACallback, bool& ASuccess);

  // --- IXMLPreProcessorHost: without a user interface, previews import everything ---
  bool Do_PreviewData(IXMLPreProcessorPreviewDataSource* APreviewDataSource,
                      IPtr<IXMLPreProcessorImportInfo>& AImportInfo) noexcept override;
  void Do_ProgressStart(int32_t ARecordCount, int32_t& AProgressHandle) noexcept override;
  void Do_Progress(int32_t AProgressHandle, int32_t ARecNo, int32_t ARecordCount,
                   bool& AAborted) noexcept override;
  void Do_ProgressEnd(int32_t AProgressHandle) noexcept override;

  // --- IVelaXMLPreProcessorCatalog: the pre-processor factory's items ---
  std::string Get_PluginFolder() noexcept override;
  int32_t Get_Count() noexcept override;
  bool Get_Entry(int32_t AIndex, TPreProcessorCatalogEntry& AEntry) noexcept override;
  bool Do_CreatePreProcessor(const std::string& AFileName, IPtr<IXMLPreProcessor>& APreProcessor,
                             std::string& AErrorMessage) noexcept override;

  // --- IVelaOutlookFolderCatalog: the stores and folders of an Outlook data file ---
  bool Get_OutlookStores(const std::string& AFileName, std::vector<TOutlookStoreInfo>& AStores,
                         std::string& AErrorMessage) noexcept override;

  // --- IExtFuncDataImport ---
  IPtr<IDataImport> Do_Import(const std::string& DInFile, const std::string& DestSchema,
                              TImportMode AMode, bool UseDialog) override;
  IPtr<IDataImport> Do_ImportEx1(const std::string& DInFile, const std::string& DestSchema,
                                 TImportMode AMode, int32_t FilterStringIndex,
                                 bool UseDialog = true) override;
  IPtr<IDataImport> Do_ImportEx2(const std::string& DInFile, const std::string& DestSchema,
                                 TImportMode AMode, const std::string& FormatGUID,
                                 bool UseDialog = true) override;
  std::string Get_DialogFilter() override;
  std::string Get_GUIDCommaText() override;
  bool Do_RunFilterTypeHandler(int32_t FilterIndex, std::string& NewFileName) override;
  void Do_RegisterEngine(const IPtr<IDataImportEngine>& AEngine) override;
  void Do_UnRegisterEngine(const IPtr<IDataImportEngine>& AEngine) override;
  IPtr<IDataImportEngine> Get_Engine(const std::string& FormatGUID, int32_t& FormatIndex) override;
  bool Get_FormatByFilterIndex(int32_t FilterIndex, std::string& FormatGuid, std::string& Title,
                               std::string& FileExt) override;
  bool Do_RunXMLImport(const std::string& DInFile, std::string& ErrorMessage,
                       const std::string& PreProcessorDLL, const std::string& PreProcessorParam,
                       TXMLPreProcessorFmt PreProcessorParamFmt, bool AThrowExceptions,
                       const IPtr<INamedVariantListData>& AImportLogAttr, bool AImportLogEnabled,
                       const IPtr<INamedVariantListData>& ABeginPartAttrOverides) override;
  bool Do_RunXMLImportEx1(const IPtr<IBinaryData>& AData, std::string& ErrorMessage,
                          const std::string& PreProcessorDLL, const std::string& PreProcessorParam,
                          TXMLPreProcessorFmt PreProcessorParamFmt, bool AThrowExceptions,
                          const IPtr<INamedVariantListData>& AImportLogAttr, bool AImportLogEnabled,
                          const IPtr<INamedVariantListData>& ABeginPartAttrOverides) override;
  bool Do_RunXMLExport(const std::string& OutFile, const IPtr<IStringListData>& AParts,
                       std::string& ErrorMessage, const std::string& PreProcessorDLL,
                       const std::string& PreProcessorParam, bool OnlyThisPlace,
                       const IPtr<INamedVariantListData>& AOptions,
                       const std::string& ApplicationCaption,
                       TXMLPreProcessorFmt PreProcessorParamFmt,
                       const IPtr<IStringListData>& AProtocolHandlerSettings,
                       bool AThrowExceptions) override;
  IPtr<IVelaXMLExport> Do_CreateXMLExport() override;
  bool Do_ExecuteVXCDialog(const std::string& AVXCIdentifier, const std::string& ACaption,
                           TVXCAction AVelaXMLAction) override;
  bool Do_ExecuteVXCDialogEx1(std::string& APreProcessorParam,
                              TXMLPreProcessorFmt APreProcessorParamFmt,
                              const std::string& ACaption, TVXCAction AVelaXMLAction,
                              const IPtr<IXMLPreProcessor>& APreProcessorIntf,
                              bool AllowModifyPreProcessor) override;
  bool Do_ExecuteVXC(const std::string& AVXCData, TXMLPreProcessorFmt ADataFmt,
                     TVXCAction AVXCAction, std::string& ErrorMessage, const std::string& AInFile,
                     const IPtr<IStringListData>& AParts,
                     const IPtr<INamedVariantListData>& AOptions, bool AThrowExceptions,
                     const IPtr<INamedVariantListData>& AImportLogAttr,
                     bool AImportLogEnabled) override;
  bool Get_BusinessIntgrationAvailable() override { return FBusinessIntgrationAvailable; }
  IPtr<IVelaXMLImport> Do_CreateXMLImport(
      const IPtr<IVelaXMLImportParser>& AVelaXMLParser) override;
  bool Do_ExecuteUserPickupImportDialog(const std::string& APickUpPartType,
                                        const std::string& ACaption,
                                        const IPtr<INamedVariantListData>& AOptions,
                                        bool AllowMultiSelect) override;
  bool Do_ExecuteUserPickupImport(const IPtr<IIntegerListData>& APickupDBIDList,
                                  const IPtr<INamedVariantListData>& AOptions) override;
  IPtr<IBusinessIntegation> Get_BusinessIntegration() override;

 private:
  // The public import slots: right 100 first, every exception shown and turned into nil.
  IPtr<IDataImport> CheckedCreateImportObject(const std::string& AInFile,
                                              const std::string& ADestSchema, TImportMode AMode,
                                              int32_t AFilterIndex, const std::string& AFormatGUID,
                                              bool AUseDialog);
  // The module's own engines, created and registered in this order. Each engine's unit fills
  // in its function: create the engine into its field and register it with FDataProcessor.
  void CreateVCardImportEngine();
  void CreateTextImportEngine();
  void CreateEMSImportEngine();
  void CreateADOImportEngine();
  void CreateOutlookImportEngine();
  void RegisterOwnEngine(TBaseDataImportEngine* AEngine);

  TArdoLang FLang;
  std::unique_ptr<TTextImportEngine> FTextDataImportEngine;
  std::unique_ptr<TVCardImportEngine> FVCardImportEngine;
  std::unique_ptr<TEMSImportEngine> FEMSImportEngine;
  std::unique_ptr<TBaseDataImportEngine> FADOImportEngine;
  std::unique_ptr<TOutlookImportEngine> FOutlookImportEngine;
  // Declared after the engines, so that it is destroyed first: it holds references to them,
  // also when an engine's construction fails inside the constructor.
  std::unique_ptr<TDataImportProcessor> FDataProcessor;
  bool FBusinessIntgrationAvailable = false;
  // The host's registries this module added to (nil: the host offers none).
  TVelaScheduler* FScheduler = nullptr;
  TVelaGlobalFunctions* FGlobalFunctions = nullptr;
  std::mutex FProtocolClientLock;
  std::unique_ptr<TVelaProtocolHandlerClient> FVelaProtocolHandlerClient;
  std::mutex FVelaXMLImportObjectsLock;
  std::vector<const void*> FVelaXMLImportObjects;
};

// The running main data module (nil while none exists).
extern TdmPluginDataImportMain* dmPluginDataImportMain;

// Shows an exception of a public slot to the user: the host's exception display. Without a
// user interface the text goes to the error output. Tests replace it to see what was shown.
using TExceptionDisplay = void (*)(const std::exception& E);
extern TExceptionDisplay DataImportExceptionDisplay;

// Unit start-up: registers TdmPluginDataImportMain in PluginModuleClassList.
void InitUnit_dmPluginDataImportMain();

}  // namespace vela
