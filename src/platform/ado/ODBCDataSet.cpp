#include "platform/ado/ODBCDataSet.h"

#include <sql.h>
#include <sqlext.h>

#include <charconv>
#include <optional>

#include "platform/ado/ADODB.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

void CheckOdbc(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view what) {
  if (!SQL_SUCCEEDED(rc)) throw EDatabaseError(OdbcDiagnostics(type, handle, what));
}

TFieldType SqlTypeToFieldType(SQLSMALLINT type) {
  switch (type) {
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return ftSmallint;
    case SQL_INTEGER:
      return ftInteger;
    case SQL_BIGINT:
      return ftLargeint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ftFloat;
    case SQL_BIT:
      return ftBoolean;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return ftDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return ftTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return ftDateTime;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return ftMemo;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ftBlob;
    default:
      return ftString;
  }
}

// Reads a column of the current row in chunks; false for NULL.
bool ReadData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT cType, std::string& out) {
  out.clear();
  char buf[8192];
  const size_t room = cType == SQL_C_CHAR ? sizeof buf - 1 : sizeof buf;
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(h, col, cType, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) return true;
    CheckOdbc(rc, SQL_HANDLE_STMT, h, "Cannot read a value");
    if (ind == SQL_NULL_DATA) return false;
    size_t got =
        (ind == SQL_NO_TOTAL || ind > static_cast<SQLLEN>(room)) ? room : static_cast<size_t>(ind);
    out.append(buf, got);
    if (rc == SQL_SUCCESS) return true;
  }
}

