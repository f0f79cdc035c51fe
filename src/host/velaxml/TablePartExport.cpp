// Export of a table part: the rows of the table, and of its detail tables inside their parents'
// rows, read page by page in id order and written through a VelaXML writer.
#include <algorithm>
#include <charconv>
#include <limits>

#include "host/db/DbConnection.h"
#include "host/db/DbValues.h"
#include "host/velaxml/FilterExpressions.h"
#include "host/velaxml/TablePartHandler.h"
#include "host/velaxml/VelaXMLImportContainer.h"
#include "host/velaxml/XMLValues.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// Rows read per statement run. PostgreSQL results arrive whole, so a page bounds the memory an
// export holds; on SQLite a page costs one index seek.
constexpr int kPageSize = 1000;

// The document text of column AColumn of the current row.
void ColumnToText(TDbStatement& AStatement, int AColumn, TFieldType AType, std::string& AOut) {
  if (IsIntegerFieldType(AType)) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, AStatement.ColumnInt64(AColumn));
    AOut.assign(buf, r.ptr);
  } else if (IsFloatFieldType(AType)) {
    AOut = XMLFloatToStr(AStatement.ColumnDouble(AColumn));
  } else if (AType == ftBoolean) {
    AOut = XMLBoolToStr(AStatement.ColumnBool(AColumn));
  } else if (IsDateTimeFieldType(AType)) {
    const TDateTime value = ReadFieldValue(AStatement, AColumn, AType).AsDateTime();
    AOut = AType == ftDate   ? XMLDateToStr(value)
           : AType == ftTime ? XMLTimeToStr(value)
                             : XMLDateTimeToStr(value);
  } else if (IsBinaryFieldType(AType)) {
    AOut = AStatement.ColumnBlob(AColumn);
  } else {
    AOut.assign(AStatement.ColumnText(AColumn));
  }
}

// Binary values travel in Base64; text is asked to be compressed, which the writer does only
// where it pays or where XML cannot carry the text; typed values are written as text.
TVelaXMLDataEncoding FieldEncoding(TFieldType AType) {
  if (IsBinaryFieldType(AType)) return xdeBase64;
  if (IsIntegerFieldType(AType) || IsFloatFieldType(AType) || AType == ftBoolean ||
      IsDateTimeFieldType(AType))
    return xdeText;
  return xdeBase64Compressed;
}

int IdColumnOf(const IDBFieldSchemaItem& ASchema) {
  for (int i = 0; i < ASchema.GetFieldCount(); ++i)
    if (ASchema.GetField(i).IsRecordID()) return i;
  return ASchema.IndexOfField(kRecordIdField);
}

std::string Quoted(const IDBFieldSchemaItem& ASchema, int AColumn) {
  return TDbConnection::QuoteIdent(ASchema.GetField(AColumn).Name);
}

}  // namespace

TTablePartHandler::TExportTable& TTablePartHandler::ExportTable(
    const IPtr<IDBFieldSchemaItem>& ASchema) {
  auto& table = FExportTables[LowerCase(ASchema->GetName())];
  if (!table) {
    table = std::make_unique<TExportTable>();
    table->Schema = ASchema;
    table->IdColumn = IdColumnOf(*ASchema);
  }
  return *table;
}

void TTablePartHandler::ReadChildTables(TExportTable& ATable) {
  if (ATable.ChildrenRead) return;
  ATable.ChildrenRead = true;
  for (const auto& item : FDb.GetDBFieldSchema().GetItems()) {
    if (IsVelaXMLHostTable(item->GetName())) continue;
    const int ref = DetailReferenceColumn(*item, ATable.Schema->GetName());
    if (ref >= 0) ATable.Children.push_back({&ExportTable(item), ref, true, {}});
  }
}

std::string TTablePartHandler::RowCondition(TDbConnection& AConn, TExportTable& ATable,
                                            const std::vector<TExportCondition>& AConditions,
                                            int ARefColumn, bool APaged, int& AParams) const {
  std::string sql;
  auto add = [&sql](const std::string& ACondition) {
    sql += (sql.empty() ? " WHERE " : " AND ") + ACondition;
  };
  for (const TExportCondition& c : AConditions)
    add(c.HasValue ? c.Before + AConn.Placeholder(++AParams) + c.After : c.Before);
  if (ARefColumn >= 0)
    add(Quoted(*ATable.Schema, ARefColumn) + " = " + AConn.Placeholder(++AParams));
  if (APaged) add(Quoted(*ATable.Schema, ATable.IdColumn) + " > " + AConn.Placeholder(++AParams));
  return sql;
}

