#include "host/db/DbInterfaceTable.h"

#include <memory>
#include <unordered_map>

#include "host/db/DbValues.h"
#include "host/db/VelaDatabase.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// What a query of one shape needs: the table's schema, the selected columns, the filter fields
// and the SQL text. Built once per shape (table, selected fields, filter fields and which
// filters are NULL), so that a query repeated for every record of an import only binds values.
struct TQueryPlan {
  IPtr<IDBFieldSchemaItem> Schema;
  std::vector<TFieldType> ColumnTypes;
  std::vector<std::string> Names;
  // The field of each filter; nullptr for a NULL filter (no parameter).
  std::vector<const TDBFieldSchemaField*> Filters;
  std::string SQL;
  // The prepared statement on the connection of that serial (owned by the connection).
  uint64_t Conn = 0;
  TDbStatement* Statement = nullptr;
};

void AppendName(std::string& key, std::string_view name) {
  key += name;
  key += '\0';
}

class TDbInterfaceTable : public TInterfacedObject, public IDbInterfaceTable {
  VELA_INTERFACES(TInterfacedObject, IDbInterfaceTable)

 public:
  explicit TDbInterfaceTable(TVelaDatabase& db) : FDb(db) {}

  void Query(const std::string& table, const std::vector<std::string>& fields,
             const std::vector<std::pair<std::string, Variant>>& filters) override {
    Close();
    TQueryPlan& plan = Plan(table, fields, filters);
    auto conn = FDb.Connection();
    if (!plan.Statement || plan.Conn != conn->Serial()) {
      plan.Statement = &conn->Prepare(plan.SQL);
      plan.Conn = conn->Serial();
    }
    TDbStatement& st = *plan.Statement;
    TStatementRun run(st);
    // Convert and check every value before binding, so that a bad value leaves nothing bound.
    if (FBind.size() < filters.size()) FBind.resize(filters.size());
    size_t bound = 0;
    for (size_t i = 0; i < filters.size(); ++i)
      if (plan.Filters[i]) ConvertFieldValue(*plan.Filters[i], filters[i].second, FBind[bound++]);
    for (size_t i = 0; i < bound; ++i)
      BindConvertedValue(st, static_cast<int>(i) + 1, FBind[i]);
    st.Execute();
    const size_t columns = plan.ColumnTypes.size();
    while (st.Next()) {
      for (size_t c = 0; c < columns; ++c)
        FValues.push_back(ReadFieldValue(st, static_cast<int>(c), plan.ColumnTypes[c]));
      ++FRowCount;
    }
    FColumns = columns;
    FNames = &plan.Names;
    FOpen = true;
    FPos = 0;
  }
  bool IsOpen() override { return FOpen; }
  int RecordCount() override { return static_cast<int>(FRowCount); }
  bool Eof() override { return FPos >= FRowCount; }
  void First() override { FPos = 0; }
  void Next() override {
    if (FPos < FRowCount) ++FPos;
  }
  int FieldCount() override { return FNames ? static_cast<int>(FNames->size()) : 0; }
  std::string FieldName(int index) override {
    if (!FNames) throw std::out_of_range("field index out of range");
    return FNames->at(static_cast<size_t>(index));
  }
  Variant ValueByName(std::string_view field) override {
    if (FNames)
      for (size_t i = 0; i < FNames->size(); ++i)
        if (SameText((*FNames)[i], field)) return Value(static_cast<int>(i));
    throw EDatabaseError("Field '" + std::string(field) + "' is not part of the query");
  }
  Variant Value(int index) override {
    if (Eof()) throw EDatabaseError("No current record");
    if (index < 0 || static_cast<size_t>(index) >= FColumns)
      throw std::out_of_range("field index out of range");
    return FValues[FPos * FColumns + static_cast<size_t>(index)];
  }
  void Close() override {
    FValues.clear();
    FRowCount = 0;
    FColumns = 0;
    FNames = nullptr;
    FOpen = false;
    FPos = 0;
  }

 private:
  static int Index(IDBFieldSchemaItem& schema, const std::string& name) {
    int i = schema.IndexOfField(name);
    if (i < 0)
      throw EDatabaseError("Field '" + name + "' does not exist in table '" + schema.GetName() +
                           "'");
    return i;
  }

