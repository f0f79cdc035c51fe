#include "ImportEngine/_DataImportProcessor.h"

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

[[noreturn]] void ListIndexError(int32_t Index) {
  throw EListError(Format("List index out of bounds (%d)", Index));
}

template <class T>
T* ItemAt(const std::vector<std::unique_ptr<T>>& Items, int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= Items.size()) ListIndexError(Index);
  return Items[static_cast<size_t>(Index)].get();
}

template <class T>
void DeleteAt(std::vector<std::unique_ptr<T>>& Items, int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= Items.size()) ListIndexError(Index);
  Items.erase(Items.begin() + Index);
}

template <class T>
void RemoveItem(std::vector<std::unique_ptr<T>>& Items, T* Item) {
  auto it =
      std::find_if(Items.begin(), Items.end(), [Item](const auto& p) { return p.get() == Item; });
  if (it != Items.end()) Items.erase(it);
}

constexpr bool IsTrimChar(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

}  // namespace

// --- TNonRefCountedObject ---

HRESULT TNonRefCountedObject::QueryInterface(const TGUID& iid, void** obj) {
  *obj = nullptr;
  return GetInterface(iid, obj) ? S_OK : E_NOINTERFACE;
}

bool TNonRefCountedObject::GetInterface(const TGUID& iid, void** obj) {
  if (iid == IInterface::IID()) {
    *obj = static_cast<IInterface*>(this);
    return true;
  }
  return false;
}

// --- value rules ---

void TrimLeftInPlace(std::string& Value) {
  size_t n = 0;
  while (n < Value.size() && IsTrimChar(Value[n]))
    ++n;
  Value.erase(0, n);
}

void TrimRightInPlace(std::string& Value) {
  size_t n = Value.size();
  while (n > 0 && IsTrimChar(Value[n - 1]))
    --n;
  Value.resize(n);
}

void ReplaceAllInPlace(std::string& Value, std::string_view Search, std::string_view Replace,
                       bool CaseSensitive, std::string& Scratch) {
  if (Search.empty() || Value.size() < Search.size()) return;
  auto find = [&](size_t from) {
    return CaseSensitive ? std::string_view(Value).find(Search, from)
                         : PosText(Search, Value, from);
  };
  size_t pos = find(0);
  if (pos == std::string_view::npos) return;
  Scratch.clear();
  size_t done = 0;
  while (pos != std::string_view::npos) {
    Scratch.append(Value, done, pos - done);
    Scratch.append(Replace);
    done = pos + Search.size();
    pos = find(done);
  }
  Scratch.append(Value, done, std::string::npos);
  // The old value's buffer becomes the next scratch buffer.
  Value.swap(Scratch);
}

void ApplyCaseMode(std::string& Value, TCaseMode Mode) {
  switch (Mode) {
    case cmFirstUpper:
      for (char& c : Value)
        c = AsciiLower(c);
      if (!Value.empty()) Value[0] = AsciiUpper(Value[0]);
      break;
    case cmUpper:
      for (char& c : Value)
        c = AsciiUpper(c);
      break;
    case cmLower:
      for (char& c : Value)
        c = AsciiLower(c);
      break;
    case cmNone:
    default:
      break;
  }
}

// --- TReplacement / TReplacementsList ---

TReplacement::TReplacement(TReplacementsList* AOwner) : FOwner(AOwner) {}

void TReplacement::Delete() {
  if (FOwner) FOwner->Remove(this);  // frees this
}

TReplacementsList::TReplacementsList(TAdvFieldData* AOwner) : FOwner(AOwner) {}

TReplacementsList::~TReplacementsList() = default;

void TReplacementsList::Remove(TReplacement* Item) {
  RemoveItem(FItems, Item);
}

TReplacement* TReplacementsList::Add() {
  FItems.push_back(std::make_unique<TReplacement>(this));
  return FItems.back().get();
}

TReplacement* TReplacementsList::Items(int32_t Index) const {
  return ItemAt(FItems, Index);
}

void TReplacementsList::Delete(int32_t Index) {
  DeleteAt(FItems, Index);
}

void TReplacementsList::Clear() {
  FItems.clear();
}

// --- TAdvFieldData / TAdvFieldSettingsList ---

TAdvFieldData::TAdvFieldData(std::string_view AFieldName)
    : FFieldName(AFieldName), FReplacements(std::make_unique<TReplacementsList>(this)) {}

TAdvFieldData::~TAdvFieldData() = default;

