// JSON records of REST services: the request's JSON object, and field values converted between
// JSON and the database by the field's type (binary fields travel as Base64 text, dates and
// times as "YYYY-MM-DD HH:MM:SS"). Every failure is an ERestError 400 naming what is wrong.
#pragma once

#include <string>
#include <string_view>

#include "host/db/DbSchema.h"
#include "platform/json/JsonValue.h"
#include "rtl/Variants.h"

namespace vela {

class TClientSQL;

// The JSON object in text ('' or blanks are an empty object).
TJsonValue ParseJsonObject(std::string_view text);
// The field of the table; an unknown name raises "Unknown field 'NAME' in table 'TABLE'".
const TDBFieldSchemaField& CheckedField(IDBFieldSchemaItem& table, const std::string& name);
// A JSON value as the field's value (null, Booleans, numbers, strings; Base64 for binary).
Variant JsonToFieldValue(const TDBFieldSchemaField& field, const TJsonValue& value);
// A database value as JSON.
TJsonValue FieldValueToJson(const Variant& value);
// Sets every member of record as a field value of the command; the record identifier is the
// database's and is refused.
void SetJsonRecordValues(TClientSQL& sql, IDBFieldSchemaItem& table, const TJsonValue& record);

}  // namespace vela
