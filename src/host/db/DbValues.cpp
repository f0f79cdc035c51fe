#include "host/db/DbValues.h"

#include "rtl/SysUtils.h"

namespace vela {

namespace {

[[noreturn]] void RaiseField(const TDBFieldSchemaField& field, const std::string& why) {
  throw EDatabaseError("Invalid value for field '" + field.Name + "': " + why);
}

TDateTime ValueToDateTime(const Variant& v) {
  if (v.IsString()) return TextToDateTime(v.GetString());
  return v.AsDateTime();
}

std::string DateTimeText(TFieldType ft, TDateTime dt) {
  if (ft == ftDate) return DateToSQL(dt);
  if (ft == ftTime) return TimeToSQL(dt);
  return DateTimeToSQL(dt, MilliSecondOf(dt) != 0);
}

void CheckListValue(const TDBFieldSchemaField& field, const std::string& text) {
  if (field.FieldKind != vfkCheckData || !field.ListData || field.ListData->empty()) return;
  for (auto& e : *field.ListData)
    if (e.Value == text) return;
  RaiseField(field, "'" + text + "' is not in the field's value list");
}

// Converts and checks; calls bind(kind, ...) through the statement when st is given.
void Convert(TDbStatement* st, int index, const TDBFieldSchemaField& field, const Variant& value) {
  auto kind = value.kind();
  if (kind == Variant::Kind::Empty || kind == Variant::Kind::Null ||
      (kind == Variant::Kind::Interface && value.IsClear())) {
    if (st) st->BindNull(index);
    return;
  }
  TFieldType ft = field.DataType;
  try {
    if (IsIntegerFieldType(ft)) {
      int64_t v;
      switch (value.kind()) {
        case Variant::Kind::Int64:
          v = value.GetInt64();
          break;
        case Variant::Kind::Int32:
          v = value.GetInt32();
          break;
        case Variant::Kind::String:
          v = StrToInt64(Trim(value.GetString()));
          break;
        default:
          v = value.AsInt64();
      }
      if (field.FieldKind == vfkCheckData) CheckListValue(field, IntToStr(v));
      if (st) st->BindInt64(index, v);
    } else if (IsFloatFieldType(ft)) {
      double v = value.kind() == Variant::Kind::Double ? value.GetDouble()
                 : value.IsString()                    ? StrToFloat(Trim(value.GetString()))
                                                       : value.AsDouble();
      if (st) st->BindDouble(index, v);
    } else if (ft == ftBoolean) {
      bool v = value.IsString() ? StrToBool(Trim(value.GetString())) : value.AsBoolean();
      if (st) st->BindBool(index, v);
    } else if (IsDateTimeFieldType(ft)) {
      std::string text = DateTimeText(ft, ValueToDateTime(value));
      if (st) st->BindText(index, text);
    } else if (IsBinaryFieldType(ft)) {
      if (value.kind() == Variant::Kind::Bytes) {
        auto& b = value.GetBytes();
        if (st) st->BindBlob(index, b.data(), b.size());
      } else if (value.IsString()) {
        auto& s = value.GetString();
        if (st) st->BindBlob(index, s.data(), s.size());
      } else {
        auto b = value.AsBytes();
        if (st) st->BindBlob(index, b.data(), b.size());
      }
    } else {
      const std::string* text;
      std::string converted;
      if (value.IsString()) {
        text = &value.GetString();
      } else {
        converted = value.AsString();
        text = &converted;
      }
      if (field.Size > 0 && text->size() > static_cast<size_t>(field.Size) &&
          Utf8Length(*text) > static_cast<size_t>(field.Size))
        RaiseField(field, "text of " + std::to_string(Utf8Length(*text)) +
                              " characters exceeds the size " + std::to_string(field.Size));
      CheckListValue(field, *text);
      if (st) st->BindText(index, *text);
    }
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception& e) {
    RaiseField(field, e.Message());
  }
}

}  // namespace

TDateTime TextToDateTime(std::string_view text) {
  TDateTime dt;
  std::string t = Trim(text);
  if (TrySQLToDateTime(t, dt)) return dt;
  return StrToDateTime(t);
}

void BindFieldValue(TDbStatement& st, int index, const TDBFieldSchemaField& field,
                    const Variant& value) {
  Convert(&st, index, field, value);
}

void CheckFieldValue(const TDBFieldSchemaField& field, const Variant& value) {
  Convert(nullptr, 0, field, value);
}

Variant ReadFieldValue(TDbStatement& st, int column, TFieldType ft) {
  if (st.ColumnIsNull(column)) return Null();
  if (ft == ftLargeint || ft == ftAutoInc || ft == ftLongWord)
    return Variant(st.ColumnInt64(column));
  if (IsIntegerFieldType(ft)) {
    int64_t v = st.ColumnInt64(column);
    if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
    return Variant(v);
  }
  if (IsFloatFieldType(ft)) return Variant(st.ColumnDouble(column));
  if (ft == ftBoolean) return Variant(st.ColumnBool(column));
  if (IsDateTimeFieldType(ft)) {
    auto text = st.ColumnText(column);
    TDateTime dt;
    if (TrySQLToDateTime(text, dt)) return Variant::FromDateTime(dt);
    return Variant(std::string(text));
  }
  if (IsBinaryFieldType(ft)) {
    std::string b = st.ColumnBlob(column);
    return Variant::FromBytes(b);
  }
  return Variant(std::string(st.ColumnText(column)));
}

}  // namespace vela
