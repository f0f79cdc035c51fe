#include "host/db/VelaLookupInfo.h"

#include "host/db/DbValues.h"
#include "host/db/VelaDatabase.h"
#include "rtl/SysUtils.h"

namespace vela {

int64_t TVelaLookupInfo::SingleQueryDBID(TVelaDatabase& db, const std::string& table,
                                         const std::string& field, const std::string& text) {
  auto schema = db.GetSchemaByName(table);
  if (!schema) throw EDatabaseError("Lookup table '" + table + "' does not exist");
  const auto* f = schema->FindField(field);
  if (!f) throw EDatabaseError("Field '" + field + "' does not exist in table '" + table + "'");
  std::string id = schema->GetRecordIDField();
  if (id.empty()) throw EDatabaseError("Lookup table '" + table + "' has no record identifier");
  auto conn = db.Connection();
  std::string sql = "SELECT " + TDbConnection::QuoteIdent(id) + " FROM " +
                    TDbConnection::QuoteIdent(schema->GetName()) + " WHERE " +
                    TDbConnection::QuoteIdent(f->Name) + " = " + conn->Placeholder(1) +
                    " ORDER BY " + TDbConnection::QuoteIdent(id) + " LIMIT 1";
  auto& st = conn->Prepare(sql);
  TStatementRun run(st);
  try {
    BindFieldValue(st, 1, *f, Variant(text));
  } catch (const EDatabaseError&) {
    return -1;  // a text that the field cannot hold names no record
  }
  st.Execute();
  return st.Next() ? st.ColumnInt64(0) : -1;
}

int64_t TVelaLookupInfo::SingleQueryDBID(TVelaDatabase& db, const TDBFieldSchemaField& lookupField,
                                         const std::string& text) {
  if (lookupField.FieldKind != vfkLookup)
    throw EDatabaseError("Field '" + lookupField.Name + "' is no lookup field");
  return SingleQueryDBID(db, lookupField.LookupTable, lookupField.LookupField, text);
}

std::string TVelaLookupInfo::SingleQueryCheckData(const IDBFieldSchemaItem& table,
                                                  const std::string& field,
                                                  const std::string& text) {
  auto list = table.GetFieldListData(field);
  if (!list) return text;
  for (auto& e : *list)
    if (SameText(e.Value, text)) return e.Value;
  for (auto& e : *list)
    if (SameText(e.Text, text)) return e.Value;
  return text;
}

}  // namespace vela
