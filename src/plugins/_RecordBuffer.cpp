#include "plugins/_RecordBuffer.h"

#include <cmath>

#include "host/ArdoLang.h"
#include "host/db/DbTypes.h"
#include "host/db/VelaLookupInfo.h"
#include "plugins/_ImportObject.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr std::string_view kUnassignedMarker = "=@@@UNAFLD";

// The value part of a name=value line, without copying.
std::string_view ValuePart(std::string_view line) {
  size_t p = line.find('=');
  return p == std::string_view::npos ? std::string_view{} : line.substr(p + 1);
}
std::string_view NamePart(std::string_view line) {
  size_t p = line.find('=');
  return p == std::string_view::npos ? std::string_view{} : line.substr(0, p);
}

// The text without the thousands separators of the process's format settings.
const std::string& WithoutThousands(const std::string& text, std::string& buffer) {
  const char sep = FormatSettings.ThousandSeparator;
  if (sep == '\0' || text.find(sep) == std::string::npos) return text;
  buffer.clear();
  for (char c : text)
    if (c != sep) buffer += c;
  return buffer;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TFieldData

TFieldData::TFieldData(TRecordBuffer* AOwner, std::string AFieldName)
    : FRecordBuffer(AOwner), FFieldName(std::move(AFieldName)) {}

Variant TFieldData::ConvertValue(bool& ACastError) {
  ACastError = false;
  const std::string& text = FValue;
  const int dt = static_cast<int>(FDataType);
  std::string& buffer = FRecordBuffer->FNumberText;
  const auto castError = [&] {
    ACastError = true;
    return Variant::MakeNull();
  };
  if (IsIntegerFieldType(FDataBaseFieldType)) {
    if (text.empty()) return Variant(int32_t{0});
    switch (dt) {
      case 0:
      case 5:
        return Variant(StrToInt64(WithoutThousands(text, buffer)));
      case 1:
        return Variant(
            static_cast<int64_t>(std::nearbyint(StrToFloat(WithoutThousands(text, buffer)))));
      default:
        return castError();
    }
  }
  switch (FDataBaseFieldType) {
    case ftFloat:
    case ftCurrency:
    case ftExtended:
      if (text.empty()) return Variant(0.0);
      switch (dt) {
        case 0:
        case 1:
          return Variant(StrToFloat(text));
        case 2:
          return Variant(StrToTime(text));
        case 3:
          return Variant(StrToDate(text));
        case 4:
          return Variant(StrToDateTime(text));
        case 5:
          return Variant(StrToInt64(text));
        default:
          return castError();
      }
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (text.empty()) {
        if (FDataBaseFieldType == ftDate) return Variant::FromDateTime(DateOf(MinDateTime));
        if (FDataBaseFieldType == ftTime) return Variant::FromDateTime(TimeOf(MinDateTime));
        return Variant::FromDateTime(MinDateTime);
      }
      TDateTime v;
      switch (dt) {
        case 0:
          v = FDataBaseFieldType == ftDate   ? DateOf(StrToDateTime(text))
              : FDataBaseFieldType == ftTime ? StrToTime(text)
                                             : StrToDateTime(text);
          break;
        case 1:
          v = StrToFloat(text);
          break;
        case 2:
          v = StrToTime(text);
          break;
        case 3:
          // Date-time values may arrive declared as dates (the contact engine sends them so).
          // A date-time column keeps the time, a date column takes the date part.
          if (FDataBaseFieldType != ftTime) {
            if (TryStrToDate(text, v)) break;
            if (TryStrToDate(std::string_view(text).substr(0, text.find(' ')), v)) {
              v = StrToDateTime(text);
              if (FDataBaseFieldType == ftDate) v = DateOf(v);
              break;
            }
          }
          v = StrToDate(text);  // raises the conversion error
          break;
        case 4:
          v = StrToDateTime(text);
          break;
        case 5:
          v = static_cast<TDateTime>(StrToInt64(text));
          break;
        default:
          return castError();
      }
      return Variant::FromDateTime(v);
    }
    default:
      return Variant(text);
  }
}

TFieldData::TDestinationKind TFieldData::DestinationKind() const {
  switch (FDataBaseFieldType) {
    case ftFloat:
    case ftCurrency:
    case ftExtended:
      return dkFloat;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return dkDate;
    default:
      return IsIntegerFieldType(FDataBaseFieldType) ? dkInteger : dkText;
  }
}