TAdvFieldSettingsList::TAdvFieldSettingsList(TDataImportProcessor* AOwner) : FOwner(AOwner) {}

TAdvFieldSettingsList::~TAdvFieldSettingsList() = default;

void TAdvFieldSettingsList::ResetSteps() {
  for (auto& item : FItems)
    item->SetCurrentStep(item->StepStart());
}

void TAdvFieldSettingsList::StepNext() {
  for (auto& item : FItems)
    item->SetCurrentStep(item->CurrentStep() + item->StepWidth());
}

bool TAdvFieldSettingsList::ProcessValue(std::string_view FieldName, int32_t RecordNumber,
                                         std::string& Value, bool& HasValue) const {
  const TAdvFieldData* settings = FItems.empty() ? nullptr : ByName(FieldName);
  if (!settings) return false;
  if (settings->UseFixValue()) {
    Value = Format(settings->FixValue(), RecordNumber);
    HasValue = true;
  } else if (settings->AutoValue()) {
    Value = Format(settings->AutoValueString(), RecordNumber, settings->CurrentStep());
    HasValue = true;
  }
  if (!HasValue) return true;
  if (settings->LeftTrim()) TrimLeftInPlace(Value);
  if (settings->RightTrim()) TrimRightInPlace(Value);
  const TReplacementsList& replacements = settings->Replacements();
  for (int32_t i = 0, n = replacements.Count(); i < n; ++i) {
    const TReplacement* r = replacements.Items(i);
    ReplaceAllInPlace(Value, r->SearchStr(), r->ReplaceStr(), r->CaseSensitive(), FScratch);
  }
  ApplyCaseMode(Value, settings->CaseMode());
  return true;
}

TAdvFieldData* TAdvFieldSettingsList::Add(std::string_view FieldName) {
  FItems.push_back(std::make_unique<TAdvFieldData>(FieldName));
  return FItems.back().get();
}

void TAdvFieldSettingsList::Clear() {
  FItems.clear();
}

void TAdvFieldSettingsList::Delete(int32_t Index) {
  DeleteAt(FItems, Index);
}

TAdvFieldData* TAdvFieldSettingsList::Items(int32_t Index) const {
  return ItemAt(FItems, Index);
}

TAdvFieldData* TAdvFieldSettingsList::ByName(std::string_view FieldName) const {
  for (const auto& item : FItems)
    if (item->FieldName() == FieldName) return item.get();
  return nullptr;
}

// --- TFieldChangeCondition / TFieldChangeConditions ---

TFieldChangeCondition::TFieldChangeCondition(TFieldChangeConditions* AOwner) : FOwner(AOwner) {}

void TFieldChangeCondition::Delete() {
  if (FOwner) FOwner->Remove(this);  // frees this
}

bool TFieldChangeCondition::Holds(const std::string* FieldText) const noexcept {
  if (!FieldText) return false;
  return (FCondition == coEqual) == (*FieldText == FConditionValue);
}

TFieldChangeConditions::TFieldChangeConditions(TDataImportProcessor* AOwner) : FOwner(AOwner) {}

TFieldChangeConditions::~TFieldChangeConditions() = default;

void TFieldChangeConditions::Remove(TFieldChangeCondition* Item) {
  RemoveItem(FItems, Item);
}

bool TFieldChangeConditions::Run(TConditionCheckMode ACheckMode, TConditionRecordAccess& ARecord,
                                 bool& HasDeleteAction) const {
  HasDeleteAction = false;
  bool result = false;
  for (const auto& rule : FItems) {
    if (rule->ConditionCheckMode() != ACheckMode) continue;
    if (!rule->Holds(ARecord.FieldText(rule->ConditionField()))) continue;
    result = true;
    if (rule->Action() == caIgnoreRecord)
      HasDeleteAction = true;
    else
      ARecord.ReplaceField(rule->DestinationField(), rule->ReplaceField());
  }
  return result;
}

TFieldChangeCondition* TFieldChangeConditions::Items(int32_t Index) const {
  return ItemAt(FItems, Index);
}

TFieldChangeCondition* TFieldChangeConditions::ByName(std::string_view FieldName) const {
  for (const auto& item : FItems)
    if (item->ConditionField() == FieldName) return item.get();
  return nullptr;
}

TFieldChangeCondition* TFieldChangeConditions::Add() {
  FItems.push_back(std::make_unique<TFieldChangeCondition>(this));
  return FItems.back().get();
}

