#include "host/server/DatabaseServices.h"

#include "host/db/ClientSQL.h"
#include "host/db/DbInterfaceTable.h"
#include "host/db/VelaDatabase.h"
#include "host/server/JsonRecordValues.h"
#include "host/server/RestRouter.h"
#include "platform/json/JsonValue.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

TJsonValue RequestObject(const TVelaRestRequestContext& ctx) {
  return ParseJsonObject(ctx.InContent());
}

void RequireRight(const TVelaRestRequestContext& ctx, int right, const char* what) {
  if (!ctx.Session().Authenticated()) throw ERestError(401, "Authentication required");
  if (!ctx.Session().User.HasRight(right))
    throw ERestError(403, std::string("The access token lacks the right ") + std::to_string(right) +
                              " (" + what + ")");
}

const std::string& RequiredString(const TJsonValue& body, const char* member) {
  const TJsonValue* v = body.Member(member);
  if (!v || v->Kind() != TJsonKind::String || v->AsString().empty())
    throw ERestError(400, std::string("The request needs the member '") + member + "' (a string)");
  return v->AsString();
}

int64_t RequiredId(const TJsonValue& body) {
  const TJsonValue* v = body.Member("id");
  if (!v || v->Kind() != TJsonKind::Integer)
    throw ERestError(400, "The request needs the member 'id' (an integer)");
  return v->AsInteger();
}

// The schema of a table that the services serve; 404 for any other.
IPtr<IDBFieldSchemaItem> ServedTable(TVelaDatabase& db, const std::string& name) {
  IPtr<IDBFieldSchemaItem> table;
  if (!StartsText("vela_", name)) table = db.GetSchemaByName(name);
  if (!table) throw ERestError(404, "Unknown table '" + name + "'");
  return table;
}

// The members of "record" as field values of the command (the record identifier is the
// database's).
void SetRecordValues(TClientSQL& sql, IDBFieldSchemaItem& table, const TJsonValue& body) {
  const TJsonValue* record = body.Member("record");
  if (!record || !record->IsObject() || record->Count() == 0)
    throw ERestError(400, "The request needs the member 'record' (an object with fields)");
  SetJsonRecordValues(sql, table, *record);
}

int64_t RunCommand(TClientSQL& sql) {
  try {
    return sql.Execute();
  } catch (const EDatabaseError& e) {
    throw ERestError(400, e.Message());
  }
}

TJsonValue ResultObject() {
  TJsonValue answer = TJsonValue::MakeObject();
  answer.Add("result", TJsonValue(true));
  return answer;
}

void TableRead(TVelaDatabase& db, TVelaRestRequestContext& ctx) {
  RequireRight(ctx, kRightDatabaseRead, "read the database");
  const TJsonValue body = RequestObject(ctx);
  auto table = ServedTable(db, RequiredString(body, "table"));
  std::vector<std::string> fields;
  if (const TJsonValue* list = body.Member("fields")) {
    if (!list->IsArray()) throw ERestError(400, "The member 'fields' must be an array of names");
    for (const auto& item : list->Items()) {
      if (item.Kind() != TJsonKind::String)
        throw ERestError(400, "The member 'fields' must be an array of names");
      fields.push_back(CheckedField(*table, item.AsString()).Name);
    }
  }
  if (fields.empty())
    for (int i = 0; i < table->GetFieldCount(); ++i)
      fields.push_back(table->GetField(i).Name);
  std::vector<std::pair<std::string, Variant>> filters;
  if (const TJsonValue* filter = body.Member("filter")) {
    if (!filter->IsObject()) throw ERestError(400, "The member 'filter' must be an object");
    for (const auto& [name, value] : filter->Members()) {
      const TDBFieldSchemaField& field = CheckedField(*table, name);
      filters.emplace_back(field.Name, JsonToFieldValue(field, value));
    }
  }
  int64_t limit = -1;
  if (const TJsonValue* l = body.Member("limit")) {
    if (l->Kind() != TJsonKind::Integer || l->AsInteger() < 0)
      throw ERestError(400, "The member 'limit' must be a number of records (0 or more)");
    limit = l->AsInteger();
  }
  auto query = db.GetTableInterface();
  try {
    query->Query(table->GetName(), fields, filters);
  } catch (const EDatabaseError& e) {
    throw ERestError(400, e.Message());
  }
  TJsonValue records = TJsonValue::MakeArray();
  for (; !query->Eof() && (limit < 0 || static_cast<int64_t>(records.Count()) < limit);
       query->Next()) {
    TJsonValue record = TJsonValue::MakeObject();
    for (int i = 0; i < query->FieldCount(); ++i)
      record.Add(query->FieldName(i), FieldValueToJson(query->Value(i)));
    records.Add(std::move(record));
  }
  TJsonValue answer = ResultObject();
  answer.Add("table", TJsonValue(table->GetName()));
  answer.Add("count", TJsonValue(static_cast<int64_t>(records.Count())));
  answer.Add("records", std::move(records));
  ctx.ReturnsJson(answer.ToJSON());
}

