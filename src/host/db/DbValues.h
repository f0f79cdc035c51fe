// Conversion of values between Variant and the database, by the field's type. The same rules
// hold on every backend: integers, floats and Booleans are bound as such, dates and times as ISO
// 8601 text ('YYYY-MM-DD', 'HH:MM:SS', 'YYYY-MM-DD HH:MM:SS[.SSS]'), binary as bytes.
#pragma once

#include "host/db/DbConnection.h"
#include "host/db/DbSchema.h"
#include "rtl/Variants.h"

namespace vela {

// Checks a value against the field (type conversion, length, check-data list) and binds it.
// Raises EDatabaseError naming the field.
void BindFieldValue(TDbStatement& st, int index, const TDBFieldSchemaField& field,
                    const Variant& value);
// Only the check of BindFieldValue, without binding.
void CheckFieldValue(const TDBFieldSchemaField& field, const Variant& value);
// The column of the current row as a Variant of the field type's kind (Null for NULL).
Variant ReadFieldValue(TDbStatement& st, int column, TFieldType ft);
// A text as a date-time: ISO/SQL text first, then the runtime's format settings.
TDateTime TextToDateTime(std::string_view text);

}  // namespace vela