int64_t TTablePartHandler::CountRows(TExportTable& ATable,
                                     const std::vector<TExportCondition>& AConditions,
                                     int ARefColumn, int64_t AParentId) {
  TDbConnection& conn = *FExportConn;
  int params = 0;
  TDbStatement& st =
      conn.Prepare("SELECT COUNT(*) FROM " + TDbConnection::QuoteIdent(ATable.Schema->GetName()) +
                   RowCondition(conn, ATable, AConditions, ARefColumn, false, params));
  TStatementRun run(st);
  int n = 0;
  for (const TExportCondition& c : AConditions)
    if (c.HasValue) BindConvertedValue(st, ++n, c.Value);
  if (ARefColumn >= 0) st.BindInt64(++n, AParentId);
  st.Execute();
  return st.Next() ? st.ColumnInt64(0) : 0;
}

TTablePartHandler::TExportRow& TTablePartHandler::TExportTable::PageRow(size_t AIndex) {
  while (Page.size() <= AIndex)
    Page.push_back(std::make_unique<TExportRow>());
  return *Page[AIndex];
}

std::string TTablePartHandler::RowsSQL(TDbConnection& AConn, TExportTable& ATable,
                                       const std::vector<TExportCondition>& AConditions,
                                       int ARefColumn) const {
  const IDBFieldSchemaItem& schema = *ATable.Schema;
  const bool paged = ATable.IdColumn >= 0;
  std::string sql = "SELECT ";
  for (int c = 0; c < schema.GetFieldCount(); ++c)
    sql += (c ? ", " : "") + Quoted(schema, c);
  int params = 0;
  sql += " FROM " + TDbConnection::QuoteIdent(schema.GetName()) +
         RowCondition(AConn, ATable, AConditions, ARefColumn, paged, params);
  if (paged)
    sql += " ORDER BY " + Quoted(schema, ATable.IdColumn) + " LIMIT " + std::to_string(kPageSize);
  return sql;
}

void TTablePartHandler::ExportRows(IVelaXMLWriter& AWriter, TCustomVelaXMLWriter* ACustom,
                                   TExportTable& ATable, const std::string& ASQL,
                                   const std::vector<TExportCondition>& AConditions, int ARefColumn,
                                   int64_t AParentId, TFilterExpressions* AFilter,
                                   bool AWithChildren, std::vector<const TExportTable*>& APath,
                                   const std::string* AElement, bool ACountOnly, int64_t& ACount) {
  const IDBFieldSchemaItem& schema = *ATable.Schema;
  const int columns = schema.GetFieldCount();
  const bool paged = ATable.IdColumn >= 0;
  TDbStatement& st = FExportConn->Prepare(ASQL);
  auto openElement = [&](int64_t ACountOfRows) {
    TXMLDataStore attrs;
    attrs.Add("count", std::to_string(ACountOfRows));
    TXMLDataStoreContainer container;
    container.Add(attrs);
    AWriter.StartElement(*AElement, &container, xdeNone, xdeNone, xbhInline, 0);
  };
  bool opened = AElement == nullptr;
  if (!opened && !paged) {
    const int64_t count = CountRows(ATable, AConditions, ARefColumn, AParentId);
    if (count == 0) return;
    openElement(count);
    opened = true;
  }

  std::string text;
  int64_t lastId = std::numeric_limits<int64_t>::min();
  for (;;) {
    int rows = 0;         // read by this run
    size_t buffered = 0;  // of them in the page buffer (paged: those the filter passed)
    {
      TStatementRun run(st);
      int n = 0;
      for (const TExportCondition& c : AConditions)
        if (c.HasValue) BindConvertedValue(st, ++n, c.Value);
      if (ARefColumn >= 0) st.BindInt64(++n, AParentId);
      if (paged) st.BindInt64(++n, lastId);
      st.Execute();
      while (st.Next()) {
        ++rows;
        TExportRow& row = paged ? ATable.PageRow(buffered) : ATable.Row;
        row.Values.Clear();
        row.Null.assign(static_cast<size_t>(columns), 0);
        for (int c = 0; c < columns; ++c) {
          const TDBFieldSchemaField& field = schema.GetField(c);
          if (st.ColumnIsNull(c)) {
            row.Values.Add(field.Name, std::string_view());
            row.Null[static_cast<size_t>(c)] = 1;
            continue;
          }
          ColumnToText(st, c, field.DataType, text);
          row.Values.Add(field.Name, text);
        }
        if (paged) lastId = row.Id = st.ColumnInt64(ATable.IdColumn);
        if (AFilter != nullptr && !AFilter->IsRecordValid(row.Values)) continue;
        if (paged) {
          ++buffered;
          continue;
        }
        // Without ids the rows are written while the statement reads them.
        ++ACount;
        if (!ACountOnly) WriteRow(AWriter, ACustom, ATable, row, ARefColumn, AWithChildren, APath);
      }
    }
    // A first page that is not full holds all the rows: it gives their count.
    if (!opened) {
      const int64_t count = rows < kPageSize && AFilter == nullptr
                                ? static_cast<int64_t>(buffered)
                                : CountRows(ATable, AConditions, ARefColumn, AParentId);
      if (count == 0) return;
      openElement(count);
      opened = true;
    }
    for (size_t i = 0; i < buffered; ++i) {
      ++ACount;
      if (!ACountOnly)
        WriteRow(AWriter, ACustom, ATable, *ATable.Page[i], ARefColumn, AWithChildren, APath);
    }
    if (!paged || rows < kPageSize) break;
  }
  if (AElement != nullptr) AWriter.EndElement(*AElement);
}

