// The business integration data module. Outside systems post data containers to the application
// server's REST API ("businessintegration"); the module stores each one at once in
// businessintegration_exchangecontainer and imports the stored containers in a background job,
// one at a time, with the import configuration of the container's type. Every import is
// recorded in the import log (businessintegration_importlog). The module also offers the
// conversion of saved container bodies (IBIContainerConverter) through the external function
// lookup.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "business_integration/BIContainerConverterIntf.h"
#include "host/ArdoLang.h"
#include "host/PluginBase.h"
#include "host/db/VelaRecordSet.h"
#include "plugins/_ExtFuncDataImportIntf.h"

namespace vela {

class TVelaApplicationServer;
class TVelaRestRequestContext;
class TBIDataContainerImportBackgroundJob;

// A post of a container type that requires an authenticated session came without one.
VELA_DECLARE_EXCEPTION(EOnlyAuthAccess, Exception);

class TdmBusinessIntegration : public TPluginBaseDataModule,
                               public IBIContainerConverter,
                               public IBusinessIntegation {
  VELA_INTERFACES(TPluginBaseDataModule, IBIContainerConverter, IBusinessIntegation)

 public:
  explicit TdmBusinessIntegration(TClientPluginBase* AOwner);
  ~TdmBusinessIntegration() override;

  static const char* StaticClassName() noexcept { return "TdmBusinessIntegration"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }

  // API root of the container services and identity of the import job.
  static constexpr const char* kAPIRoot = "businessintegration";
  static constexpr const char* kImportJobId = "{CC0B56BA-ED26-44E1-87AF-D9FC4A3EF4E1}";

  // --- plug-in data module ---
  // On the application server: registers the three REST APIs and the container import job.
  void Init() override;
  // On the application server: requests one import run, so that containers stored before a stop
  // or crash are imported without waiting for the next post.
  void AfterStartup() override;
  bool CanShutDown() override;
  void ShutDownAborted() override;
  void BeforeUnInit() override;
  void SetLanguage(TArdoLanguage ALanguage) override;

  // --- IBusinessIntegation ---
  bool Do_AddBIImportContainerData(const std::string& AContainerName,
                                   const IPtr<IBinaryData>& AContainerData,
                                   const IPtr<IBinaryData>& AContainerMetaData,
                                   const std::string& AContentType, const std::string& AUserAgent,
                                   const std::string& ARemoteIP, const std::string& AIncommingURI,
                                   bool ACheckAllowUnAuth = false) override;
  int64_t Do_AddBIImportLogData(TBIContainerProcessedState AState,
                                const std::string& ALocalDataFileName,
                                const std::string& ADescr = {},
                                const IPtr<INamedVariantListData>& AdvFieldValues = nullptr,
                                const std::string& ALogMessage = {}) override;
  void Do_UpdateBIImportLogData(int64_t AID, TBIContainerProcessedState AState,
                                const std::string& ADescr,
                                const IPtr<INamedVariantListData>& AdvFieldValues,
                                const std::string& ALogMessage) override;

  // --- IBIContainerConverter ---
  bool Do_ConvertContainer(const std::string& AContentType, const std::string& AData,
                           const std::string& AConfig, IDataStream* AOutData,
                           std::string& ErrorMessage) noexcept override;
  bool Do_ShowContainer(const std::string& AContentType, const std::string& AData, bool AHTML,
                        std::string& AText, std::string& ErrorMessage) noexcept override;

  // Asks for a container import run: starts the job, or, while one runs, makes it run once
  // more when it ends. Does nothing outside the application server.
  void StartDataContainerImportJob();
  // The raw container post (POST /businessintegration?container=NAME[&metadata=...]).
  void ArdoBIAPIClientRAWContentCall(TVelaRestRequestContext& Ctxt);
  // Asked by the server before it creates the import job: Skip while one runs.
  void ArdoServerBackgroundJobClientExecuteJob(bool& Skip);

  // A copy of the container types for the calling thread, refreshed from the database first
  // when the table may have changed.
  std::unique_ptr<TVelaRecordSet> ContainerTypesClone();
  bool ShutDownInitiated() const noexcept { return FShutDownInitiated.load(); }
  // The server's job that is running now (nil when none); for the job's own bookkeeping.
  std::shared_ptr<TBIDataContainerImportBackgroundJob> CurrentImportJob();
  // Called by the job at its end with the module's lock: true when another run was asked for
  // during this one (the request is taken), false after clearing the running job.
  bool TakePendingRunOrFinish(const TBIDataContainerImportBackgroundJob* AJob);
  TVelaApplicationServer* ApplicationServer() const noexcept { return FServer; }

  // Seconds between the server's checks for containers that nobody asked to import (stored by
  // another process, or left by a server that died while importing them). 0 turns the checks
  // off. Set before AfterStartup.
  void SetRecheckInterval(int ASeconds) { FRecheckSeconds = ASeconds; }

 private:
  // Stores a container; the container type's id, -1 when the type is unknown. ATypes, when
  // given, receives the copy of the container types that the type was found in.
  int64_t AddContainer(const std::string& AContainerName, const std::string& AContainerData,
                       const std::string& AContainerMetaData, const std::string& AContentType,
                       const std::string& AUserAgent, const std::string& ARemoteIP,
                       const std::string& AIncommingURI, bool ACheckAllowUnAuth,
                       std::unique_ptr<TVelaRecordSet>* ATypes = nullptr);
  void InitTranslations();
  void InstallStateTexts();
  void StartRecheckThread();
  void StopRecheckThread();

  TArdoLang siLang;
  std::mutex FTypesLock;  // guards velarsExchangeContainerTypes
  std::unique_ptr<TVelaRecordSet> velarsExchangeContainerTypes;
  uint64_t FTypesLoadedTick = 0;
  uint64_t FTypesVersion = 0;  // the types table's change counter when they were read

  std::atomic<bool> FShutDownInitiated{false};
  std::shared_ptr<TBIDataContainerImportBackgroundJob> FCurrentBIImportJob;
  bool FBIImportPending = false;
  std::mutex FBIImportJobSync;  // guards FCurrentBIImportJob and FBIImportPending

  TVelaApplicationServer* FServer = nullptr;  // set by Init on the application server
  int FRecheckSeconds = 30;
  std::thread FRecheckThread;
  std::mutex FRecheckLock;
  std::condition_variable FRecheckWake;
  bool FRecheckStop = false;
};

// The running business integration data module (nil while none exists).
extern TdmBusinessIntegration* BusinessIntegrationModule;

// Unit start-up: registers TdmBusinessIntegration in PluginModuleClassList.
void InitUnit_dmBusinessIntegration();

}  // namespace vela
