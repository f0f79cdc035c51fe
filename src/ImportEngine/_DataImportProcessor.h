// The field processor: the registry of import engines (lookups by file, format GUID and file
// dialog filter index), the runner that turns an engine's callbacks into events, and the two
// rule sets that the record buffer applies to every field value: the advanced field settings
// (fixed or generated values, trimming, replacements, letter case) and the field change
// conditions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ImportEngine/_BaseDataImportEngine.h"

namespace vela {

class TDataImportProcessor;
class TAdvFieldData;
class TReplacementsList;
class TFieldChangeConditions;

// Base of the rule objects: interfaces without reference counting. The lists own the objects.
class TNonRefCountedObject : public virtual IInterface {
 public:
  TNonRefCountedObject() = default;
  TNonRefCountedObject(const TNonRefCountedObject&) = delete;
  TNonRefCountedObject& operator=(const TNonRefCountedObject&) = delete;
  ~TNonRefCountedObject() override = default;

  HRESULT QueryInterface(const TGUID& iid, void** obj) override;
  int32_t _AddRef() override { return -1; }
  int32_t _Release() override { return -1; }

 protected:
  virtual bool GetInterface(const TGUID& iid, void** obj);
};

// ---------------------------------------------------------------------------------------------
// Replacements
// ---------------------------------------------------------------------------------------------

class TReplacement : public TNonRefCountedObject, public IReplacement {
  VELA_INTERFACES(TNonRefCountedObject, IReplacement)

  explicit TReplacement(TReplacementsList* AOwner);
  // Removes the item from its list, which frees it.
  void Delete();

  const std::string& SearchStr() const noexcept { return FSearchStr; }
  const std::string& ReplaceStr() const noexcept { return FReplaceStr; }
  bool CaseSensitive() const noexcept { return FCaseSensitive; }

  std::string Get_SearchStr() const override { return FSearchStr; }
  std::string Get_ReplaceStr() const override { return FReplaceStr; }
  bool Get_CaseSensitive() const override { return FCaseSensitive; }
  void Set_SearchStr(std::string_view Value) override { FSearchStr = Value; }
  void Set_ReplaceStr(std::string_view Value) override { FReplaceStr = Value; }
  void Set_CaseSensitive(bool Value) override { FCaseSensitive = Value; }

 private:
  TReplacementsList* FOwner;
  bool FCaseSensitive = false;
  std::string FSearchStr;
  std::string FReplaceStr;
};

class TReplacementsList : public TNonRefCountedObject, public IReplacements {
  VELA_INTERFACES(TNonRefCountedObject, IReplacements)

  explicit TReplacementsList(TAdvFieldData* AOwner);
  ~TReplacementsList() override;

  TAdvFieldData* Owner() const noexcept { return FOwner; }
  TReplacement* operator[](int32_t Index) const { return Items(Index); }
  // Removes and frees Item when it is in the list.
  void Remove(TReplacement* Item);

  TReplacement* Add() override;
  TReplacement* Items(int32_t Index) const override;
  int32_t Count() const override { return static_cast<int32_t>(FItems.size()); }
  void Delete(int32_t Index) override;
  void Clear() override;

 private:
  TAdvFieldData* FOwner;
  std::vector<std::unique_ptr<TReplacement>> FItems;
};

// ---------------------------------------------------------------------------------------------
// Advanced field settings
// ---------------------------------------------------------------------------------------------

class TAdvFieldSettingsList;

class TAdvFieldData : public TNonRefCountedObject, public IAdvFieldData {
  VELA_INTERFACES(TNonRefCountedObject, IAdvFieldData)

  explicit TAdvFieldData(std::string_view AFieldName);
  ~TAdvFieldData() override;

