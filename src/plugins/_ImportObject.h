// Import objects: what Do_Import hands out as IDataImport. An import object drives its own data
// processor, which runs the chosen engine; the record buffer turns every record the engine
// reports into an insert, update or delete of one table of the host database.
//
// TImportObject keeps its settings in fields and runs without a user interface.
// TImportObjectDialog keeps them in the import settings wizard; without a user interface there is
// no wizard to show, and it imports with the settings it has, as TImportObject does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "host/ArdoLang.h"
#include "host/db/ClientSQL.h"
#include "host/db/VelaDatabase.h"
#include "host/db/VelaRecordSet.h"
#include "plugins/_DataImportIntf.h"
#include "plugins/_DataImportPositionIntf.h"
#include "plugins/_DataImportSourceSettingsIntf.h"
#include "plugins/_RecordBuffer.h"

namespace vela {

class TImportObject : public TInterfacedObject,
                      public IDataImport,
                      public IDataImportSourceSettings,
                      public IDataImportPosition {
  VELA_INTERFACES(TInterfacedObject, IDataImport, IDataImportSourceSettings, IDataImportPosition)

  // Builds the data processor (with its record event handlers), the record buffer, the SQL
  // object and the record set on the host database.
  explicit TImportObject(TVelaDatabase& ADatabase);
  ~TImportObject() override;

  // The virtual constructor: a new object of the same class on the same database.
  virtual TImportObject* Create(TVelaDatabase& ADatabase) const;
  virtual const char* ClassName() const noexcept { return "TImportObject"; }

  // --- IDataImport ---
  bool Do_Execute(const IPtr<IDataImportCallBack>& ACallBack, bool SimulationOnly = false,
                  bool Silent = false) override;
  bool Get_ClearDestination() override { return FClearDestination; }
  bool Get_SkipFirstRecord() override { return FRecordBuffer->SkipFirstRecord(); }
  bool Get_RollBackOnError() override { return FRecordBuffer->RollBackOnError(); }
  bool Get_RollBackOnWarning() override { return FRecordBuffer->RollBackOnWarning(); }
  bool Get_UseTransactions() override { return FUseTransactions; }
  bool Get_IgnoreRecordOnError() override { return FRecordBuffer->IgnoreRecordOnError(); }
  bool Get_IgnoreRecordOnWarning() override { return FRecordBuffer->IgnoreRecordOnWarning(); }
  TImportMode Get_ImportMode() override { return GetImportMode(); }
  IPtr<IStringListData> Get_FieldAssignments() override;
  IFieldChangeConditions* Get_FieldChangeConditions() override;
  IAdvFieldSettings* Get_AdvFieldSettings() override;
  IPtr<IStringListData> Get_KeyFields() override;
  bool Get_AbortOnError() override { return FAbortOnError; }
  bool Get_AbortOnWarning() override { return FAbortOnWarning; }
  TImportRunMode Get_RunMode() override { return FRunMode; }
  bool Get_PageVisible(TImportPage Page) override;
  bool Get_CanClearDest() override { return FCanClearDest; }
  void Set_ClearDestination(bool Value) override { FClearDestination = Value; }
  void Set_SkipFirstRecord(bool Value) override { FRecordBuffer->SetSkipFirstRecord(Value); }
  void Set_RollBackOnError(bool Value) override { FRecordBuffer->SetRollBackOnError(Value); }
  void Set_RollBackOnWarning(bool Value) override { FRecordBuffer->SetRollBackOnWarning(Value); }
  void Set_UseTransactions(bool Value) override { FUseTransactions = Value; }
  void Set_IgnoreRecordOnError(bool Value) override {
    FRecordBuffer->SetIgnoreRecordOnError(Value);
  }
  void Set_IgnoreRecordOnWarning(bool Value) override {
    FRecordBuffer->SetIgnoreRecordOnWarning(Value);
  }
  void Set_ImportMode(TImportMode Value) override { SetImportMode(Value); }
  void Set_FieldAssignments(const IPtr<IStringListData>& Value) override;
  void Set_KeyFields(const IPtr<IStringListData>& Value) override;
  void Set_AbortOnError(bool Value) override { FAbortOnError = Value; }
  void Set_AbortOnWarning(bool Value) override { FAbortOnWarning = Value; }
  void Set_RunMode(TImportRunMode Value) override { FRunMode = Value; }
  void Set_PageVisible(TImportPage Page, bool Value) override;
  void Set_CanClearDest(bool Value) override { FCanClearDest = Value; }
  void Do_QueryImportResult(int32_t& CountInserted, int32_t& CountUpdated) override;
  void Set_AdvFields(const IPtr<IStringListData>& AValue) override;
  IPtr<IStringListData> Get_AdvFields() override;

  // --- IDataImportSourceSettings ---
  bool Get_HasSourceSettings() override;
  bool Set_SourceSetting(const std::string& Name, const std::string& Value) override;
  IPtr<IStringListData> Get_SourceSettings() override;
  void Clear_SourceSettings() override { FSourceSettings.clear(); }

  // --- properties set by CreateImportObject and read by the wizard ---
  virtual IPtr<IDBFieldSchemaItem> GetDestSchema() { return FDestSchema; }
  virtual void SetDestSchema(IPtr<IDBFieldSchemaItem> Value) { FDestSchema = std::move(Value); }
  virtual int32_t GetEngineIndex() { return FEngineIndex; }
  virtual void SetEngineIndex(int32_t Value) { FEngineIndex = Value; }
  virtual int32_t GetFormatIndex() { return FFormatIndex; }
  virtual void SetFormatIndex(int32_t Value) { FFormatIndex = Value; }
  virtual TImportMode GetImportMode() { return FRecordBuffer->ImportMode(); }
  virtual void SetImportMode(TImportMode Value) { FRecordBuffer->SetImportMode(Value); }
  // --- IDataImportPosition ---
  std::string Get_SourceName() override { return FInFile; }
  int32_t Get_RecordNumber() override;
  int64_t Get_SourceLine() override;

  virtual std::string GetInFile() { return FInFile; }
  virtual void SetInFile(std::string Value) { FInFile = std::move(Value); }
  // "German", "English", ... (the message language).
  virtual std::string GetLanguage() { return FLanguage; }
  virtual void SetLanguage(std::string Value);
  virtual bool GetTransactionsAvailable() { return FTransactionsAvailable; }
  virtual void SetTransactionsAvailable(bool Value) { FTransactionsAvailable = Value; }
  virtual bool GetXPStyle() { return FXPStyle; }
  virtual void SetXPStyle(bool Value) { FXPStyle = Value; }

  // Runs the import once (the wizard calls RunImport through the object).
  virtual bool Execute(bool SimulateOnly);
  // Clears the message counters, the record number, the abort flag and the unassigned fields.
  virtual void PrepareRun();
  // Fills the wizard from the object (nothing without a wizard).
  virtual void Load() {}
  bool RunImport(bool SimulateOnly);

  TDataImportProcessor& DataProcessor() { return *FDataProcessor; }
  TRecordBuffer& RecordBuffer() { return *FRecordBuffer; }
  TClientSQL& CSQLImport() { return *FCSQLImport; }
  TClientSQLFilter& IdFilter() { return *FIdFilter; }
  TVelaDatabase& Database() { return FDatabase; }
  TArdoLanguage MessageLanguage() const { return FMessageLanguage; }
  // Counters of the running import (the record buffer counts its writes here).
  void IncInsertedCount() { ++FInsertedCount; }
  void IncUpdatedCount() { ++FUpdatedCount; }

 protected:
  // The message table text of a key in the object's language.
  std::string GetText(std::string_view AKey) const;

 private:
  void HandleStartRecord(bool& AbortImport);
  void HandleSetValue(std::string_view FieldName, std::string_view Value, TImportDataType DataType,
                      const TImportParsedValue* Parsed = nullptr);
  void HandlePostRecord();
  void HandleEngineMessage(const std::string& Message, TImportMessageType MsgType);
  // The source settings of the chosen engine (nil when it has none).
  IPtr<IImportSourceSettings> EngineSourceSettings();
  // Gives the kept source settings to the engine; raises on a name it does not know.
  void ApplySourceSettings();
  // The end of every run: events, assignments, key fields, field data and the SQL object's
  // fields and filters are cleared.
  void CleanUpRun();

  TVelaDatabase& FDatabase;
  std::unique_ptr<TDataImportProcessor> FDataProcessor;
  std::unique_ptr<TRecordBuffer> FRecordBuffer;
  std::unique_ptr<TClientSQL> FCSQLImport;
  std::unique_ptr<TVelaRecordSet> FidsLookupFields;
  bool FUseTransactions = false;
  bool FClearDestination = false;
  bool FAbortOnError = false;
  bool FAbortOnWarning = false;
  TImportRunMode FRunMode = DimrImport;
  TImportPageSet FImportPages = 0xFF;
  bool FCanClearDest = true;
  std::string FLanguage = "German";
  bool FXPStyle = false;
  std::string FInFile;
  int32_t FEngineIndex = -1;
  int32_t FFormatIndex = -1;
  IPtr<IDBFieldSchemaItem> FDestSchema;
  bool FTransactionsAvailable = false;
  int32_t FInsertedCount = 0;
  int32_t FUpdatedCount = 0;
  std::vector<std::pair<std::string, std::string>> FSourceSettings;

  TArdoLanguage FMessageLanguage = TArdoLanguage::German;
  // The record identifier filter of the SQL object, set up by each run.
  TClientSQLFilter* FIdFilter = nullptr;

  friend class TRecordBuffer;
};

// The variant with the import settings wizard. Without a user interface (the only kind this
// host offers) there is no wizard to show: Do_Execute imports with the settings the object has,
// exactly as TImportObject does.
class TImportObjectDialog : public TImportObject {
 public:
  using TImportObject::TImportObject;
  TImportObject* Create(TVelaDatabase& ADatabase) const override;
  const char* ClassName() const noexcept override { return "TImportObjectDialog"; }
};

// Creates and configures an import object: the engine is chosen by filter index (1 or more),
// else by format identity, else by asking the engines; a TImportObjectDialog when UseDialog.
// Raises EVelaUserMessageException when no engine reads the file; an EAbort while configuring
// gives nil.
IPtr<IDataImport> CreateImportObject(TDataImportProcessor& ARegistry, TVelaDatabase& ADatabase,
                                     TArdoLanguage ALanguage, const std::string& AInFile,
                                     const std::string& ADestSchema, TImportMode AMode,
                                     int32_t AFilterIndex, const std::string& AFormatGUID,
                                     bool AUseDialog);

}  // namespace vela
