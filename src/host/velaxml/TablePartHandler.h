// The part handler of one database table: imports the records of a VelaXML part into the table
// (and child records into its detail tables), carries out the record commands, and exports the
// table's rows as a part. docs/velaxml-tables.md describes the rules for people.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/db/VelaDatabase.h"
#include "host/velaxml/TableRecordWriter.h"
#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "rtl/Classes.h"

namespace vela {

class TCustomVelaXMLWriter;
class TFilterExpressions;

// Column names with a meaning for exports.
inline constexpr const char* kChangeDateField = "changedate";  // when the record last changed
inline constexpr const char* kPlaceField = "placeid";  // the place (installation) it belongs to
// The writer option that names this place's value of kPlaceField.
inline constexpr const char* kPlaceOption = "PlaceID";
// The element name of exported rows.
inline constexpr const char* kExportRowElement = "row";

class TTablePartHandler : public TInterfacedObject,
                          public TObject,
                          public IXMLImportPartHandler,
                          public IXMLImportPartHandlerAbort {
  VELA_INTERFACES(TInterfacedObject, IXMLImportPartHandler, IXMLImportPartHandlerAbort)

 public:
  // AIdent: the part's element name; ASchema: the table. The database must outlive the handler.
  TTablePartHandler(TVelaDatabase& ADatabase, std::string AIdent, IPtr<IDBFieldSchemaItem> ASchema);
  ~TTablePartHandler() override;

  std::string GetIdent() override { return FIdent; }
  // Writes one record or child record. False (with the reason in GetLastErrorText) fails the
  // part: later records are refused and EndPart rolls the part back.
  bool ImportItem(const std::string& AName, TXMLDataStore& AStore) override;
  void EndPartTag(const std::string& AName) override { (void)AName; }
  // Reads "keyfields" and "velaxml_command" of the part element and starts the part's
  // transaction (a savepoint when the caller's transaction is running).
  bool BeginPart(TXMLDataStore& AAttrs, IXMLImportProcessor* AProcessor) override;
  // Finishes the synchronisations and commits; rolls back a failed part. Raises
  // EVelaXMLImportError when finishing fails, or when the part failed in a way no ImportItem
  // reported.
  void EndPart() override;
  // The document failed: the following EndPart rolls the part back without a further error.
  void AbortPart() override;
  std::string GetLastErrorText() override { return FLastError; }
  std::string GetCaption() override { return FMain->Schema().GetCaption(); }
  std::string GetTableName() override { return FMain->TableName(); }
  // "globalrecuid" when the table has that column, else empty.
  std::string GetKeyFields() override;
  int64_t GetInsertedCount() override { return FInserted; }
  int64_t GetUpdatedCount() override { return FUpdated; }
  int64_t GetDeletedCount() override { return FDeleted; }
  bool SupportsChildParts() override { return true; }
  // The end of a record: synchronisations inside its child parts are carried out.
  void EndItem(const std::string& AName) override;
  bool CanExport() override { return true; }
  // Writes the part element with "count", one row element per record and, with AWithChildren,
  // the detail tables' records inside their parents' rows. Raises on a failure (the document
  // would be incomplete); the text is also left in GetLastErrorText.
  bool ExportPart(IVelaXMLWriter* AWriter, bool AWithChildren) override;

 private:
  // Ids as runs of consecutive ids: a part that inserts its records one after the other, or
  // updates them in id order, holds one run however many records it writes.
  class TIdRuns {
   public:
    void Add(int64_t AId);
    // Sorts and joins the runs; Contains needs it after the last Add.
    void Seal();
    bool Contains(int64_t AId) const;
    void Clear() noexcept { FRuns.clear(); }

   private:
    std::vector<std::pair<int64_t, int64_t>> FRuns;  // first and last id of each run
  };
  // Records of one table that the import keeps when a synchronisation ends: the table's records
  // (RefColumn < 0) or the detail records of one parent.
  struct TSyncScope {
    TTableRecordWriter* Table = nullptr;
    int RefColumn = -1;
    int64_t ParentId = 0;
    bool Active = false;  // a "sync" command or "syncexisting" asked for it
    // The records written or named so far; a "sync" row late in the part keeps those too.
    TIdRuns Keep;
  };
  // What a child element's name means below the records of one table, found on first use.
  struct TDetailLink {
    IPtr<IDBFieldSchemaItem> Detail;      // nil: the name is no application table
    int RefColumn = -2;                   // the detail's reference column; -2 not looked up yet
    TTableRecordWriter* Table = nullptr;  // the detail's writer, made on first use
  };
  // What a store of the current record stands for, so that its children find their place.
  struct TStoreContext {
    enum TKind : uint8_t { Record, Group, Ignored } Kind = Ignored;
    TTableRecordWriter* Table = nullptr;
    int64_t Id = 0;  // Record: the record written
    // Group (a child part: rows of Table belonging to the parent record ParentId).
    int RefColumn = -1;
    int64_t ParentId = 0;
    std::vector<int> Keys;
    bool SyncExisting = false;
    size_t Scope = 0;  // index into FChildScopes
  };

  TTableRecordWriter& Writer(const IPtr<IDBFieldSchemaItem>& ASchema);
  // The application table of that name (nil for host tables and unknown names).
  IPtr<IDBFieldSchemaItem> FindTable(const std::string& AName);
  // Column indexes of the names in a "keyfields" value (comma or semicolon separated).
  std::vector<int> KeyColumns(const TTableRecordWriter& ATable, std::string_view AList);
  // The columns that identify the loaded record: AKeys when all have values (with the parent
  // reference), else "globalrecuid" when it has a value, else (ACommand) every loaded column.
  const std::vector<int>& MatchColumns(TTableRecordWriter& ATable, const std::vector<int>& AKeys,
                                       int ARefColumn, bool ACommand);
  // Writes or applies one row; returns the record's id (0 when there is none).
  int64_t ImportRow(TTableRecordWriter& ATable, const TXMLDataStore& AStore,
                    const std::vector<int>& AKeys, bool ASyncExisting, int ARefColumn,
                    int64_t AParentId, TSyncScope& AScope);
  void ImportChild(const std::string& AName, TXMLDataStore& AStore);
  TDetailLink& DetailLink(const TTableRecordWriter& AParent, const std::string& AName);
  // Deletes the scope's records that were not kept.
  void FinishSync(TSyncScope& AScope);
  void FinishChildScopes();
  void Fail(const std::string& AMessage);
  void EndTransaction(bool ACommit);

  // Export (TablePartExport.cpp).
  // A condition of the exported rows: Before, the value's placeholder and After, or Before
  // alone without a value.
  struct TExportCondition {
    std::string Before;
    bool HasValue = false;
    Variant Source;  // what Value was converted from (Value may point into it)
    TDbBindValue Value;
    std::string After;
  };
  // One row read for an export: its values as document text.
  struct TExportRow {
    TXMLDataStore Values;
    std::vector<char> Null;  // per column of Values: the value is null
    int64_t Id = 0;
  };
  // A table during exports: its detail tables and its row buffers.
  struct TExportTable {
    IPtr<IDBFieldSchemaItem> Schema;
    int IdColumn = -1;
    bool ChildrenRead = false;
    // Detail tables, each with its reference column, whether the writer wants it and the query
    // of the rows of one parent (made on first use).
    struct TChild {
      TExportTable* Table;
      int RefColumn;
      bool Required;
      std::string SQL;
    };
    std::vector<TChild> Children;
    TExportRow Row;  // the current row of a table read without pages
    // The rows of the current page (a table with ids), reused from page to page.
    std::vector<std::unique_ptr<TExportRow>> Page;
    TExportRow& PageRow(size_t AIndex);
  };
  TExportTable& ExportTable(const IPtr<IDBFieldSchemaItem>& ASchema);
  void ReadChildTables(TExportTable& ATable);
  // The condition of the rows: AConditions, the parent reference and (paged) the id after the
  // last page; binds in the same order.
  std::string RowCondition(TDbConnection& AConn, TExportTable& ATable,
                           const std::vector<TExportCondition>& AConditions, int ARefColumn,
                           bool APaged, int& AParams) const;
  // The query of the rows (by pages in id order when the table has ids).
  std::string RowsSQL(TDbConnection& AConn, TExportTable& ATable,
                      const std::vector<TExportCondition>& AConditions, int ARefColumn) const;
  // Writes the rows that ASQL (from RowsSQL) selects; with AElement, inside an element of that
  // name carrying their count, which is left out when there are none. ACountOnly counts them.
  void ExportRows(IVelaXMLWriter& AWriter, TCustomVelaXMLWriter* ACustom, TExportTable& ATable,
                  const std::string& ASQL, const std::vector<TExportCondition>& AConditions,
                  int ARefColumn, int64_t AParentId, TFilterExpressions* AFilter,
                  bool AWithChildren, std::vector<const TExportTable*>& APath,
                  const std::string* AElement, bool ACountOnly, int64_t& ACount);
  int64_t CountRows(TExportTable& ATable, const std::vector<TExportCondition>& AConditions,
                    int ARefColumn, int64_t AParentId);
  void WriteRow(IVelaXMLWriter& AWriter, TCustomVelaXMLWriter* ACustom, TExportTable& ATable,
                const TExportRow& ARow, int ARefColumn, bool AWithChildren,
                std::vector<const TExportTable*>& APath);

  TVelaDatabase& FDb;
  std::string FIdent;
  std::unique_ptr<TTableRecordWriter> FMain;
  // Writers of the detail tables, by table name in lower case.
  std::map<std::string, std::unique_ptr<TTableRecordWriter>> FDetails;
  // By parent table and child element name.
  std::map<std::pair<const TTableRecordWriter*, std::string>, TDetailLink> FDetailLinks;

  // --- the part being imported ---
  bool FInPart = false;
  bool FFailed = false;
  bool FFailureReported = false;  // ImportItem returned false for it
  bool FOwnTransaction = false;
  std::optional<TVelaDatabase::TConnectionLease> FConn;
  std::string FBaseDir;
  std::vector<int> FKeys;
  bool FSyncExisting = false;
  int64_t FRecordNo = 0;
  TSyncScope FTopScope;
  std::vector<TSyncScope> FChildScopes;
  std::unordered_map<const TXMLDataStore*, TStoreContext> FContexts;
  std::vector<int> FMatch;  // MatchColumns' result (reused)
  std::vector<int64_t> FIds;
  std::string FLastError;
  int64_t FInserted = 0;
  int64_t FUpdated = 0;
  int64_t FDeleted = 0;

  std::map<std::string, std::unique_ptr<TExportTable>> FExportTables;
  TDbConnection* FExportConn = nullptr;  // during ExportPart
};

}  // namespace vela