  const std::string& FieldName() const noexcept { return FFieldName; }
  TReplacementsList& Replacements() const noexcept { return *FReplacements; }
  bool LeftTrim() const noexcept { return FLeftTrim; }
  bool RightTrim() const noexcept { return FRightTrim; }
  bool UseFixValue() const noexcept { return FUseFixValue; }
  const std::string& FixValue() const noexcept { return FFixValue; }
  bool AutoValue() const noexcept { return FAutoValue; }
  int32_t StepStart() const noexcept { return FStepStart; }
  int32_t StepWidth() const noexcept { return FStepWidth; }
  const std::string& AutoValueString() const noexcept { return FAutoValueString; }
  TCaseMode CaseMode() const noexcept { return FCaseMode; }
  int32_t CurrentStep() const noexcept { return FCurrentStep; }
  void SetCurrentStep(int32_t Value) noexcept { FCurrentStep = Value; }

  // --- IAdvFieldData ---
  bool Get_AutoValue() const override { return FAutoValue; }
  std::string Get_AutoValueString() const override { return FAutoValueString; }
  TCaseMode Get_CaseMode() const override { return FCaseMode; }
  std::string Get_FieldName() const override { return FFieldName; }
  std::string Get_FixValue() const override { return FFixValue; }
  bool Get_LeftTrim() const override { return FLeftTrim; }
  TReplacementsList* Get_Replacements() const override { return FReplacements.get(); }
  bool Get_RightTrim() const override { return FRightTrim; }
  int32_t Get_StepStart() const override { return FStepStart; }
  int32_t Get_StepWidth() const override { return FStepWidth; }
  bool Get_UseFixValue() const override { return FUseFixValue; }
  void Set_AutoValue(bool Value) override { FAutoValue = Value; }
  void Set_AutoValueString(std::string_view Value) override { FAutoValueString = Value; }
  void Set_CaseMode(TCaseMode Value) override { FCaseMode = Value; }
  void Set_FieldName(std::string_view Value) override { FFieldName = Value; }
  void Set_FixValue(std::string_view Value) override { FFixValue = Value; }
  void Set_LeftTrim(bool Value) override { FLeftTrim = Value; }
  void Set_RightTrim(bool Value) override { FRightTrim = Value; }
  void Set_StepStart(int32_t Value) override { FStepStart = Value; }
  void Set_StepWidth(int32_t Value) override { FStepWidth = Value; }
  void Set_UseFixValue(bool Value) override { FUseFixValue = Value; }

 private:
  std::string FFieldName;
  std::unique_ptr<TReplacementsList> FReplacements;
  bool FRightTrim = false;
  bool FLeftTrim = false;
  bool FAutoValue = false;
  bool FUseFixValue = false;
  int32_t FStepWidth = 0;
  int32_t FStepStart = 0;
  std::string FAutoValueString;
  std::string FFixValue;
  int32_t FCurrentStep = 0;
  TCaseMode FCaseMode = cmNone;
};

class TAdvFieldSettingsList : public TNonRefCountedObject, public IAdvFieldSettings {
  VELA_INTERFACES(TNonRefCountedObject, IAdvFieldSettings)

  explicit TAdvFieldSettingsList(TDataImportProcessor* AOwner);
  ~TAdvFieldSettingsList() override;

  TDataImportProcessor* Owner() const noexcept { return FOwner; }
  TAdvFieldData* operator[](int32_t Index) const { return Items(Index); }

  // CurrentStep := StepStart for every item.
  void ResetSteps();
  // CurrentStep += StepWidth for every item.
  void StepNext();

  // Applies the settings of FieldName (if any) to one value: a fixed value (Format with the
  // record number) or an automatic one (record number and current step) replaces the value and
  // sets HasValue; then, when HasValue, trimming, the replacements in order and the letter
  // case. A pattern that does not fit its arguments raises EConvertError. True when the field
  // has settings (whether or not they changed the value).
  bool ProcessValue(std::string_view FieldName, int32_t RecordNumber, std::string& Value,
                    bool& HasValue) const;

  // --- IAdvFieldSettings ---
  TAdvFieldData* Add(std::string_view FieldName) override;
  void Clear() override;
  int32_t Count() const override { return static_cast<int32_t>(FItems.size()); }
  void Delete(int32_t Index) override;
  TAdvFieldData* Items(int32_t Index) const override;
  TAdvFieldData* ByName(std::string_view FieldName) const override;