void TableAdd(TVelaDatabase& db, TVelaRestRequestContext& ctx) {
  RequireRight(ctx, kRightDatabaseWrite, "write the database");
  const TJsonValue body = RequestObject(ctx);
  auto table = ServedTable(db, RequiredString(body, "table"));
  TClientSQL sql(db);
  sql.SetSchemaName(table->GetName());
  sql.SetMode(csmInsert);
  SetRecordValues(sql, *table, body);
  const int64_t id = RunCommand(sql);
  TJsonValue answer = ResultObject();
  answer.Add("id", TJsonValue(id));
  ctx.ReturnsJson(answer.ToJSON());
}

// Update (with a record) or delete the record "id".
void TableChange(TVelaDatabase& db, TVelaRestRequestContext& ctx, int mode) {
  RequireRight(ctx, kRightDatabaseWrite, "write the database");
  const TJsonValue body = RequestObject(ctx);
  auto table = ServedTable(db, RequiredString(body, "table"));
  const std::string idField = table->GetRecordIDField();
  if (idField.empty())
    throw ERestError(400, "The table '" + table->GetName() + "' has no record identifier");
  const int64_t id = RequiredId(body);
  TClientSQL sql(db);
  sql.SetSchemaName(table->GetName());
  sql.SetMode(mode);
  if (mode == csmUpdate) SetRecordValues(sql, *table, body);
  sql.AddFilter(idField, Variant(id));
  const int64_t changed = RunCommand(sql);
  if (changed == 0)
    throw ERestError(404,
                     "No record " + std::to_string(id) + " in table '" + table->GetName() + "'");
  TJsonValue answer = ResultObject();
  answer.Add(mode == csmUpdate ? "updated" : "deleted", TJsonValue(changed));
  ctx.ReturnsJson(answer.ToJSON());
}

TJsonValue TableJson(const IDBFieldSchemaItem& table) {
  TJsonValue fields = TJsonValue::MakeArray();
  for (int i = 0; i < table.GetFieldCount(); ++i) {
    const auto& f = table.GetField(i);
    TJsonValue field = TJsonValue::MakeObject();
    field.Add("name", TJsonValue(f.Name));
    field.Add("caption", TJsonValue(f.Caption));
    field.Add("type", TJsonValue(FieldTypeName(f.DataType)));
    field.Add("size", TJsonValue(f.Size));
    field.Add("required", TJsonValue(f.Required));
    field.Add("recordId", TJsonValue(f.IsRecordID()));
    fields.Add(std::move(field));
  }
  TJsonValue json = TJsonValue::MakeObject();
  json.Add("name", TJsonValue(table.GetName()));
  json.Add("caption", TJsonValue(table.GetCaption()));
  json.Add("fields", std::move(fields));
  return json;
}

void SchemaTables(TVelaDatabase& db, TVelaRestRequestContext& ctx) {
  RequireRight(ctx, kRightDatabaseRead, "read the database");
  TJsonValue tables = TJsonValue::MakeArray();
  for (const auto& table : db.GetDBFieldSchema().GetItems())
    if (!StartsText("vela_", table->GetName())) tables.Add(TableJson(*table));
  TJsonValue answer = ResultObject();
  answer.Add("tables", std::move(tables));
  ctx.ReturnsJson(answer.ToJSON());
}

void SchemaTable(TVelaDatabase& db, TVelaRestRequestContext& ctx) {
  RequireRight(ctx, kRightDatabaseRead, "read the database");
  const TJsonValue body = RequestObject(ctx);
  auto table = ServedTable(db, RequiredString(body, "table"));
  TJsonValue answer = ResultObject();
  answer.Add("table", TableJson(*table));
  ctx.ReturnsJson(answer.ToJSON());
}

}  // namespace

void RegisterDatabaseServices(TVelaRestRouter& router, TVelaDatabase& db, std::string_view root) {
  TVelaDatabase* d = &db;
  router.RegisterService(root, "Table", "Read", [d](auto& ctx) { TableRead(*d, ctx); });
  router.RegisterService(root, "Table", "Add", [d](auto& ctx) { TableAdd(*d, ctx); });
  router.RegisterService(root, "Table", "Update",
                         [d](auto& ctx) { TableChange(*d, ctx, csmUpdate); });
  router.RegisterService(root, "Table", "Delete",
                         [d](auto& ctx) { TableChange(*d, ctx, csmDelete); });
  router.RegisterService(root, "Schema", "Tables", [d](auto& ctx) { SchemaTables(*d, ctx); });
  router.RegisterService(root, "Schema", "Table", [d](auto& ctx) { SchemaTable(*d, ctx); });
}

}  // namespace vela
