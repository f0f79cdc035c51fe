#include "host/server/JsonRecordValues.h"

#include "host/db/ClientSQL.h"
#include "host/server/RestContext.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/SysUtils.h"

namespace vela {

TJsonValue ParseJsonObject(std::string_view text) {
  if (Trim(text).empty()) return TJsonValue::MakeObject();
  TJsonValue body;
  try {
    body = TJsonValue::Parse(text);
  } catch (const EJsonException& e) {
    throw ERestError(400, "The request is no valid JSON: " + e.Message());
  }
  if (!body.IsObject()) throw ERestError(400, "The request must be a JSON object");
  return body;
}

const TDBFieldSchemaField& CheckedField(IDBFieldSchemaItem& table, const std::string& name) {
  const TDBFieldSchemaField* field = table.FindField(name);
  if (!field)
    throw ERestError(400, "Unknown field '" + name + "' in table '" + table.GetName() + "'");
  return *field;
}

Variant JsonToFieldValue(const TDBFieldSchemaField& field, const TJsonValue& value) {
  switch (value.Kind()) {
    case TJsonKind::Null:
      return Variant::MakeNull();
    case TJsonKind::Boolean:
      return Variant(value.AsBoolean());
    case TJsonKind::Integer:
      return Variant(value.AsInteger());
    case TJsonKind::Float:
      return Variant(value.AsFloat());
    case TJsonKind::String:
      if (IsBinaryFieldType(field.DataType))
        return Variant::FromBytes(Base64Decode(value.AsString()));
      return Variant(value.AsString());
    default:
      throw ERestError(400, "The value of field '" + field.Name + "' must be a single value");
  }
}

TJsonValue FieldValueToJson(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
    case Variant::Kind::Interface:
      return TJsonValue();
    case Variant::Kind::Boolean:
      return TJsonValue(v.GetBoolean());
    case Variant::Kind::Int32:
    case Variant::Kind::Int64:
      return TJsonValue(v.AsInt64());
    case Variant::Kind::UInt64:
      return TJsonValue(v.AsDouble());
    case Variant::Kind::Double:
      return TJsonValue(v.GetDouble());
    case Variant::Kind::DateTime:
      return TJsonValue(FormatDateTime("yyyy-mm-dd hh:nn:ss", v.GetDateTime()));
    case Variant::Kind::Bytes: {
      const auto& b = v.GetBytes();
      return TJsonValue(
          Base64Encode(std::string_view(reinterpret_cast<const char*>(b.data()), b.size())));
    }
    case Variant::Kind::String:
      break;
  }
  return TJsonValue(v.GetString());
}

void SetJsonRecordValues(TClientSQL& sql, IDBFieldSchemaItem& table, const TJsonValue& record) {
  for (const auto& [name, value] : record.Members()) {
    const TDBFieldSchemaField& field = CheckedField(table, name);
    if (field.IsRecordID())
      throw ERestError(
          400, "The field '" + field.Name + "' is the record identifier, which the database sets");
    sql.SetFieldValue(field.Name, JsonToFieldValue(field, value));
  }
}

}  // namespace vela