 private:
  TDataImportProcessor* FOwner;
  std::vector<std::unique_ptr<TAdvFieldData>> FItems;
  mutable std::string FScratch;  // replacement buffer, reused across values
};

// The value rules of ProcessValue, also usable on their own.
// Removes leading / trailing characters with codes 0 to 32, in place.
void TrimLeftInPlace(std::string& Value);
void TrimRightInPlace(std::string& Value);
// Replaces every occurrence of Search in Value (ASCII case folding unless CaseSensitive);
// Scratch is a reusable buffer. An empty Search changes nothing.
void ReplaceAllInPlace(std::string& Value, std::string_view Search, std::string_view Replace,
                       bool CaseSensitive, std::string& Scratch);
// Letter case by mode; only ASCII letters change.
void ApplyCaseMode(std::string& Value, TCaseMode Mode);

// ---------------------------------------------------------------------------------------------
// Field change conditions
// ---------------------------------------------------------------------------------------------

// What the conditions need of the current record; the record buffer implements it.
class TConditionRecordAccess {
 public:
  // The stored text of the field in the current record; nil when the record has no such field.
  virtual const std::string* FieldText(std::string_view FieldName) = 0;
  // Stores the value of SourceField (text, presence flag and data type) as the value of
  // DestField, with the advanced field processing of DestField.
  virtual void ReplaceField(std::string_view DestField, std::string_view SourceField) = 0;

 protected:
  ~TConditionRecordAccess() = default;
};

class TFieldChangeCondition : public TNonRefCountedObject, public IFieldChangeCondition {
  VELA_INTERFACES(TNonRefCountedObject, IFieldChangeCondition)

  explicit TFieldChangeCondition(TFieldChangeConditions* AOwner);
  // Removes the rule from its list, which frees it.
  void Delete();

  const std::string& ConditionField() const noexcept { return FConditionField; }
  TCondition Condition() const noexcept { return FCondition; }
  const std::string& ConditionValue() const noexcept { return FConditionValue; }
  TConditionCheckMode ConditionCheckMode() const noexcept { return FConditionCheckMode; }
  const std::string& DestinationField() const noexcept { return FDestinationField; }
  const std::string& ReplaceField() const noexcept { return FReplaceField; }
  TConditionAction Action() const noexcept { return FAction; }
  bool PreDefined() const noexcept { return FPreDefined; }

  // The test on the condition field's text (nil: the record lacks the field). Exact,
  // case-sensitive; neither comparison holds for a missing field.
  bool Holds(const std::string* FieldText) const noexcept;

  // --- IFieldChangeCondition ---
  void Set_ConditionField(std::string_view Value) override { FConditionField = Value; }
  std::string Get_ConditionField() const override { return FConditionField; }
  void Set_Condition(TCondition Value) override { FCondition = Value; }
  TCondition Get_Condition() const override { return FCondition; }
  void Set_ConditionValue(std::string_view Value) override { FConditionValue = Value; }
  std::string Get_ConditionValue() const override { return FConditionValue; }
  void Set_ConditionCheckMode(TConditionCheckMode Value) override { FConditionCheckMode = Value; }
  TConditionCheckMode Get_ConditionCheckMode() const override { return FConditionCheckMode; }
  void Set_DestinationField(std::string_view Value) override { FDestinationField = Value; }
  std::string Get_DestinationField() const override { return FDestinationField; }
  void Set_ReplaceField(std::string_view Value) override { FReplaceField = Value; }
  std::string Get_ReplaceField() const override { return FReplaceField; }
  void Set_Action(TConditionAction Value) override { FAction = Value; }
  TConditionAction Get_Action() const override { return FAction; }
  void Set_PreDefined(bool Value) override { FPreDefined = Value; }
  bool Get_PreDefined() const override { return FPreDefined; }

