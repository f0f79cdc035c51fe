// TVelaLookupInfo: translation of texts for lookup and check-data fields.
#pragma once

#include <cstdint>
#include <string>

#include "host/db/DbSchema.h"

namespace vela {

class TVelaDatabase;

class TVelaLookupInfo {
 public:
  // The id of the first record (lowest id) of table whose field equals text; -1 when none.
  static int64_t SingleQueryDBID(TVelaDatabase& db, const std::string& table,
                                 const std::string& field, const std::string& text);
  // For a lookup field: the id of the record its text names (-1 when none).
  static int64_t SingleQueryDBID(TVelaDatabase& db, const TDBFieldSchemaField& lookupField,
                                 const std::string& text);
  // For a check-data field: the list value that the text names, compared ignoring ASCII case
  // with the values first and then with their display texts; the text itself when the list
  // has no such entry (the write then reports it) or the field has no list.
  static std::string SingleQueryCheckData(const IDBFieldSchemaItem& table, const std::string& field,
                                          const std::string& text);
};

}  // namespace vela
