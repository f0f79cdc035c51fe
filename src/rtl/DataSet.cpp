#include "rtl/DataSet.h"

#include <algorithm>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

const Variant& NullValue() {
  static const Variant null = Null();
  return null;
}

TDateTime TextToDate(std::string_view text) {
  std::string t = Trim(text);
  TDateTime dt;
  if (TrySQLToDateTime(t, dt)) return dt;
  return StrToDateTime(t);
}

std::vector<std::string> SplitFieldNames(std::string_view names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string name = Trim(names.substr(start, end - start));
    if (!name.empty()) out.push_back(std::move(name));
    start = end + 1;
  }
  return out;
}

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9');
}

}  // namespace

// --- TField ----------------------------------------------------------------------------------

TField::TField(TDataSet& dataSet, int index, const TDataFieldDef& def)
    : FDataSet(&dataSet),
      FIndex(index),
      FFieldName(def.Name),
      FDataType(def.DataType),
      FSize(def.Size),
      FRequired(def.Required) {}

const Variant& TField::Value() const {
  return FDataSet->FieldValue(FIndex);
}

std::string TField::AsString() const {
  const Variant& v = Value();
  switch (v.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return {};
    case Variant::Kind::DateTime:
      if (FDataType == ftDate) return DateToStr(v.GetDateTime());
      if (FDataType == ftTime) return TimeToStr(v.GetDateTime());
      return DateTimeToStr(v.GetDateTime());
    case Variant::Kind::Boolean:
      return BoolToStr(v.GetBoolean(), true);
    case Variant::Kind::Bytes: {
      auto& b = v.GetBytes();
      return std::string(b.begin(), b.end());
    }
    default:
      return VarToStr(v);
  }
}

int32_t TField::AsInteger() const {
  const Variant& v = Value();
  return v.IsClear() ? 0 : v.AsInteger();
}

int64_t TField::AsLargeInt() const {
  const Variant& v = Value();
  return v.IsClear() ? 0 : v.AsInt64();
}

double TField::AsFloat() const {
  const Variant& v = Value();
  return v.IsClear() ? 0 : v.AsDouble();
}

TDateTime TField::AsDateTime() const {
  const Variant& v = Value();
  if (v.IsClear()) return 0;
  return v.IsString() ? TextToDate(v.GetString()) : v.AsDateTime();
}

bool TField::AsBoolean() const {
  const Variant& v = Value();
  if (v.IsClear()) return false;
  return v.IsString() ? StrToBool(Trim(v.GetString())) : v.AsBoolean();
}

Variant::Bytes TField::AsBytes() const {
  const Variant& v = Value();
  return v.IsClear() ? Variant::Bytes() : v.AsBytes();
}

void TField::SetValue(const Variant& v) {
  FDataSet->SetFieldValue(FIndex, v);
}

// --- TParam, TParams -------------------------------------------------------------------------

void TParam::SetValue(const Variant& v) {
  FValue = v.IsEmpty() ? Null() : v;
  if (FDataType != ftUnknown) return;
  switch (v.kind()) {
    case Variant::Kind::Boolean:
      FDataType = ftBoolean;
      break;
    case Variant::Kind::Int32:
      FDataType = ftInteger;
      break;
    case Variant::Kind::Int64:
    case Variant::Kind::UInt64:
      FDataType = ftLargeint;
      break;
    case Variant::Kind::Double:
      FDataType = ftFloat;
      break;
    case Variant::Kind::String:
      FDataType = ftString;
      break;
    case Variant::Kind::DateTime:
      FDataType = ftDateTime;
      break;
    case Variant::Kind::Bytes:
      FDataType = ftBlob;
      break;
    default:
      break;
  }
}

TParam* TParams::FindParam(std::string_view name) {
  for (auto& p : FItems)
    if (SameText(p.Name(), name)) return &p;
  return nullptr;
}

TParam& TParams::ParamByName(std::string_view name) {
  if (TParam* p = FindParam(name)) return *p;
  throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
}

TParam& TParams::CreateParam(std::string_view name, TFieldType ft) {
  TParam* p = FindParam(name);
  if (!p) p = &FItems.emplace_back(std::string(name));
  if (ft != ftUnknown) p->SetDataType(ft);
  return *p;
}