class TOdbcStatement final : public TDbStatement {
 public:
  TOdbcStatement(SQLHDBC dbc, const std::string& sql) {
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &FStmt), SQL_HANDLE_DBC, dbc,
              "Cannot allocate a statement");
    SQLRETURN rc =
        SQLPrepare(FStmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
      std::string msg = OdbcDiagnostics(SQL_HANDLE_STMT, FStmt, "Cannot prepare '" + sql + "'");
      SQLFreeHandle(SQL_HANDLE_STMT, FStmt);
      throw EDatabaseError(msg);
    }
    SQLSMALLINT n = 0;
    SQLNumParams(FStmt, &n);
    FParams.resize(static_cast<size_t>(n));
  }
  ~TOdbcStatement() override { SQLFreeHandle(SQL_HANDLE_STMT, FStmt); }

  void BindNull(int i) override { Slot(i).Kind = TKind::Null; }
  void BindInt64(int i, int64_t v) override {
    Slot(i).Kind = TKind::Int;
    Slot(i).Int = v;
  }
  void BindDouble(int i, double v) override {
    Slot(i).Kind = TKind::Float;
    Slot(i).Float = v;
  }
  void BindBool(int i, bool v) override { BindInt64(i, v ? 1 : 0); }
  void BindText(int i, std::string_view v) override {
    Slot(i).Kind = TKind::Text;
    Slot(i).Data.assign(v);
  }
  void BindBlob(int i, const void* data, size_t size) override {
    Slot(i).Kind = TKind::Blob;
    Slot(i).Data.assign(static_cast<const char*>(data), size);
  }
  void ClearBindings() override {
    for (auto& p : FParams)
      p.Kind = TKind::Null;
  }

  void Execute() override {
    SQLFreeStmt(FStmt, SQL_CLOSE);
    for (size_t k = 0; k < FParams.size(); ++k)
      BindParameter(static_cast<SQLUSMALLINT>(k + 1), FParams[k]);
    SQLRETURN rc = SQLExecute(FStmt);
    if (rc != SQL_NO_DATA) CheckOdbc(rc, SQL_HANDLE_STMT, FStmt, "Cannot execute the statement");
    SQLLEN rows = 0;
    FRowsAffected = SQL_SUCCEEDED(SQLRowCount(FStmt, &rows)) ? rows : 0;
    SQLSMALLINT cols = 0;
    SQLNumResultCols(FStmt, &cols);
    FColumns.resize(static_cast<size_t>(cols));
    for (SQLSMALLINT c = 1; c <= cols; ++c) {
      SQLCHAR name[256];
      SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(FStmt, static_cast<SQLUSMALLINT>(c), name, sizeof name, &len, &type, &size,
                     &digits, &nullable);
      TColumn& col = FColumns[static_cast<size_t>(c - 1)];
      col.Name = reinterpret_cast<const char*>(name);
      col.Type = SqlTypeToFieldType(type);
      col.Size = col.Type == ftString && size < 65536 ? static_cast<int>(size) : 0;
    }
  }
  bool Next() override {
    if (FColumns.empty()) return false;
    SQLRETURN rc = SQLFetch(FStmt);
    if (rc == SQL_NO_DATA) return false;
    CheckOdbc(rc, SQL_HANDLE_STMT, FStmt, "Cannot read a row");
    for (size_t c = 0; c < FColumns.size(); ++c) {
      TColumn& col = FColumns[c];
      col.Null = !ReadData(FStmt, static_cast<SQLUSMALLINT>(c + 1),
                           IsBinaryFieldType(col.Type) ? SQL_C_BINARY : SQL_C_CHAR, col.Value);
    }
    return true;
  }
  int64_t RowsAffected() override { return FRowsAffected; }
  void Reset() override { SQLFreeStmt(FStmt, SQL_CLOSE); }

  int ColumnCount() override { return static_cast<int>(FColumns.size()); }
  std::string ColumnName(int c) override { return Col(c).Name; }
  bool ColumnIsNull(int c) override { return Col(c).Null; }
  std::string_view ColumnText(int c) override { return Col(c).Value; }
  int64_t ColumnInt64(int c) override {
    const std::string& t = Col(c).Value;
    int64_t v = 0;
    if (std::from_chars(t.data(), t.data() + t.size(), v).ec != std::errc())
      v = static_cast<int64_t>(ColumnDouble(c));
    return v;
  }
  double ColumnDouble(int c) override {
    const std::string& t = Col(c).Value;
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
  }
  bool ColumnBool(int c) override {
    const std::string& t = Col(c).Value;
    return !t.empty() && (t[0] == 't' || t[0] == 'T' || (t[0] >= '1' && t[0] <= '9'));
  }
  std::string ColumnBlob(int c) override { return Col(c).Value; }
  TFieldType ColumnFieldType(int c, int& size) override {
    size = Col(c).Size;
    return Col(c).Type;
  }

 private:
  enum class TKind : uint8_t { Null, Int, Float, Text, Blob };
  struct TParamSlot {
    TKind Kind = TKind::Null;
    int64_t Int = 0;
    double Float = 0;
    std::string Data;
    SQLLEN Ind = 0;
  };
  struct TColumn {
    std::string Name;
    TFieldType Type = ftString;
    int Size = 0;
    bool Null = true;
    std::string Value;
  };

  TParamSlot& Slot(int i) {
    if (i < 1 || static_cast<size_t>(i) > FParams.size())
      throw EDatabaseError("Parameter index " + std::to_string(i) + " out of range");
    return FParams[static_cast<size_t>(i - 1)];
  }
  TColumn& Col(int c) { return FColumns.at(static_cast<size_t>(c)); }

  void BindParameter(SQLUSMALLINT n, TParamSlot& p) {
    SQLRETURN rc;
    switch (p.Kind) {
      case TKind::Int:
        p.Ind = 0;
        rc = SQLBindParameter(FStmt, n, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.Int, 0,
                              &p.Ind);
        break;
      case TKind::Float:
        p.Ind = 0;
        rc = SQLBindParameter(FStmt, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.Float,
                              0, &p.Ind);
        break;
      case TKind::Text:
      case TKind::Blob: {
        const bool blob = p.Kind == TKind::Blob;
        p.Ind = static_cast<SQLLEN>(p.Data.size());
        rc = SQLBindParameter(FStmt, n, SQL_PARAM_INPUT, blob ? SQL_C_BINARY : SQL_C_CHAR,
                              blob ? SQL_LONGVARBINARY : SQL_VARCHAR,
                              std::max<SQLULEN>(1, p.Data.size()), 0, p.Data.data(),
                              static_cast<SQLLEN>(p.Data.size()), &p.Ind);
        break;
      }
      default:
        p.Ind = SQL_NULL_DATA;
        rc = SQLBindParameter(FStmt, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0,
                              &p.Ind);
        break;
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, FStmt, "Cannot bind parameter " + std::to_string(n));
  }

  SQLHSTMT FStmt = SQL_NULL_HSTMT;
  std::vector<TParamSlot> FParams;
  std::vector<TColumn> FColumns;
  int64_t FRowsAffected = 0;
};