  // The plan of this query's shape, built at its first use.
  TQueryPlan& Plan(const std::string& table, const std::vector<std::string>& fields,
                   const std::vector<std::pair<std::string, Variant>>& filters) {
    uint64_t generation = FDb.GetDBFieldSchema().Generation();
    if (generation != FGeneration) {
      // A reload or a new value list: the schema items the plans hold are outdated.
      FPlans.clear();
      FLastPlan = nullptr;
      FGeneration = generation;
    }
    FKey.clear();
    AppendName(FKey, table);
    for (auto& name : fields)
      AppendName(FKey, name);
    FKey += '\1';
    for (auto& [name, value] : filters) {
      AppendName(FKey, name);
      FKey += value.IsClear() ? 'n' : 'v';
    }
    if (FLastPlan && FKey == FLastKey) return *FLastPlan;
    auto it = FPlans.find(FKey);
    if (it == FPlans.end()) {
      auto plan = BuildPlan(table, fields, filters);
      // Looking up an unknown table reloads the schema, which outdates the other plans.
      if (uint64_t now = FDb.GetDBFieldSchema().Generation(); now != FGeneration) {
        FPlans.clear();
        FGeneration = now;
      }
      it = FPlans.emplace(FKey, std::move(plan)).first;
    }
    FLastPlan = it->second.get();
    FLastKey = FKey;
    return *FLastPlan;
  }

  std::unique_ptr<TQueryPlan> BuildPlan(
      const std::string& table, const std::vector<std::string>& fields,
      const std::vector<std::pair<std::string, Variant>>& filters) {
    auto plan = std::make_unique<TQueryPlan>();
    plan->Schema = FDb.GetSchemaByName(table);
    if (!plan->Schema) throw EDatabaseError("Table '" + table + "' does not exist");
    IDBFieldSchemaItem& schema = *plan->Schema;
    std::vector<int> columns;
    if (fields.empty()) {
      for (int i = 0; i < schema.GetFieldCount(); ++i)
        columns.push_back(i);
    } else {
      for (auto& name : fields)
        columns.push_back(Index(schema, name));
    }
    std::vector<int> where;
    for (auto& [name, value] : filters)
      where.push_back(Index(schema, name));

    auto conn = FDb.Connection();
    std::string& sql = plan->SQL;
    sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) {
      const TDBFieldSchemaField& f = schema.GetField(columns[i]);
      if (i) sql += ", ";
      sql += TDbConnection::QuoteIdent(f.Name);
      plan->ColumnTypes.push_back(f.DataType);
      plan->Names.push_back(f.Name);
    }
    sql += " FROM " + TDbConnection::QuoteIdent(schema.GetName());
    int param = 0;
    for (size_t i = 0; i < where.size(); ++i) {
      const TDBFieldSchemaField& f = schema.GetField(where[i]);
      bool isNull = filters[i].second.IsClear();
      sql += i ? " AND " : " WHERE ";
      sql += TDbConnection::QuoteIdent(f.Name);
      sql += isNull ? " IS NULL" : " = " + conn->Placeholder(++param);
      plan->Filters.push_back(isNull ? nullptr : &f);
    }
    return plan;
  }

  TVelaDatabase& FDb;
  // The result: FRowCount rows of FColumns values each, row after row (the buffer is reused).
  std::vector<Variant> FValues;
  size_t FRowCount = 0;
  size_t FColumns = 0;
  const std::vector<std::string>* FNames = nullptr;  // the plan's, while open
  size_t FPos = 0;
  bool FOpen = false;

  // Plans by shape key; the one of the last query is found without a hash lookup.
  std::unordered_map<std::string, std::unique_ptr<TQueryPlan>> FPlans;
  uint64_t FGeneration = 0;
  std::string FKey;
  std::string FLastKey;
  TQueryPlan* FLastPlan = nullptr;
  // Converted filter values (reused buffers).
  std::vector<TDbBindValue> FBind;
};

}  // namespace

IPtr<IDbInterfaceTable> MakeDbInterfaceTable(TVelaDatabase& db) {
  return MakeIntf<TDbInterfaceTable, IDbInterfaceTable>(db);
}

}  // namespace vela