Variant TFieldData::ConvertParsed(bool& ACastError) {
  ACastError = false;
  const TDestinationKind kind = DestinationKind();
  switch (FDataType) {
    case idtInteger:
      if (kind == dkInteger || kind == dkFloat) return Variant(FParsed.Int);
      if (kind == dkDate) return Variant::FromDateTime(static_cast<TDateTime>(FParsed.Int));
      break;
    case idtFloat:
      if (kind == dkInteger) {
        // The text way drops thousands separators before reading the number.
        const char sep = FormatSettings.ThousandSeparator;
        if (sep != '\0' && FValue.find(sep) != std::string::npos) break;
        return Variant(static_cast<int64_t>(std::nearbyint(FParsed.Number)));
      }
      if (kind == dkFloat) return Variant(FParsed.Number);
      if (kind == dkDate) return Variant::FromDateTime(FParsed.Number);
      break;
    case idtDate:
      if (kind == dkFloat) return Variant(FParsed.Number);
      if (kind == dkDate) return Variant::FromDateTime(FParsed.Number);
      break;
    default:
      break;
  }
  return ConvertValue(ACastError);
}

void TFieldData::StoreDataBaseValue(Variant& AOut) {
  if (DestinationKind() == dkText) {
    FLastWasCastError = false;
    AOut.SetString(FValue);
    return;
  }
  AOut = DataBaseValue();
}

Variant TFieldData::DataBaseValue() {
  FLastWasCastError = false;
  std::string reason;
  bool castError = false;
  try {
    // Returned as converted, without a further move into a local.
    Variant result = FHasParsed ? ConvertParsed(castError) : ConvertValue(castError);
    if (!castError) return result;
  } catch (const std::exception& e) {
    castError = true;
    reason = e.what();
  }
  FLastWasCastError = true;
  FRecordBuffer->DoMessage(
      Format(FRecordBuffer->GetText("IDS_CastError"), {FFieldName, FDataBaseField, FValue, reason}),
      imtError);
  return Variant::MakeNull();
}

// ---------------------------------------------------------------------------------------------
// TRecordBuffer

TRecordBuffer::TRecordBuffer(TImportObject* AImpObj, TDataImportProcessor* ADataProcessor)
    : TStringList(true), FDataProcessor(ADataProcessor), FImpObj(AImpObj) {}

TRecordBuffer::~TRecordBuffer() = default;

std::string TRecordBuffer::GetText(std::string_view AKey) const {
  return FImpObj->GetText(AKey);
}

TFieldData* TRecordBuffer::FindFieldData(std::string_view FieldName) {
  if (static_cast<size_t>(FNextFieldIndex) < FFieldList.size()) {
    TFieldData* fd = FFieldList[static_cast<size_t>(FNextFieldIndex)];
    // Engines send the same spelling on every record: the exact comparison decides at once.
    if (fd->FFieldName == FieldName || SameText(fd->FFieldName, FieldName)) {
      ++FNextFieldIndex;
      return fd;
    }
  }
  int i = IndexOf(FieldName);
  if (i < 0) return nullptr;
  FNextFieldIndex = i + 1;
  return GetFields(i);
}

TFieldData* TRecordBuffer::GetFieldData(std::string_view FieldName) {
  if (TFieldData* fd = FindFieldData(FieldName)) return fd;
  auto* fd = new TFieldData(this, std::string(FieldName));
  AddObject(std::string(FieldName), fd);
  FFieldList.push_back(fd);
  FNextFieldIndex = Count();
  AssignDataBaseField(*fd);
  return fd;
}

void TRecordBuffer::AssignDataBaseField(TFieldData& fd) {
  // The first assignment whose import field is this one (exact), else an unassigned advanced
  // field of that marker name.
  std::string_view dbField;
  bool found = false;
  for (const TStringList* list : {&FFieldAssignments, &FUnassignedFields}) {
    for (const std::string& line : *list) {
      if (line.find('=') != std::string::npos && ValuePart(line) == fd.FFieldName) {
        dbField = NamePart(line);
        found = true;
        break;
      }
    }
    if (found) break;
  }
  if (!found) return;
  fd.FDataBaseField.assign(dbField);
  fd.FFieldIsAssigned = true;
  if (FDestSchema) {
    if (const TDBFieldSchemaField* f = FDestSchema->FindField(fd.FDataBaseField)) {
      fd.FSchemaField = f;
      fd.FDataBaseFieldType = f->DataType;
    }
  }
}

