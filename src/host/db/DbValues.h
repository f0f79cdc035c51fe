// Conversion of values between Variant and the database, by the field's type. The same rules
// hold on every backend: integers, floats and Booleans are bound as such, dates and times as ISO
// 8601 text ('YYYY-MM-DD', 'HH:MM:SS', 'YYYY-MM-DD HH:MM:SS[.SSS]'), binary as bytes.
#pragma once

#include "host/db/DbConnection.h"
#include "host/db/DbSchema.h"
#include "rtl/Variants.h"

namespace vela {

// A value converted and checked for its field, ready to bind. Text and bytes point into the
// Variant they were converted from, or into Buffer when the conversion produced them.
struct TDbBindValue {
  enum class Kind : uint8_t { Null, Int64, Double, Bool, Text, Blob };
  Kind ValueKind = Kind::Null;
  bool InBuffer = false;
  int64_t Int = 0;  // Int64; Bool as 0 or 1
  double Float = 0;
  std::string_view Data;
  std::string Buffer;  // reused between conversions

  std::string_view Bytes() const { return InBuffer ? std::string_view(Buffer) : Data; }
};

// Converts a value by the field's type and checks it (length, check-data list) as
// BindFieldValue does. out stays valid while value lives unchanged. Raises EDatabaseError.
void ConvertFieldValue(const TDBFieldSchemaField& field, const Variant& value, TDbBindValue& out);
// Binds a converted value. With borrowText the text is not copied (TDbStatement::BindTextRef):
// value and what it points into must stay unchanged until the statement's run ends.
void BindConvertedValue(TDbStatement& st, int index, const TDbBindValue& value,
                        bool borrowText = false);

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
