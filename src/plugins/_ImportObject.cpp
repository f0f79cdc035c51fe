#include "plugins/_ImportObject.h"

#include <optional>

#include "ImportEngine/_ImportEngineInfoIntf.h"
#include "host/ArdoLang.h"
#include "host/db/DbInterfaceTable.h"
#include "host/db/TransactionGuard.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// The module's message table, loaded once and freed when the module is unloaded (a static
// object, not a heap pointer, so nothing outlives the library).
const TArdoLang& ImportTexts() {
  struct TTexts {
    TArdoLang Lang;
    TTexts() { RegisterDataImportTexts(Lang); }
  };
  static const TTexts texts;
  return texts.Lang;
}

IPtr<IStringListData> CopyOf(const TStringList& list) {
  return NewStringListData(list.Lines());
}

void SetTextOf(TStringList& list, const IPtr<IStringListData>& value) {
  list.SetText(value ? value->Get_Text() : std::string());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TImportObject

TImportObject::TImportObject(TVelaDatabase& ADatabase)
    : FDatabase(ADatabase),
      FDataProcessor(std::make_unique<TDataImportProcessor>()),
      FRecordBuffer(std::make_unique<TRecordBuffer>(this, FDataProcessor.get())),
      FCSQLImport(ADatabase.GetDBInterface()),
      FidsLookupFields(ADatabase.CreateRecordSet()) {
  FDataProcessor->SetOnStartRecord([this](TDataImportProcessor*, int32_t, bool& AbortImport) {
    HandleStartRecord(AbortImport);
  });
  FDataProcessor->SetOnSetValue([this](TDataImportProcessor*, std::string_view FieldName,
                                       std::string_view Value, TImportDataType DataType,
                                       int32_t) { HandleSetValue(FieldName, Value, DataType); });
  FDataProcessor->SetOnSetParsedValue(
      [this](TDataImportProcessor*, std::string_view FieldName, std::string_view Value,
             TImportDataType DataType, const TImportParsedValue& Parsed,
             int32_t) { HandleSetValue(FieldName, Value, DataType, &Parsed); });
  FDataProcessor->SetOnPostRecord([this](TDataImportProcessor*, int32_t) { HandlePostRecord(); });
  FDataProcessor->SetOnEngineMessage(
      [this](TDataImportProcessor*, int32_t, std::string_view Msg, TImportMessageType MsgType) {
        HandleEngineMessage(std::string(Msg), MsgType);
      });
  SetLanguage(FLanguage);
}

TImportObject::~TImportObject() {
  // The buffer refers to the processor and the SQL object: it goes first.
  FRecordBuffer.reset();
  FDataProcessor.reset();
}

TImportObject* TImportObject::Create(TVelaDatabase& ADatabase) const {
  return new TImportObject(ADatabase);
}

std::string TImportObject::GetText(std::string_view AKey) const {
  return ImportTexts().GetText(AKey, FMessageLanguage);
}

void TImportObject::SetLanguage(std::string Value) {
  FMessageLanguage = LanguageFromName(Value, TArdoLanguage::German);
  FLanguage = std::move(Value);
}

// --- IDataImport ---

bool TImportObject::Do_Execute(const IPtr<IDataImportCallBack>& ACallBack, bool SimulationOnly,
                               bool /*Silent*/) {
  FRecordBuffer->SetImportCallBack(ACallBack);
  bool result = false;
  try {
    result = Execute(SimulationOnly);
  } catch (const std::exception& e) {
    FRecordBuffer->SetImportCallBack(nullptr);
    if (ACallBack) {
      try {
        ACallBack->Do_Message(imtError, e.what());
      } catch (...) {
      }
    }
    return false;
  }
  FRecordBuffer->SetImportCallBack(nullptr);
  return result;
}

IPtr<IStringListData> TImportObject::Get_FieldAssignments() {
  return CopyOf(FRecordBuffer->FieldAssignments());
}

IFieldChangeConditions* TImportObject::Get_FieldChangeConditions() {
  return &FDataProcessor->FieldChangeConditions();
}

IAdvFieldSettings* TImportObject::Get_AdvFieldSettings() {
  return &FDataProcessor->AdvFieldSettings();
}

IPtr<IStringListData> TImportObject::Get_KeyFields() {
  return CopyOf(FRecordBuffer->CheckFields());
}

bool TImportObject::Get_PageVisible(TImportPage Page) {
  const int page = static_cast<int>(Page);
  if (page < 0 || page > 7) return false;
  return (FImportPages >> page) & 1;
}

void TImportObject::Set_FieldAssignments(const IPtr<IStringListData>& Value) {
  SetTextOf(FRecordBuffer->FieldAssignments(), Value);
}

void TImportObject::Set_KeyFields(const IPtr<IStringListData>& Value) {
  SetTextOf(FRecordBuffer->CheckFields(), Value);
}

void TImportObject::Set_PageVisible(TImportPage Page, bool Value) {
  const int page = static_cast<int>(Page);
  if (page < 0 || page > 7) return;
  const auto bit = static_cast<TImportPageSet>(1u << page);
  FImportPages = Value ? static_cast<TImportPageSet>(FImportPages | bit)
                       : static_cast<TImportPageSet>(FImportPages & ~bit);
}

void TImportObject::Do_QueryImportResult(int32_t& CountInserted, int32_t& CountUpdated) {
  CountInserted = FInsertedCount;
  CountUpdated = FUpdatedCount;
}

void TImportObject::Set_AdvFields(const IPtr<IStringListData>& AValue) {
  SetTextOf(FRecordBuffer->AdvFields(), AValue);
}

IPtr<IStringListData> TImportObject::Get_AdvFields() {
  return CopyOf(FRecordBuffer->AdvFields());
}

// --- source settings ---

IPtr<IImportSourceSettings> TImportObject::EngineSourceSettings() {
  if (FEngineIndex < 0) return nullptr;
  return Supports<IImportSourceSettings>(FDataProcessor->GetEngines(FEngineIndex));
}

bool TImportObject::Get_HasSourceSettings() {
  return EngineSourceSettings() != nullptr;
}

bool TImportObject::Set_SourceSetting(const std::string& Name, const std::string& Value) {
  // The engine answers whether it knows the name. It forgets the value when a run gives it the
  // source again, so the object keeps it and repeats it on every run.
  IPtr<IImportSourceSettings> engine = EngineSourceSettings();
  if (!engine || Name.empty() || !engine->SetSourceParameter(Name, Value)) return false;
  for (auto& s : FSourceSettings)
    if (SameText(s.first, Name)) {
      s.second = Value;
      return true;
    }
  FSourceSettings.emplace_back(Name, Value);
  return true;
}

IPtr<IStringListData> TImportObject::Get_SourceSettings() {
  std::vector<std::string> lines;
  lines.reserve(FSourceSettings.size());
  for (const auto& [name, value] : FSourceSettings)
    lines.push_back(name + "=" + value);
  return NewStringListData(lines);
}

void TImportObject::ApplySourceSettings() {
  if (FSourceSettings.empty()) return;
  IPtr<IImportSourceSettings> engine = EngineSourceSettings();
  for (const auto& [name, value] : FSourceSettings)
    if (!engine || !engine->SetSourceParameter(name, value))
      throw EVelaUserMessageException("Unknown source setting '" + name + "' for the engine");
}

// --- runs ---

bool TImportObject::Execute(bool SimulateOnly) {
  const IPtr<IDBFieldSchemaItem> schema = GetDestSchema();
  if (!schema) throw EDatabaseError("No destination table for the import");
  TStringList destFields;
  destFields.Reserve(static_cast<size_t>(schema->GetFieldCount()));
  for (int i = 0, n = schema->GetFieldCount(); i < n; ++i) {
    const TDBFieldSchemaField& f = schema->GetField(i);
    destFields.Add(f.Name + "=" + f.Caption);
  }
  FDataProcessor->SetEngineParameter(FEngineIndex, FInFile, FFormatIndex, destFields);
  ApplySourceSettings();

  IPtr<IDataImportEngine> engine = FDataProcessor->GetEngines(FEngineIndex);
  if (engine && engine->HandelFieldAssignments()) {
    TStringList& assignments = FRecordBuffer->FieldAssignments();
    FDataProcessor->SetFieldAssignment(FEngineIndex, assignments);
    // The engine maps source to database fields itself and reports database field names.
    for (int i = 0, n = assignments.Count(); i < n; ++i) {
      std::string name = assignments.Names(i);
      if (!name.empty()) assignments.SetStrings(i, name + "=" + name);
    }
  }
  return RunImport(SimulateOnly);
}

int32_t TImportObject::Get_RecordNumber() {
  return FRecordBuffer->RecordNumber();
}

int64_t TImportObject::Get_SourceLine() {
  if (FEngineIndex < 0 || FRecordBuffer->RecordNumber() == 0) return 0;
  auto position = Supports<IImportSourcePosition>(FDataProcessor->GetEngines(FEngineIndex));
  return position ? position->GetSourceLine() : 0;
}

void TImportObject::PrepareRun() {
  FRecordBuffer->ClearMessageCounts();
  FRecordBuffer->ClearRecordMessages();
  FRecordBuffer->SetRecordNumber(0);
  FRecordBuffer->SetAbortImport(false);
  FRecordBuffer->UnassignedFields().Clear();
}

bool TImportObject::RunImport(bool SimulateOnly) {
  TRecordBuffer& rb = *FRecordBuffer;
  bool result = false;
  try {
    PrepareRun();
    rb.SetSimulateOnly(SimulateOnly);
    FInsertedCount = 0;
    FUpdatedCount = 0;
    rb.DoMessage(GetText(SimulateOnly ? "IDS_ImpStartSim" : "IDS_ImpStart"), imtInformation);

    // Advanced fields without an assignment enter every record under a marker name, so that
    // their settings can supply values for fields the source lacks.
    const TAdvFieldSettingsList& adv = FDataProcessor->AdvFieldSettings();
    for (int i = 0, n = adv.Count(); i < n; ++i) {
      const std::string& name = adv.Items(i)->FieldName();
      if (rb.FieldAssignments().IndexOfName(name) < 0)
        rb.UnassignedFields().Add(name + "=@@@UNAFLD" + IntToStr(i));
    }

    const IPtr<IDBFieldSchemaItem> schema = GetDestSchema();
    if (!schema) throw EDatabaseError("No destination table for the import");
    rb.Clear();
    FCSQLImport->ClearFields();
    FCSQLImport->ClearFilters();
    FCSQLImport->SetSchemaName(schema->GetName());
    FIdFilter = &FCSQLImport->AddFilter(schema->GetRecordIDField(), Variant(int64_t{-1}), true,
                                        Variant(int64_t{-1}));
    rb.SetDBTable(FDatabase.GetTableInterface());
    rb.SetDestSchema(schema);

    try {
      std::optional<TTransactionGuard<TVelaDatabase>> transaction;
      if (!SimulateOnly && FUseTransactions) transaction.emplace(FDatabase);
      if (!SimulateOnly && FClearDestination) {
        FCSQLImport->SetMode(csmDelete);
        FCSQLImport->Execute();
      }
      result = FDataProcessor->Execute(FEngineIndex, SimulateOnly);
      if (transaction) {
        const TMessageCounts& counts = rb.MessageCounts();
        if (result && !(counts[imtError] > 0 && rb.RollBackOnError()) &&
            !(counts[imtWarning] > 0 && rb.RollBackOnWarning())) {
          transaction->Commit();
        } else {
          transaction->Rollback();
          result = false;
        }
      }
    } catch (const std::exception&) {
      // The run ends here with a false result and without a message of its own (the engine
      // reports its own failures); the transaction, if any, was rolled back on the way here.
      result = false;
    }
    rb.SetDestSchema(nullptr);
    rb.SetDBTable(nullptr);

    if (result) {
      rb.DoMessage(Format(GetText("IDS_ImpCntNew"), {IntToStr(FInsertedCount)}), imtInformation);
      rb.DoMessage(Format(GetText("IDS_ImpCntUpd"), {IntToStr(FUpdatedCount)}), imtInformation);
    }
    rb.DoMessage(GetText(SimulateOnly ? "IDS_ImpDoneSim" : "IDS_ImpDone"), imtInformation);
  } catch (...) {
    CleanUpRun();
    throw;
  }
  CleanUpRun();
  return result;
}

void TImportObject::CleanUpRun() {
  TRecordBuffer& rb = *FRecordBuffer;
  rb.SetDestSchema(nullptr);
  rb.SetDBTable(nullptr);
  rb.OnProgress = nullptr;
  rb.OnProgressMessage = nullptr;
  rb.FieldAssignments().Clear();
  rb.CheckFields().Clear();
  rb.Clear();
  FCSQLImport->ClearFields();
  FCSQLImport->ClearFilters();
  FIdFilter = nullptr;
}

// --- record events ---

void TImportObject::HandleStartRecord(bool& AbortImport) {
  TRecordBuffer& rb = *FRecordBuffer;
  AbortImport = rb.AbortImport();
  rb.ClearValues();
  rb.SetRecordNumber(rb.RecordNumber() + 1);
  rb.ClearRecordMessages();
}

void TImportObject::HandleSetValue(std::string_view FieldName, std::string_view Value,
                                   TImportDataType DataType, const TImportParsedValue* Parsed) {
  FRecordBuffer->AddField(FieldName, Value, true, DataType, Parsed);
}

void TImportObject::HandlePostRecord() {
  FRecordBuffer->HandlePostRecord();
}

void TImportObject::HandleEngineMessage(const std::string& Message, TImportMessageType MsgType) {
  FRecordBuffer->DoMessage(Message, MsgType);
}

// ---------------------------------------------------------------------------------------------
// TImportObjectDialog

TImportObject* TImportObjectDialog::Create(TVelaDatabase& ADatabase) const {
  return new TImportObjectDialog(ADatabase);
}

// ---------------------------------------------------------------------------------------------

IPtr<IDataImport> CreateImportObject(TDataImportProcessor& ARegistry, TVelaDatabase& ADatabase,
                                     TArdoLanguage ALanguage, const std::string& AInFile,
                                     const std::string& ADestSchema, TImportMode AMode,
                                     int32_t AFilterIndex, const std::string& AFormatGUID,
                                     bool AUseDialog) {
  int32_t engineIndex = -1;
  int32_t formatIndex = -1;
  if (AFilterIndex >= 1)
    ARegistry.FilterIndexToEngine(AFilterIndex, engineIndex, formatIndex);
  else if (!AFormatGUID.empty())
    ARegistry.GUIDToEngine(AFormatGUID, engineIndex, formatIndex);
  else
    ARegistry.QueryEngine(AInFile, engineIndex, formatIndex);
  if (engineIndex < 0 || formatIndex < 0)
    throw EVelaUserMessageException("Can't find a import engine which supports the file '" +
                                    AInFile + "'!");

  IPtr<TImportObject> obj(AUseDialog ? new TImportObjectDialog(ADatabase)
                                     : new TImportObject(ADatabase));
  try {
    obj->DataProcessor().LoadEnginesFrom(ARegistry);
    obj->SetLanguage(LanguageName(ALanguage));
    obj->SetInFile(AInFile);
    obj->SetEngineIndex(engineIndex);
    obj->SetFormatIndex(formatIndex);
    obj->SetDestSchema(ADatabase.GetSchemaByName(ADestSchema));
    obj->SetImportMode(AMode);
    obj->SetTransactionsAvailable((ADatabase.GetTransactionCapabilities() & 0x0F) == 0x0F);
    obj->Load();
  } catch (const EAbort&) {
    return nullptr;
  }
  return IPtr<IDataImport>(obj.get());
}

}  // namespace vela