 private:
  TFieldChangeConditions* FOwner;
  std::string FConditionField;
  std::string FConditionValue;
  std::string FReplaceField;
  TCondition FCondition = coEqual;
  TConditionCheckMode FConditionCheckMode = ccmBeforeKeySearch;
  std::string FDestinationField;
  TConditionAction FAction = caIgnoreRecord;
  bool FPreDefined = false;
};

class TFieldChangeConditions : public TNonRefCountedObject, public IFieldChangeConditions {
  VELA_INTERFACES(TNonRefCountedObject, IFieldChangeConditions)

  explicit TFieldChangeConditions(TDataImportProcessor* AOwner);
  ~TFieldChangeConditions() override;

  TDataImportProcessor* Owner() const noexcept { return FOwner; }
  TFieldChangeCondition* operator[](int32_t Index) const { return Items(Index); }
  // Removes and frees Item when it is in the list.
  void Remove(TFieldChangeCondition* Item);

  // One pass over the record: every rule whose check mode is ACheckMode, in list order (a
  // later rule sees the changes of an earlier one). True when any rule held; HasDeleteAction
  // tells whether one of them was an ignore action.
  bool Run(TConditionCheckMode ACheckMode, TConditionRecordAccess& ARecord,
           bool& HasDeleteAction) const;

  // --- IFieldChangeConditions ---
  TFieldChangeCondition* Items(int32_t Index) const override;
  int32_t Count() const override { return static_cast<int32_t>(FItems.size()); }
  TFieldChangeCondition* ByName(std::string_view FieldName) const override;
  TFieldChangeCondition* Add() override;
  void Clear(bool All) override;
  void Delete(int32_t Index) override;