std::string ParseSQLParams(std::string_view sql, std::vector<std::string>& names,
                           const std::function<std::string(int n)>& placeholder) {
  names.clear();
  std::string out;
  out.reserve(sql.size());
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (c == '\'' || c == '"') {  // a literal or quoted identifier, doubled quotes inside
      size_t end = i + 1;
      while (end < n) {
        if (sql[end] == c) {
          if (end + 1 < n && sql[end + 1] == c) {
            end += 2;
            continue;
          }
          break;
        }
        ++end;
      }
      end = std::min(end + 1, n);
      out.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      size_t end = sql.find('\n', i);
      end = end == std::string_view::npos ? n : end;
      out.append(sql.substr(i, end - i));
      i = end;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? n : end + 2;
      out.append(sql.substr(i, end - i));
      i = end;
    } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {  // a cast
      out.append("::");
      i += 2;
    } else if (c == ':' && i + 1 < n && IsIdentStart(sql[i + 1])) {
      size_t end = i + 1;
      while (end < n && IsIdentChar(sql[end]))
        ++end;
      names.emplace_back(sql.substr(i + 1, end - i - 1));
      out += placeholder(static_cast<int>(names.size()));
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

// --- TDataSet --------------------------------------------------------------------------------

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
  SetMaster(nullptr);
  for (TDataSet* d : FDetails)
    d->FMaster = nullptr;
}

void TDataSet::AddFieldDef(std::string name, TFieldType ft, int size, bool required) {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
  FFieldDefs.push_back({std::move(name), ft, size, required});
}

void TDataSet::CreateFields() {
  FFields.clear();
  FFields.reserve(FFieldDefs.size());
  for (size_t i = 0; i < FFieldDefs.size(); ++i)
    FFields.push_back(std::make_unique<TField>(*this, static_cast<int>(i), FFieldDefs[i]));
}

void TDataSet::Open() {
  if (Active()) return;
  if (FMaster && FMaster->Active()) RefreshFromMaster();
  InternalOpen();
  CreateFields();
  FState = dsBrowse;
  try {
    InternalAfterOpen();
    First();
  } catch (...) {
    Close();
    throw;
  }
}

void TDataSet::Close() {
  if (!Active()) return;
  FState = dsInactive;
  FEditBuffer.clear();
  InternalClose();
  FFields.clear();
  FRecNo = 0;
  FEof = FBof = true;
  RecordChanged();
  AfterMove();
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) Post();
}