class TOdbcDbConnection final : public TDbConnection {
 public:
  explicit TOdbcDbConnection(TADOConnection& conn) : FConn(conn) {
    FConn.Open();
    char name[128] = {};
    SQLSMALLINT len = 0;
    SQLGetInfo(Dbc(), SQL_DBMS_NAME, name, sizeof name, &len);
    FDbms = name;
  }
  ~TOdbcDbConnection() override { ClearStatementCache(); }

  // Only the dialect of the data source's SQL matters here.
  TDbBackendKind Kind() const override {
    return StartsText("PostgreSQL", FDbms) ? TDbBackendKind::PostgreSQL : TDbBackendKind::SQLite;
  }
  std::unique_ptr<TDbStatement> PrepareNew(const std::string& sql) override {
    return std::make_unique<TOdbcStatement>(Dbc(), sql);
  }
  void ExecSQL(const std::string& sql) override {
    try {
      FConn.ExecSQL(sql);
    } catch (const EADOError& e) {
      throw EDatabaseError(e.Message());
    }
  }

  void StartTransaction() override {
    if (FInTransaction) throw EDatabaseError("A transaction is already active");
    CheckOdbc(SQLSetConnectAttr(Dbc(), SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, Dbc(), "Cannot start a transaction");
    FInTransaction = true;
  }
  void Commit() override { EndTransaction(SQL_COMMIT); }
  void Rollback() override { EndTransaction(SQL_ROLLBACK); }
  bool InTransaction() const override { return FInTransaction; }
  void Savepoint(const std::string& name) override { ExecSQL("SAVEPOINT " + QuoteIdent(name)); }
  void RollbackToSavepoint(const std::string& name) override {
    ExecSQL("ROLLBACK TO SAVEPOINT " + QuoteIdent(name));
  }
  void ReleaseSavepoint(const std::string& name) override {
    ExecSQL("RELEASE SAVEPOINT " + QuoteIdent(name));
  }

  std::string Placeholder(int) const override { return "?"; }
  std::string ColumnTypeSQL(TFieldType ft, int size) const override {
    return StandardColumnTypeSQL(ft, size, Kind() == TDbBackendKind::PostgreSQL ? "BYTEA" : "BLOB");
  }
  std::string IdColumnSQL() const override {
    return Kind() == TDbBackendKind::PostgreSQL
               ? "\"id\" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"
               : "\"id\" INTEGER PRIMARY KEY";
  }
  bool UsesReturning() const override { return false; }
  int64_t LastInsertId() override {
    std::string sql =
        Kind() == TDbBackendKind::PostgreSQL ? "SELECT lastval()" : "SELECT last_insert_rowid()";
    auto st = PrepareNew(sql);
    st->Execute();
    if (!st->Next()) throw EDatabaseError("No new record id");
    return st->ColumnInt64(0);
  }

  std::vector<TDbTableInfo> ReadCatalog() override {
    TStringList names;
    FConn.GetTableNames(names);
    std::vector<TDbTableInfo> tables;
    for (const std::string& name : names.Lines())
      if (auto t = ReadTableInfo(name)) tables.push_back(std::move(*t));
    return tables;
  }
  bool TableExists(const std::string& name) override { return ReadTableInfo(name).has_value(); }

  std::optional<TDbTableInfo> ReadTableInfo(const std::string& name) override {
    TDbTableInfo info;
    info.Name = name;
    {
      TOdbcCatalog st(Dbc());
      std::string table = name;
      CheckOdbc(SQLColumns(st.H, nullptr, 0, nullptr, 0, Text(table), SQL_NTS, nullptr, 0),
                SQL_HANDLE_STMT, st.H, "Cannot read the columns of '" + name + "'");
      std::string text;
      while (SQL_SUCCEEDED(SQLFetch(st.H))) {
        TDbColumnInfo c;
        ReadData(st.H, 4, SQL_C_CHAR, c.Name);
        ReadData(st.H, 5, SQL_C_CHAR, text);
        c.DataType = SqlTypeToFieldType(static_cast<SQLSMALLINT>(StrToIntDef(text, 0)));
        ReadData(st.H, 7, SQL_C_CHAR, text);
        c.Size = c.DataType == ftString ? StrToIntDef(text, 0) : 0;
        if (c.Size >= 65536) c.Size = 0;
        ReadData(st.H, 11, SQL_C_CHAR, text);
        c.Required = text == "0";
        info.Columns.push_back(std::move(c));
      }
    }
    if (info.Columns.empty()) return std::nullopt;
    TOdbcCatalog st(Dbc());
    std::string table = name;
    if (SQL_SUCCEEDED(SQLPrimaryKeys(st.H, nullptr, 0, nullptr, 0, Text(table), SQL_NTS))) {
      std::string column;
      while (SQL_SUCCEEDED(SQLFetch(st.H))) {
        ReadData(st.H, 4, SQL_C_CHAR, column);
        for (auto& c : info.Columns)
          if (c.Name == column) c.PrimaryKey = true;
      }
    }
    return info;
  }

 private:
  struct TOdbcCatalog {
    SQLHSTMT H = SQL_NULL_HSTMT;
    explicit TOdbcCatalog(SQLHDBC dbc) {
      CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &H), SQL_HANDLE_DBC, dbc,
                "Cannot allocate a statement");
    }
    ~TOdbcCatalog() { SQLFreeHandle(SQL_HANDLE_STMT, H); }
  };
  static SQLCHAR* Text(std::string& s) { return reinterpret_cast<SQLCHAR*>(s.data()); }
  SQLHDBC Dbc() const { return static_cast<SQLHDBC>(FConn.Handle()); }
  void EndTransaction(SQLSMALLINT how) {
    if (!FInTransaction) throw EDatabaseError("No active transaction");
    FInTransaction = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, Dbc(), how);
    SQLSetConnectAttr(Dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
    CheckOdbc(rc, SQL_HANDLE_DBC, Dbc(), "Cannot end the transaction");
  }

  TADOConnection& FConn;
  std::string FDbms;
  bool FInTransaction = false;
};

}  // namespace

std::unique_ptr<TDbConnection> OdbcDbConnection(TADOConnection& connection) {
  return std::make_unique<TOdbcDbConnection>(connection);
}

TODBCDataSet::TODBCDataSet(std::string connectionString)
    : FOwnConnection(std::make_unique<TADOConnection>()), FADOConnection(FOwnConnection.get()) {
  FOwnConnection->ConnectionString = std::move(connectionString);
}

TODBCDataSet::TODBCDataSet(TADOConnection& connection) : FADOConnection(&connection) {}

TODBCDataSet::~TODBCDataSet() {
  Close();  // statements go before the connection
}

void TODBCDataSet::InternalOpen() {
  if (!FDbConnection) {
    try {
      FDbConnection = OdbcDbConnection(*FADOConnection);
    } catch (const EADOError& e) {
      throw EDatabaseError(e.Message());
    }
    SetConnection(FDbConnection.get());
  }
  TSQLDataSet::InternalOpen();
}

}  // namespace vela