 private:
  TDataImportProcessor* FOwner;
  std::vector<std::unique_ptr<TFieldChangeCondition>> FItems;
};

// ---------------------------------------------------------------------------------------------
// Processor
// ---------------------------------------------------------------------------------------------

using TEngineMessageEvent = std::function<void(TDataImportProcessor* Sender, int32_t EngineIndex,
                                               std::string_view AMsg, TImportMessageType AMsgType)>;
using TRecordStartEvent =
    std::function<void(TDataImportProcessor* Sender, int32_t EngineIndex, bool& AbortImport)>;
using TRecordEvent = std::function<void(TDataImportProcessor* Sender, int32_t EngineIndex)>;
// Value is only valid for the duration of the call.
using TRecordSetValueEvent =
    std::function<void(TDataImportProcessor* Sender, std::string_view FieldName,
                       std::string_view Value, TImportDataType DataType, int32_t EngineIndex)>;
// The same with the value the engine parsed the text into.
using TRecordSetParsedValueEvent = std::function<void(
    TDataImportProcessor* Sender, std::string_view FieldName, std::string_view Value,
    TImportDataType DataType, const TImportParsedValue& Parsed, int32_t EngineIndex)>;

// Owned by its creator (the reference count never frees it); engines hold it as
// IDataImportProcessor only while their Execute runs.
class TDataImportProcessor : public TInterfacedObject,
                             public IDataImportProcessor,
                             public IDataImportParsedValues {
  VELA_INTERFACES(TInterfacedObject, IDataImportProcessor, IDataImportParsedValues)

  explicit TDataImportProcessor(TObject* AOwner = nullptr);
  ~TDataImportProcessor() override;

  TObject* Owner() const noexcept { return FOwner; }

  // --- registry ---
  // Appends the engine (no duplicate check); its position is its engine index.
  void RegisterEngine(const IPtr<IDataImportEngine>& AImportEngine);
  // Removes the engine if registered; later engines move down one index.
  void UnRegisterEngine(const IPtr<IDataImportEngine>& AImportEngine);
  void Clear();
  // Registers a NewInstance of every engine of ASource, in order.
  void LoadEnginesFrom(const TDataImportProcessor& ASource);
  int32_t Count() const noexcept { return static_cast<int32_t>(FEngineList.size()); }
  // Raises EListError for an index outside the list.
  IPtr<IDataImportEngine> GetEngines(int32_t Index) const;

  // --- lookups: both indexes are -1 unless found; the first hit in registration and format
  // order wins ---
  bool QueryEngine(std::string_view InFile, int32_t& EngineIndex, int32_t& FormatIndex) const;
  void GUIDToEngine(std::string_view FormatGUID, int32_t& EngineIndex, int32_t& FormatIndex) const;
  // Filter index 1 is the first format shown in the file dialog.
  void FilterIndexToEngine(int32_t FilterIndex, int32_t& EngineIndex, int32_t& FormatIndex) const;
  // "Title (*.ext)|*.ext|..." over the dialog formats; "Title ()| " for formats without
  // extension.
  std::string DialogFilterStr() const;
  // "\"{GUID}=Title\",..." over every format.
  std::string GUIDCommaText() const;

  // --- engine operations ---
  void SetEngineParameter(int32_t EngineIndex, std::string_view InFile, int32_t FormatIndex,
                          const TStringList& DestFields);
  // Raises the silent abort when the engine fails (it has shown its error already).
  void QueryFields(int32_t EngineIndex, TStringList& Dest, bool QueryForSave);
  void SetFieldAssignment(int32_t EngineIndex, const TStringList& AssignmentFields);
  bool RunFilterTypeHandler(int32_t FilterIndex, std::string& NewFileName);
  // Restarts the step counters and runs the engine with itself as callback target.
  bool Execute(int32_t EngineIndex, bool SimulationOnly);
  // Resolves the format GUID only.
  void Execute(std::string_view FormatGUID);

  TAdvFieldSettingsList& AdvFieldSettings() const noexcept { return *FAdvFieldSettings; }
  TFieldChangeConditions& FieldChangeConditions() const noexcept { return *FFieldChangeConditions; }

  // --- events ---
  const TEngineMessageEvent& OnEngineMessage() const noexcept { return FOnEngineMessage; }
  void SetOnEngineMessage(TEngineMessageEvent Value) { FOnEngineMessage = std::move(Value); }
  const TRecordStartEvent& OnStartRecord() const noexcept { return FOnStartRecord; }
  void SetOnStartRecord(TRecordStartEvent Value) { FOnStartRecord = std::move(Value); }
  const TRecordEvent& OnPostRecord() const noexcept { return FOnPostRecord; }
  void SetOnPostRecord(TRecordEvent Value) { FOnPostRecord = std::move(Value); }
  const TRecordSetValueEvent& OnSetValue() const noexcept { return FOnSetValue; }
  void SetOnSetValue(TRecordSetValueEvent Value) { FOnSetValue = std::move(Value); }
  const TRecordSetParsedValueEvent& OnSetParsedValue() const noexcept { return FOnSetParsedValue; }
  void SetOnSetParsedValue(TRecordSetParsedValueEvent Value) {
    FOnSetParsedValue = std::move(Value);
  }

  // --- IDataImportProcessor ---
  void StartRecord(int32_t EngineIndex, bool& Abort) override;
  void PostRecord(int32_t EngineIndex) override;
  void SetValue(std::string_view FieldName, std::string_view Value, TImportDataType DataType,
                int32_t EngineIndex) override;
  // --- IDataImportParsedValues: OnSetParsedValue when assigned, else as SetValue ---
  void SetParsedValue(std::string_view FieldName, std::string_view Value, TImportDataType DataType,
                      const TImportParsedValue& Parsed, int32_t EngineIndex) override;
  // Exceptions of the handler are swallowed.
  void EngineMessage(int32_t EngineIndex, std::string_view Msg,
                     TImportMessageType MsgType) override;

 private:
  IDataImportEngine& EngineAt(int32_t Index) const;

  TObject* FOwner;
  std::vector<IPtr<IDataImportEngine>> FEngineList;
  TEngineMessageEvent FOnEngineMessage;
  TRecordStartEvent FOnStartRecord;
  TRecordEvent FOnPostRecord;
  TRecordSetValueEvent FOnSetValue;
  TRecordSetParsedValueEvent FOnSetParsedValue;
  std::string FGlobalEngineParameterFields;
  std::unique_ptr<TAdvFieldSettingsList> FAdvFieldSettings;
  std::unique_ptr<TFieldChangeConditions> FFieldChangeConditions;
};

}  // namespace vela