TField* TDataSet::FindField(std::string_view name) const {
  for (auto& f : FFields)
    if (SameText(f->FieldName(), name)) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  if (TField* f = FindField(name)) return *f;
  throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

const Variant& TDataSet::FieldValue(int i) const {
  if (FState == dsEdit || FState == dsInsert) return FEditBuffer.at(static_cast<size_t>(i));
  if (FState == dsInactive || FRecNo == 0) return NullValue();
  return GetRecordValue(i);
}

void TDataSet::SetFieldValue(int i, const Variant& v) {
  if (FState != dsEdit && FState != dsInsert)
    throw EDatabaseError("Dataset not in edit or insert mode");
  TField& f = Fields(i);
  if (f.ReadOnly()) throw EDatabaseError("Field '" + f.FieldName() + "' cannot be modified");
  FEditBuffer[static_cast<size_t>(i)] = ConvertToField(f, v);
  FModified = true;
}

Variant TDataSet::ConvertToField(const TField& field, const Variant& v) {
  if (v.IsClear()) return Null();
  const TFieldType ft = field.DataType();
  try {
    if (ft == ftLargeint || ft == ftAutoInc || ft == ftLongWord)
      return Variant(v.IsString() ? StrToInt64(Trim(v.GetString())) : v.AsInt64());
    if (IsIntegerFieldType(ft))
      return Variant(v.IsString() ? StrToInt(Trim(v.GetString())) : v.AsInteger());
    if (IsFloatFieldType(ft))
      return Variant(v.IsString() ? StrToFloat(Trim(v.GetString())) : v.AsDouble());
    if (ft == ftBoolean)
      return Variant(v.IsString() ? StrToBool(Trim(v.GetString())) : v.AsBoolean());
    if (IsDateTimeFieldType(ft))
      return Variant::FromDateTime(v.IsString() ? TextToDate(v.GetString()) : v.AsDateTime());
    if (IsBinaryFieldType(ft) || ft == ftOraBlob) return Variant(v.AsBytes());
    if (ft == ftDataSet) throw EDatabaseError("a nested dataset field has no value of its own");
    if (v.IsString()) return v;
    if (v.kind() == Variant::Kind::Bytes) {
      auto& b = v.GetBytes();
      return Variant(std::string(b.begin(), b.end()));
    }
    return Variant(v.AsString());
  } catch (const Exception& e) {
    throw EDatabaseError("Invalid value for field '" + field.FieldName() + "': " + e.Message());
  }
}

// --- navigation ----------------------------------------------------------------------------

void TDataSet::AfterMove() {
  RecordChanged();
  for (TDataSet* d : FDetails)
    d->RefreshFromMaster();
}

void TDataSet::First() {
  CheckBrowseMode();
  bool found = InternalFirst();
  FRecNo = found ? 1 : 0;
  FBof = true;
  FEof = !found;
  AfterMove();
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (FEof) return;
  if (InternalNext()) {
    ++FRecNo;
    FBof = false;
    AfterMove();
  } else {
    FEof = true;
  }
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (FBof) return;
  if (FRecNo <= 1) {
    FBof = true;
    return;
  }
  if (!InternalGoto(FRecNo - 1)) throw EDatabaseError("Record not found");
  --FRecNo;
  FEof = false;
  AfterMove();
}

void TDataSet::Last() {
  CheckBrowseMode();
  int n = InternalRecordCount();
  if (n <= 0 || !InternalGoto(n)) {
    // Streaming datasets that cannot count: walk to the end.
    if (!InternalFirst()) {
      FRecNo = 0;
      FEof = FBof = true;
      AfterMove();
      return;
    }
    n = 1;
    while (InternalNext())
      ++n;
  }
  FRecNo = n;
  FEof = true;
  FBof = n <= 1;
  AfterMove();
}

int TDataSet::MoveBy(int distance) {
  int moved = 0;
  for (; distance > 0 && !FEof; --distance) {
    int before = FRecNo;
    Next();
    if (FRecNo != before) ++moved;
  }
  for (; distance < 0 && !FBof; ++distance) {
    int before = FRecNo;
    Prior();
    if (FRecNo != before) --moved;
  }
  return moved;
}

void TDataSet::SetRecNo(int n) {
  CheckBrowseMode();
  if (n < 1 || !InternalGoto(n)) {
    // The position may have moved while searching: go back to where we were.
    if (FRecNo > 0) InternalGoto(FRecNo);
    throw EDatabaseError("Record " + std::to_string(n) + " not found");
  }
  FRecNo = n;
  FEof = FBof = false;
  AfterMove();
}

bool TDataSet::InternalGoto(int n) {
  if (n < 1 || !InternalFirst()) return false;
  for (int i = 1; i < n; ++i)
    if (!InternalNext()) return false;
  return true;
}

int TDataSet::InternalRecordCount() {
  if (!InternalFirst()) return 0;
  int n = 1;
  while (InternalNext())
    ++n;
  if (FRecNo > 0) InternalGoto(FRecNo);
  return n;
}

int TDataSet::RecordCount() {
  CheckActive();
  return InternalRecordCount();
}

bool TDataSet::IsEmpty() {
  CheckActive();
  return FRecNo == 0 && FState != dsInsert;
}

// --- Locate --------------------------------------------------------------------------------

bool TDataSet::MatchesCurrent(const std::vector<int>& fields, const std::vector<Variant>& values,
                              TLocateOptions options) const {
  for (size_t k = 0; k < fields.size(); ++k) {
    const Variant& key = values[k];
    const Variant& v = GetRecordValue(fields[k]);
    if (key.IsClear() || v.IsClear()) {
      if (key.IsClear() != v.IsClear()) return false;
      continue;
    }
    if (key.IsString()) {  // texts: prepared by Locate (upper case when case-insensitive)
      std::string text = Fields(fields[k]).AsString();
      if (options & loCaseInsensitive) text = AnsiUpperCase(text);
      const std::string& want = key.GetString();
      bool ok = (options & loPartialKey) ? text.compare(0, want.size(), want) == 0 : text == want;
      if (!ok) return false;
    } else if (!VarSameValue(v, key)) {
      return false;
    }
  }
  return true;
}

bool TDataSet::Locate(std::string_view keyFields, const std::vector<Variant>& values,
                      TLocateOptions options) {
  CheckBrowseMode();
  std::vector<std::string> names = SplitFieldNames(keyFields);
  if (names.empty()) throw EDatabaseError("No key fields given");
  if (names.size() != values.size())
    throw EDatabaseError("Locate needs one value per key field: " + std::to_string(names.size()) +
                         " fields, " + std::to_string(values.size()) + " values");
  std::vector<int> fields;
  std::vector<Variant> keys;
  for (size_t k = 0; k < names.size(); ++k) {
    const TField& f = FieldByName(names[k]);
    fields.push_back(f.Index());
    const Variant& v = values[k];
    // Texts compare as texts (in the field's text form); other fields by value of their type.
    if (v.IsClear())
      keys.push_back(Null());
    else if (IsStringFieldType(f.DataType()) || f.DataType() == ftUnknown)
      keys.push_back(
          Variant((options & loCaseInsensitive) ? AnsiUpperCase(VarToStr(v)) : VarToStr(v)));
    else
      keys.push_back(ConvertToField(f, v));
  }
  int n = 0;
  for (bool more = InternalFirst(); more; more = InternalNext()) {
    ++n;
    if (MatchesCurrent(fields, keys, options)) {
      FRecNo = n;
      FEof = FBof = false;
      AfterMove();
      return true;
    }
  }
  if (FRecNo > 0) InternalGoto(FRecNo);
  return false;
}

// --- editing ---------------------------------------------------------------------------------

void TDataSet::StartEditBuffer(bool fromCurrent) {
  FEditBuffer.assign(FFields.size(), Null());
  if (fromCurrent)
    for (size_t i = 0; i < FFields.size(); ++i)
      FEditBuffer[i] = GetRecordValue(static_cast<int>(i));
  FModified = false;
}

void TDataSet::Edit() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) return;
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  if (FRecNo == 0) return Insert();
  StartEditBuffer(true);
  FState = dsEdit;
}