void TTablePartHandler::WriteRow(IVelaXMLWriter& AWriter, TCustomVelaXMLWriter* ACustom,
                                 TExportTable& ATable, const TExportRow& ARow, int ARefColumn,
                                 bool AWithChildren, std::vector<const TExportTable*>& APath) {
  AWriter.StartElement(kExportRowElement, nullptr, xdeNone, xdeNone, xbhInline, 0);
  bool required = true;
  if (ACustom != nullptr) ACustom->DoOnGetDataRequired(this, required);
  const IDBFieldSchemaItem& schema = *ATable.Schema;
  if (required)
    for (int c = 0; c < schema.GetFieldCount(); ++c) {
      // The id is the database's own and the parent reference is given by the nesting.
      if (c == ATable.IdColumn || c == ARefColumn || ARow.Null[static_cast<size_t>(c)]) continue;
      const TXMLDataStoreItem& item = ARow.Values.GetItem(c);
      const TFieldType type = schema.GetField(c).DataType;
      AWriter.StartElement(item.Name(), nullptr, FieldEncoding(type), xdeNone, xbhInline, 0);
      AWriter.Characters(IsBinaryFieldType(type) ? Variant::FromBytes(item.Value())
                                                 : Variant(item.Value()));
      AWriter.EndElement(item.Name());
    }
  if (AWithChildren && ATable.IdColumn >= 0) {
    ReadChildTables(ATable);
    APath.push_back(&ATable);
    for (TExportTable::TChild& child : ATable.Children) {
      // A table already being written above this row would nest without end.
      if (std::find(APath.begin(), APath.end(), child.Table) != APath.end()) continue;
      const std::string& name = child.Table->Schema->GetName();
      bool wanted = true;
      if (ACustom != nullptr) ACustom->DoOnExportChildPartRequired(this, name, wanted);
      if (!wanted) continue;
      if (child.SQL.empty()) child.SQL = RowsSQL(*FExportConn, *child.Table, {}, child.RefColumn);
      int64_t written = 0;
      ExportRows(AWriter, ACustom, *child.Table, child.SQL, {}, child.RefColumn, ARow.Id, nullptr,
                 true, APath, &name, false, written);
    }
    APath.pop_back();
  }
  AWriter.EndElement(kExportRowElement);
}