void TFieldChangeConditions::Clear(bool All) {
  if (All) {
    FItems.clear();
    return;
  }
  for (size_t i = FItems.size(); i-- > 0;)
    if (!FItems[i]->PreDefined()) FItems.erase(FItems.begin() + static_cast<ptrdiff_t>(i));
}

void TFieldChangeConditions::Delete(int32_t Index) {
  DeleteAt(FItems, Index);
}

// --- TDataImportProcessor ---

TDataImportProcessor::TDataImportProcessor(TObject* AOwner)
    : FOwner(AOwner),
      FAdvFieldSettings(std::make_unique<TAdvFieldSettingsList>(this)),
      FFieldChangeConditions(std::make_unique<TFieldChangeConditions>(this)) {
  // Owned by its creator; engines reference it only while they execute.
  SetFreeOnRelease(false);
}

TDataImportProcessor::~TDataImportProcessor() {
  FEngineList.clear();
}

void TDataImportProcessor::RegisterEngine(const IPtr<IDataImportEngine>& AImportEngine) {
  FEngineList.push_back(AImportEngine);
}

void TDataImportProcessor::UnRegisterEngine(const IPtr<IDataImportEngine>& AImportEngine) {
  auto it = std::find(FEngineList.begin(), FEngineList.end(), AImportEngine);
  if (it != FEngineList.end()) FEngineList.erase(it);
}

void TDataImportProcessor::Clear() {
  FEngineList.clear();
}

void TDataImportProcessor::LoadEnginesFrom(const TDataImportProcessor& ASource) {
  for (const auto& engine : ASource.FEngineList)
    if (engine) RegisterEngine(engine->NewInstance());
}

IPtr<IDataImportEngine> TDataImportProcessor::GetEngines(int32_t Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FEngineList[static_cast<size_t>(Index)];
}

IDataImportEngine& TDataImportProcessor::EngineAt(int32_t Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  IDataImportEngine* engine = FEngineList[static_cast<size_t>(Index)].get();
  if (!engine) throw EIntfCastError("Interface not supported");
  return *engine;
}

bool TDataImportProcessor::QueryEngine(std::string_view InFile, int32_t& EngineIndex,
                                       int32_t& FormatIndex) const {
  EngineIndex = -1;
  FormatIndex = -1;
  for (int32_t e = 0; e < Count(); ++e) {
    IDataImportEngine* engine = FEngineList[static_cast<size_t>(e)].get();
    if (!engine) continue;
    for (int32_t f = 0, n = engine->GetFormatCount(); f < n; ++f) {
      if (engine->IsFileForFormat(InFile, f)) {
        EngineIndex = e;
        FormatIndex = f;
        return true;
      }
    }
  }
  return false;
}

void TDataImportProcessor::GUIDToEngine(std::string_view FormatGUID, int32_t& EngineIndex,
                                        int32_t& FormatIndex) const {
  EngineIndex = -1;
  FormatIndex = -1;
  std::string guid, title, ext;
  for (int32_t e = 0; e < Count(); ++e) {
    IDataImportEngine* engine = FEngineList[static_cast<size_t>(e)].get();
    if (!engine) continue;
    for (int32_t f = 0, n = engine->GetFormatCount(); f < n; ++f) {
      engine->GetFormatInfo(f, guid, title, ext);
      // Format GUIDs are written in upper case, but a caller's may not be.
      if (SameText(guid, FormatGUID)) {
        EngineIndex = e;
        FormatIndex = f;
        return;
      }
    }
  }
}

void TDataImportProcessor::FilterIndexToEngine(int32_t FilterIndex, int32_t& EngineIndex,
                                               int32_t& FormatIndex) const {
  EngineIndex = -1;
  FormatIndex = -1;
  if (FilterIndex < 1) return;
  int32_t count = 0;
  for (int32_t e = 0; e < Count(); ++e) {
    IDataImportEngine* engine = FEngineList[static_cast<size_t>(e)].get();
    if (!engine) continue;
    for (int32_t f = 0, n = engine->GetFormatCount(); f < n; ++f) {
      if (!engine->UseFormatForDialog(f)) continue;
      if (++count == FilterIndex) {
        EngineIndex = e;
        FormatIndex = f;
        return;
      }
    }
  }
}