void TRecordBuffer::AddField(std::string_view FieldName, std::string_view Value, bool AHasValue,
                             TImportDataType DataType, const TImportParsedValue* Parsed) {
  TFieldData* fd = GetFieldData(FieldName);
  fd->FDataType = DataType;
  fd->FValue.assign(Value);
  // The field's settings work on the text: with settings, the text is what gets converted.
  const bool ruled = FDataProcessor->AdvFieldSettings().ProcessValue(
      fd->FDataBaseField, FRecordNumber, fd->FValue, AHasValue);
  fd->FHasParsed = Parsed && !ruled;
  if (fd->FHasParsed) fd->FParsed = *Parsed;
  if (!fd->FDataBaseField.empty() && !fd->FValue.empty()) TranslateLookup(*fd);
  fd->FHasValue = AHasValue;
}

void TRecordBuffer::TranslateLookup(TFieldData& fd) {
  const TDBFieldSchemaField* f = fd.FSchemaField;
  if (!f) return;
  if (f->FieldKind == vfkLookup || f->FieldKind == vfkCheckData) fd.FHasParsed = false;
  if (f->FieldKind == vfkLookup) {
    fd.FValue = IntToStr(TVelaLookupInfo::SingleQueryDBID(FImpObj->Database(), *f, fd.FValue));
  } else if (f->FieldKind == vfkCheckData && FDestSchema) {
    fd.FValue = TVelaLookupInfo::SingleQueryCheckData(*FDestSchema, f->Name, fd.FValue);
  }
}

void TRecordBuffer::ClearValues() {
  for (int i = 0, n = Count(); i < n; ++i) {
    TFieldData* fd = GetFields(i);
    fd->FHasValue = false;
    fd->FHasParsed = false;
    fd->FValue.clear();
    fd->FLastWasCastError = false;
  }
  FNextFieldIndex = 0;
}

void TRecordBuffer::Clear() {
  TStringList::Clear();
  FFieldList.clear();
  FNextFieldIndex = 0;
}

void TRecordBuffer::ClearMessageCounts() {
  FMessageCounts.Clear();
}

void TRecordBuffer::ClearRecordMessages() {
  FRecordMessageCounts.Clear();
}

void TRecordBuffer::AddMessageCount(TImportMessageType AMsgType) {
  if (AMsgType < 0 || AMsgType > 2) return;
  ++FMessageCounts[AMsgType];
  ++FRecordMessageCounts[AMsgType];
}

void TRecordBuffer::DoMessage(const std::string& AMessage, TImportMessageType AMsgType) {
  AddMessageCount(AMsgType);
  if (OnProgressMessage) OnProgressMessage(FImpObj, AMsgType, AMessage);
  if (FImportCallBack) FImportCallBack->Do_Message(AMsgType, AMessage);
  if (FAbortImport) return;
  if (FImpObj->Get_AbortOnError() && FMessageCounts[imtError] == 1) {
    FAbortImport = true;
    DoMessage(GetText("IDS_ImpAbortedError"), imtError);
  } else if (FImpObj->Get_AbortOnWarning() && FMessageCounts[imtWarning] == 1) {
    FAbortImport = true;
    DoMessage(GetText("IDS_ImpAbortedWarning"), imtError);
  }
}

bool TRecordBuffer::RunConditions(int ACheckMode, bool& HasDeleteAction) {
  return FDataProcessor->FieldChangeConditions().Run(static_cast<TConditionCheckMode>(ACheckMode),
                                                     *this, HasDeleteAction);
}

const std::string* TRecordBuffer::FieldText(std::string_view FieldName) {
  const TFieldData* fd = FindFieldData(FieldName);
  return fd && fd->FHasValue ? &fd->FValue : nullptr;
}

void TRecordBuffer::ReplaceField(std::string_view DestField, std::string_view SourceField) {
  const TFieldData* src = FindFieldData(SourceField);
  if (!src) {
    AddField(DestField, {}, false, idtText);
    return;
  }
  const std::string value = src->FValue;  // the destination may be the source
  AddField(DestField, value, src->FHasValue, src->FDataType);
}

