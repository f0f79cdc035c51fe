#include "host/db/DbValues.h"

#include "rtl/DateUtils.h"
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

void PutDigits(char* p, int v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
}

// Writes the ISO text of a date, time or date-time into out (reusing its buffer): the same
// text as DateToSQL, TimeToSQL and DateTimeToSQL (milliseconds only when there are some), but
// without the general date formatter, which is costly once per field and record.
void DateTimeText(TFieldType ft, TDateTime dt, std::string& out) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
  if (y < 0 || y > 9999) {  // out of the four-digit range: the general formatter
    if (ft == ftDate)
      out = DateToSQL(dt);
    else if (ft == ftTime)
      out = TimeToSQL(dt);
    else
      out = DateTimeToSQL(dt, ms != 0);
    return;
  }
  char buf[24];
  char* p = buf;
  if (ft != ftTime) {
    PutDigits(p, y, 4);
    p[4] = '-';
    PutDigits(p + 5, mo, 2);
    p[7] = '-';
    PutDigits(p + 8, d, 2);
    p += 10;
    if (ft != ftDate) *p++ = ' ';
  }
  if (ft != ftDate) {
    PutDigits(p, h, 2);
    p[2] = ':';
    PutDigits(p + 3, mi, 2);
    p[5] = ':';
    PutDigits(p + 6, s, 2);
    p += 8;
    if (ft != ftTime && ms != 0) {
      *p = '.';
      PutDigits(p + 1, ms, 3);
      p += 4;
    }
  }
  out.assign(buf, static_cast<size_t>(p - buf));
}

void CheckListValue(const TDBFieldSchemaField& field, std::string_view text) {
  if (field.FieldKind != vfkCheckData || !field.ListData || field.ListData->empty()) return;
  for (auto& e : *field.ListData)
    if (e.Value == text) return;
  RaiseField(field, "'" + std::string(text) + "' is not in the field's value list");
}

}  // namespace

void ConvertFieldValue(const TDBFieldSchemaField& field, const Variant& value, TDbBindValue& out) {
  using K = TDbBindValue::Kind;
  out.InBuffer = false;
  auto kind = value.kind();
  if (kind == Variant::Kind::Empty || kind == Variant::Kind::Null ||
      (kind == Variant::Kind::Interface && value.IsClear())) {
    out.ValueKind = K::Null;
    return;
  }
  TFieldType ft = field.DataType;
  try {
    if (IsIntegerFieldType(ft)) {
      int64_t v;
      switch (kind) {
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
      out.ValueKind = K::Int64;
      out.Int = v;
    } else if (IsFloatFieldType(ft)) {
      out.ValueKind = K::Double;
      out.Float = kind == Variant::Kind::Double ? value.GetDouble()
                  : value.IsString()            ? StrToFloat(Trim(value.GetString()))
                                                : value.AsDouble();
    } else if (ft == ftBoolean) {
      bool v = value.IsString() ? StrToBool(Trim(value.GetString())) : value.AsBoolean();
      out.ValueKind = K::Bool;
      out.Int = v ? 1 : 0;
    } else if (IsDateTimeFieldType(ft)) {
      DateTimeText(ft, ValueToDateTime(value), out.Buffer);
      out.ValueKind = K::Text;
      out.InBuffer = true;
    } else if (IsBinaryFieldType(ft)) {
      out.ValueKind = K::Blob;
      if (kind == Variant::Kind::Bytes) {
        auto& b = value.GetBytes();
        out.Data = std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
      } else if (value.IsString()) {
        out.Data = value.GetString();
      } else {
        auto b = value.AsBytes();
        out.Buffer.assign(reinterpret_cast<const char*>(b.data()), b.size());
        out.InBuffer = true;
      }
    } else {
      if (value.IsString()) {
        out.Data = value.GetString();
      } else {
        out.Buffer = value.AsString();
        out.InBuffer = true;
      }
      std::string_view text = out.Bytes();
      if (field.Size > 0 && text.size() > static_cast<size_t>(field.Size) &&
          Utf8Length(text) > static_cast<size_t>(field.Size))
        RaiseField(field, "text of " + std::to_string(Utf8Length(text)) +
                              " characters exceeds the size " + std::to_string(field.Size));
      CheckListValue(field, text);
      out.ValueKind = K::Text;
    }
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception& e) {
    RaiseField(field, e.Message());
  }
}

void BindConvertedValue(TDbStatement& st, int index, const TDbBindValue& value, bool borrowText) {
  switch (value.ValueKind) {
    case TDbBindValue::Kind::Null:
      st.BindNull(index);
      break;
    case TDbBindValue::Kind::Int64:
      st.BindInt64(index, value.Int);
      break;
    case TDbBindValue::Kind::Double:
      st.BindDouble(index, value.Float);
      break;
    case TDbBindValue::Kind::Bool:
      st.BindBool(index, value.Int != 0);
      break;
    case TDbBindValue::Kind::Text:
      if (borrowText)
        st.BindTextRef(index, value.Bytes());
      else
        st.BindText(index, value.Bytes());
      break;
    case TDbBindValue::Kind::Blob: {
      auto b = value.Bytes();
      st.BindBlob(index, b.data(), b.size());
      break;
    }
  }
}

TDateTime TextToDateTime(std::string_view text) {
  TDateTime dt;
  std::string t = Trim(text);
  if (TrySQLToDateTime(t, dt)) return dt;
  return StrToDateTime(t);
}

void BindFieldValue(TDbStatement& st, int index, const TDBFieldSchemaField& field,
                    const Variant& value) {
  TDbBindValue v;
  ConvertFieldValue(field, value, v);
  BindConvertedValue(st, index, v);
}

void CheckFieldValue(const TDBFieldSchemaField& field, const Variant& value) {
  TDbBindValue v;
  ConvertFieldValue(field, value, v);
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
