// The background import of posted data containers: the server job that imports every container
// not processed yet, one at a time, with the configuration of its container type, marks it as
// succeeded or failed with the processing time, and writes progress and an event log.
#pragma once

#include <cstdint>
#include <string>

#include "host/HostServices.h"
#include "host/server/BackgroundJobs.h"
#include "plugins/_ExtFuncDataImportIntf.h"

namespace vela {

class TdmBusinessIntegration;
class TVelaRecordSet;

// The module's data import interface and the event log of one import run.
class TBackgroundDataImportPlugin {
 public:
  explicit TBackgroundDataImportPlugin(TdmBusinessIntegration& AModule) : FModule(AModule) {}
  ~TBackgroundDataImportPlugin() { FinishEventLogger(); }
  TBackgroundDataImportPlugin(const TBackgroundDataImportPlugin&) = delete;
  TBackgroundDataImportPlugin& operator=(const TBackgroundDataImportPlugin&) = delete;

  // The module's data import interface; raises when the module is not loaded.
  IPtr<IExtFuncDataImport> GetPlugin();
  // The host's event log service (nil when the host keeps none).
  IPtr<IVelaEventLogService> EventLoggerPlugin();
  // Opens the run's event log session (none without an event log).
  void InitEventLogger();
  void LogEventMessage(const std::string& AMsg, bool AIsError);
  void FinishEventLogger();

  IPtr<IArdoEventLogger> ActiveEventLogger;

 private:
  TdmBusinessIntegration& FModule;
  IPtr<IVelaEventLogService> FEventLoggerPlugin;
};

class TBIDataContainerImportBackgroundJob : public TCustomServerBackgroundJob {
 public:
  TBIDataContainerImportBackgroundJob();

  // Imports one container with its type's configuration (the content type decides the way:
  // VelaXML directly, the container pre-processor, or an exchange configuration over a
  // temporary file). Raises on failure.
  static void ImportContainer(TBackgroundDataImportPlugin& APlugin, const std::string& AData,
                              const std::string& AContentType, const std::string& ATypeContentType,
                              const std::string& AImportConfig, const std::string& ATypeDescr);

 protected:
  void InternalExcute() override;
  bool Finished() override;

 private:
  void ImportContainers(TdmBusinessIntegration& AModule, TVelaRecordSet& AContainers);
};

}  // namespace vela