bool TRecordBuffer::KeyFilterValue(const TFieldData& fd, Variant& value) const {
  const std::string& text = fd.FValue;
  if (fd.FHasParsed) {
    // The engine's reading of the text, where it is the one below.
    const TFieldType ft = fd.FDataBaseFieldType;
    if (fd.FDataType == idtInteger && IsIntegerFieldType(ft)) {
      value = Variant(fd.FParsed.Int);
      return true;
    }
    if (fd.FDataType == idtFloat && (ft == ftFloat || ft == ftCurrency)) {
      value = Variant(fd.FParsed.Number);
      return true;
    }
    if (fd.FDataType == idtDate && ft == ftDate) {
      value = Variant::FromDateTime(fd.FParsed.Number);
      return true;
    }
  }
  TDateTime dt = 0;
  switch (fd.FDataBaseFieldType) {
    case ftDate:
      if (!TryStrToDate(text, dt)) dt = 0;
      value = Variant::FromDateTime(dt);
      return true;
    case ftTime:
      if (!TryStrToTime(text, dt)) dt = 0;
      value = Variant::FromDateTime(dt);
      return true;
    case ftDateTime:
    case ftTimeStamp:
      if (!TryStrToDateTime(text, dt)) dt = 0;
      value = Variant::FromDateTime(dt);
      return true;
    case ftFloat:
    case ftCurrency:
      value = Variant(StrToFloat(text));
      return true;
    default:
      if (IsIntegerFieldType(fd.FDataBaseFieldType)) {
        value = Variant(StrToInt64(text));
        return true;
      }
      return false;
  }
}

int64_t TRecordBuffer::LocateRecord() {
  size_t used = 0;
  for (int i = 0, n = Count(); i < n; ++i) {
    TFieldData& fd = *GetFields(i);
    if (!fd.FHasValue || fd.FDataBaseField.empty()) continue;
    if (fd.FKeyStamp != FCheckFieldsStamp) {
      fd.FIsKeyField = FCheckFields.IndexOf(fd.FDataBaseField) >= 0;
      fd.FKeyStamp = FCheckFieldsStamp;
    }
    if (!fd.FIsKeyField) continue;
    Variant value;
    if (!KeyFilterValue(fd, value)) continue;
    if (used == FKeyFilters.size()) FKeyFilters.emplace_back();
    FKeyFilters[used].first.assign(fd.FDataBaseField);
    FKeyFilters[used].second = std::move(value);
    FKeyFields.resize(used);
    FKeyFields.push_back(&fd);
    ++used;
  }
  FKeyFilters.resize(used);
  FKeyFields.resize(used);
  if (used == 0 || !FDBTable || !FDestSchema) return -1;
  if (FKeySelect.empty()) FKeySelect.push_back(FDestSchema->GetRecordIDField());
  int64_t id = -1;
  try {
    FDBTable->Query(FDestSchema->GetName(), FKeySelect, FKeyFilters);
    if (!FDBTable->Eof()) {
      Variant v = FDBTable->Value(0);
      if (v.IsNumeric())
        id = v.AsInt64();
      else
        id = StrToInt64Def(VarToStr(v), -1);
    }
  } catch (...) {
    FDBTable->Close();
    throw;
  }
  FDBTable->Close();
  return id;
}

void TRecordBuffer::DetachAdvFields(TClientSQL& sql) {
  FAdvSQLFields.assign(static_cast<size_t>(FAdvFields.Count()), nullptr);
  for (int i = 0, n = FAdvFields.Count(); i < n; ++i) {
    TClientSQLField* f = sql.FindField(FAdvFields[i]);
    if (f && f->Active) {
      f->Active = false;
      FAdvSQLFields[static_cast<size_t>(i)] = f;
    }
  }
}

void TRecordBuffer::LeaveOutFoundKeys() {
  bool anyKey = false;
  for (size_t k = 0; k < FKeyFields.size(); ++k) {
    TClientSQLField* f = FKeyFields[k]->FSQLField;
    const Variant& found = FKeyFilters[k].second;
    FKeyFields[k]->FKeyUnchanged =
        f && f->Active && f->Value.VarType() == found.VarType() && VarSameValue(f->Value, found);
    anyKey = anyKey || FKeyFields[k]->FKeyUnchanged;
  }
  if (!anyKey) return;
  // The SQL field of a key may also be another import field's: only fields outside the keys
  // count as something else to write.
  bool other = false;
  for (int i = 0, n = Count(); i < n && !other; ++i) {
    const TClientSQLField* f = GetFields(i)->FSQLField;
    if (!f || !f->Active) continue;
    other = true;
    for (const TFieldData* key : FKeyFields)
      if (key->FKeyUnchanged && key->FSQLField == f) other = false;
  }
  if (!other) return;
  for (TFieldData* key : FKeyFields)
    if (key->FKeyUnchanged) key->FSQLField->Active = false;
}