std::string TDataImportProcessor::DialogFilterStr() const {
  std::string result;
  std::string guid, title, ext;
  for (const auto& engine : FEngineList) {
    if (!engine) continue;
    for (int32_t f = 0, n = engine->GetFormatCount(); f < n; ++f) {
      if (!engine->UseFormatForDialog(f)) continue;
      engine->GetFormatInfo(f, guid, title, ext);
      if (!result.empty()) result += '|';
      result += title;
      if (!ext.empty()) {
        result += " (*";
        result += ext;
        result += ")|*";
        result += ext;
      } else {
        result += " ()| ";
      }
    }
  }
  return result;
}

std::string TDataImportProcessor::GUIDCommaText() const {
  std::string result;
  std::string guid, title, ext;
  for (const auto& engine : FEngineList) {
    if (!engine) continue;
    for (int32_t f = 0, n = engine->GetFormatCount(); f < n; ++f) {
      engine->GetFormatInfo(f, guid, title, ext);
      if (!result.empty()) result += ',';
      result += '"';
      result += guid;
      result += '=';
      result += title;
      result += '"';
    }
  }
  return result;
}

void TDataImportProcessor::SetEngineParameter(int32_t EngineIndex, std::string_view InFile,
                                              int32_t FormatIndex, const TStringList& DestFields) {
  IDataImportEngine& engine = EngineAt(EngineIndex);
  FGlobalEngineParameterFields = StringsToPPChar(DestFields);
  engine.SetParameter(InFile, FormatIndex, FGlobalEngineParameterFields,
                      FFieldChangeConditions.get());
}

void TDataImportProcessor::QueryFields(int32_t EngineIndex, TStringList& Dest, bool QueryForSave) {
  Dest.Clear();
  IPtr<IStringListData> fields;
  if (!EngineAt(EngineIndex).QueryFields(fields, QueryForSave)) Abort();
  if (fields) Dest.AddStrings(fields->Items());
}

void TDataImportProcessor::SetFieldAssignment(int32_t EngineIndex,
                                              const TStringList& AssignmentFields) {
  IDataImportEngine& engine = EngineAt(EngineIndex);
  const std::string packed = StringsToPPChar(AssignmentFields);
  engine.SetFieldAssignment(packed);
}

bool TDataImportProcessor::RunFilterTypeHandler(int32_t FilterIndex, std::string& NewFileName) {
  NewFileName.clear();
  int32_t engineIndex = -1;
  int32_t formatIndex = -1;
  FilterIndexToEngine(FilterIndex, engineIndex, formatIndex);
  if (engineIndex < 0 || formatIndex < 0) return false;
  std::string name;
  const bool result = EngineAt(engineIndex).RunFilterTypeHandler(formatIndex, name);
  if (result) NewFileName = std::move(name);
  return result;
}

bool TDataImportProcessor::Execute(int32_t EngineIndex, bool SimulationOnly) {
  IDataImportEngine& engine = EngineAt(EngineIndex);
  FAdvFieldSettings->ResetSteps();
  return engine.Execute(EngineIndex, this, SimulationOnly);
}

void TDataImportProcessor::Execute(std::string_view FormatGUID) {
  int32_t engineIndex = -1;
  int32_t formatIndex = -1;
  GUIDToEngine(FormatGUID, engineIndex, formatIndex);
}

void TDataImportProcessor::StartRecord(int32_t EngineIndex, bool& Abort) {
  Abort = false;
  if (FOnStartRecord) FOnStartRecord(this, EngineIndex, Abort);
}

void TDataImportProcessor::PostRecord(int32_t EngineIndex) {
  if (FOnPostRecord) FOnPostRecord(this, EngineIndex);
  FAdvFieldSettings->StepNext();
}

void TDataImportProcessor::SetValue(std::string_view FieldName, std::string_view Value,
                                    TImportDataType DataType, int32_t EngineIndex) {
  if (FOnSetValue) FOnSetValue(this, FieldName, Value, DataType, EngineIndex);
}

void TDataImportProcessor::SetParsedValue(std::string_view FieldName, std::string_view Value,
                                          TImportDataType DataType,
                                          const TImportParsedValue& Parsed, int32_t EngineIndex) {
  if (FOnSetParsedValue)
    FOnSetParsedValue(this, FieldName, Value, DataType, Parsed, EngineIndex);
  else
    SetValue(FieldName, Value, DataType, EngineIndex);
}

void TDataImportProcessor::EngineMessage(int32_t EngineIndex, std::string_view Msg,
                                         TImportMessageType MsgType) {
  if (!FOnEngineMessage) return;
  try {
    FOnEngineMessage(this, EngineIndex, Msg, MsgType);
  } catch (...) {
    // A failing message handler must not turn a message into an engine failure.
  }
}

}  // namespace vela