bool TTablePartHandler::ExportPart(IVelaXMLWriter* AWriter, bool AWithChildren) {
  FLastError.clear();
  if (AWriter == nullptr) {
    FLastError = FIdent + ": no writer";
    return false;
  }
  try {
    TVelaXMLWriterParams& params = AWriter->Get_Params(FIdent);
    auto* custom = dynamic_cast<TCustomVelaXMLWriter*>(AWriter);
    TFilterExpressions* filter = nullptr;
    if (custom != nullptr) custom->DoOnGetRecordExpressionFilter(this, filter);
    if (filter != nullptr && filter->Count() == 0) filter = nullptr;

    TExportTable& table = ExportTable(FMain->SchemaPtr());
    const IDBFieldSchemaItem& schema = *table.Schema;
    std::vector<TExportCondition> conditions;
    const int changed = schema.IndexOfField(kChangeDateField);
    if (changed >= 0 && IsDateTimeFieldType(schema.GetField(changed).DataType)) {
      auto add = [&](const char* AOp, TDateTime AValue) {
        TExportCondition& c = conditions.emplace_back();
        c.Before = Quoted(schema, changed) + AOp;
        c.HasValue = true;
        c.Source = Variant::FromDateTime(AValue);
        ConvertFieldValue(schema.GetField(changed), c.Source, c.Value);
      };
      if (params.OnlyChanged && params.LastChangedDate != 0) add(" > ", params.LastChangedDate);
      if (params.ProcessToDate != 0) add(" <= ", params.ProcessToDate);
    }
    const int place = schema.IndexOfField(kPlaceField);
    if (params.OnlyThisPlace && place >= 0) {
      const TDBFieldSchemaField& field = schema.GetField(place);
      const Variant option = params.Option(kPlaceOption);
      const std::string value =
          option.kind() == Variant::Kind::Empty || option.kind() == Variant::Kind::Null
              ? std::string()
              : option.AsString();
      TExportCondition& c = conditions.emplace_back();
      if (value.empty()) {
        // Records made here carry no place.
        const std::string q = Quoted(schema, place);
        c.Before = "(" + q + " IS NULL" +
                   (IsStringFieldType(field.DataType) ? " OR " + q + " = ''" : std::string()) + ")";
      } else {
        c.Before = Quoted(schema, place) + " = ";
        c.HasValue = true;
        c.Source = Variant(value);
        ConvertFieldValue(field, c.Source, c.Value);
      }
    }

    // The rows are read in one transaction: one picture of the table and its detail tables,
    // and on SQLite one read lock for the export instead of one per statement.
    const bool ownTransaction = !FDb.InTransaction();
    if (ownTransaction) FDb.StartTransaction();
    struct TEndRead {
      TVelaDatabase* Db;
      ~TEndRead() {
        if (Db == nullptr) return;
        try {
          Db->Rollback();
        } catch (...) {
          // Nothing was written; the export's own failure is the one to report.
        }
      }
    } endRead{ownTransaction ? &FDb : nullptr};
    TDbConnection* previous = FExportConn;
    auto lease = FDb.Connection();
    FExportConn = &*lease;
    struct TRestore {
      TDbConnection*& Conn;
      TDbConnection* Previous;
      ~TRestore() { Conn = Previous; }
    } restore{FExportConn, previous};

    const std::string sql = RowsSQL(*FExportConn, table, conditions, -1);
    std::vector<const TExportTable*> path;
    int64_t count = 0;
    if (filter != nullptr)
      ExportRows(*AWriter, custom, table, sql, conditions, -1, 0, filter, false, path, nullptr,
                 true, count);
    else
      count = CountRows(table, conditions, -1, 0);
    TXMLDataStore attrs;
    attrs.Add("count", std::to_string(count));
    TXMLDataStoreContainer container;
    container.Add(attrs);
    AWriter->StartElement(FIdent, &container, xdeNone, xdeNone, xbhInline, 0);
    int64_t written = 0;
    ExportRows(*AWriter, custom, table, sql, conditions, -1, 0, filter, AWithChildren, path,
               nullptr, false, written);
    AWriter->EndElement(FIdent);
    if (ownTransaction) {
      endRead.Db = nullptr;
      FDb.Commit();
    }
    return true;
  } catch (const std::exception& e) {
    FLastError = FIdent + ": " + e.what();
    throw;
  }
}

}  // namespace vela