void TRecordBuffer::HandlePostRecord() {
  if (FRecordNumber == 1 && FSkipFirstRecord) return;

  TClientSQL& sql = FImpObj->CSQLImport();
  TClientSQLFilter& idFilter = FImpObj->IdFilter();
  bool write = false;
  idFilter.Value = Variant(int64_t{-1});
  int64_t id = -1;

  for (int i = 0, n = FUnassignedFields.Count(); i < n; ++i)
    AddField(ValuePart(FUnassignedFields[i]), {}, false, idtText);

  bool ignore = false;
  RunConditions(0, ignore);
  if (ignore) {
    DoMessage(Format(GetText("IDS_SkipConHint"), {IntToStr(FRecordNumber)}), imtInformation);
  } else {
    switch (FImportMode) {
      case DimUpdate:
        id = LocateRecord();
        if (id != -1) {
          sql.SetMode(csmUpdate);
          idFilter.Value = Variant(id);
        } else {
          sql.SetMode(csmInsert);
        }
        write = true;
        break;
      case DimOnlyNew:
        id = LocateRecord();
        if (id == -1) {
          sql.SetMode(csmInsert);
          write = true;
        }
        break;
      case DimCleanCopy:
        sql.SetMode(csmInsert);
        write = true;
        break;
      default:
        Assert(false, "unknown importmode!");
    }

    RunConditions(1, ignore);
    if (ignore) {
      if (id != -1) {
        sql.SetMode(csmDelete);
        idFilter.Value = Variant(id);
        write = true;
      } else {
        write = false;
      }
    }

    if (write) {
      try {
        const int mode = sql.GetMode();
        bool canWrite = true;
        if (mode == csmDelete && FImportCallBack) {
          bool canDelete = true;
          FImportCallBack->Do_BeforeDelete(FSimulateOnly, id, canDelete);
          if (!canDelete) return;
        }
        if (mode != csmDelete) {
          sql.DeactivateFields();
          for (int i = 0, n = Count(); i < n; ++i) {
            TFieldData& fd = *GetFields(i);
            if (!fd.FFieldIsAssigned || !fd.FHasValue) continue;
            if (!fd.FSQLField) fd.FSQLField = &sql.FieldByName(fd.FDataBaseField);
            fd.StoreDataBaseValue(fd.FSQLField->Value);
            fd.FSQLField->Active = !fd.FLastWasCastError;
          }
        }
        const bool hadErrors = FRecordMessageCounts[imtError] > 0;
        if ((hadErrors && FIrgnoreRecordOnError) ||
            (FRecordMessageCounts[imtWarning] > 0 && FIrgnoreRecordOnWarning)) {
          // The message names the worse of the two, whichever policy skipped the record.
          DoMessage(Format(GetText(hadErrors ? "IDS_SkipError" : "IDS_SkipWarning"),
                           {IntToStr(FRecordNumber)}),
                    imtWarning);
          canWrite = false;
        }
        if (canWrite) {
          if (mode != csmDelete) DetachAdvFields(sql);
          if (mode == csmUpdate) LeaveOutFoundKeys();
          if (FSimulateOnly) {
            sql.RunSQLDataCheck();
            if (mode == csmInsert) id = -1;
          } else {
            int64_t r = sql.Execute();
            if (mode == csmInsert) id = r;
          }
          if (FImportCallBack && mode != csmDelete) {
            for (int i = 0, n = FAdvFields.Count(); i < n; ++i) {
              TClientSQLField* f = FAdvSQLFields[static_cast<size_t>(i)];
              if (f)
                FImportCallBack->Do_AdvFieldImport(FSimulateOnly, id, FAdvFields[i],
                                                   VarToStr(f->Value), mode == csmInsert);
            }
            if (mode == csmInsert)
              FImportCallBack->Do_AfterInsert(FSimulateOnly, id);
            else
              FImportCallBack->Do_AfterUpdate(FSimulateOnly, id);
          }
          if (mode == csmInsert)
            FImpObj->IncInsertedCount();
          else if (mode == csmUpdate)
            FImpObj->IncUpdatedCount();
        }
      } catch (const std::exception& e) {
        DoMessage(Format(GetText("IDS_CSQLERR"), {std::string_view(e.what())}), imtError);
      }
    }
  }
  if (OnProgress) OnProgress(FImpObj);
}

}  // namespace vela