void TDataSet::Append() {
  CheckBrowseMode();
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  StartEditBuffer(false);
  FInsertBefore = 0;
  FState = dsInsert;
  RecordChanged();
}

void TDataSet::Insert() {
  CheckBrowseMode();
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  StartEditBuffer(false);
  FInsertBefore = FRecNo;
  FState = dsInsert;
  RecordChanged();
}

void TDataSet::Post() {
  CheckActive();
  if (FState != dsEdit && FState != dsInsert) return;
  for (auto& f : FFields)
    if (f->Required() && !f->ReadOnly() && FEditBuffer[static_cast<size_t>(f->Index())].IsClear())
      throw EDatabaseError("Field '" + f->FieldName() + "' must have a value");
  const bool inserting = FState == dsInsert;
  int recNo = InternalPost(FEditBuffer, inserting, inserting ? FInsertBefore : 0);
  FState = dsBrowse;
  FEditBuffer.clear();
  FModified = false;
  FRecNo = recNo;
  FEof = FBof = false;
  AfterMove();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  FState = dsBrowse;
  FEditBuffer.clear();
  FModified = false;
  if (FRecNo > 0) InternalGoto(FRecNo);
  RecordChanged();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert) return Cancel();
  if (FState == dsEdit) Cancel();
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
  if (FRecNo == 0) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  InternalDelete();
  // The record after the deleted one takes its number; without one, the new last record.
  if (InternalGoto(FRecNo)) {
    FEof = false;
  } else if (FRecNo > 1 && InternalGoto(FRecNo - 1)) {
    --FRecNo;
    FEof = true;
  } else {
    FRecNo = 0;
    FEof = FBof = true;
  }
  AfterMove();
}

// --- master-detail -------------------------------------------------------------------------

void TDataSet::SetMaster(TDataSet* master) {
  if (master == FMaster) return;
  for (TDataSet* m = master; m; m = m->FMaster)
    if (m == this) throw EDatabaseError("Circular master-detail link");
  if (FMaster) std::erase(FMaster->FDetails, this);
  FMaster = master;
  if (FMaster) FMaster->FDetails.push_back(this);
}

void TDataSet::RefreshFromMaster() {
  if (!FMaster) return;
  for (TParam& p : FParams) {
    TField* f = FMaster->Active() ? FMaster->FindField(p.Name()) : nullptr;
    p.SetValue(f ? f->Value() : Null());
  }
  ParamsChanged();
  if (Active()) {
    Close();
    Open();
  }
}

}  // namespace vela
