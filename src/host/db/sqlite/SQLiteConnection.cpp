#include "host/db/sqlite/SQLiteConnection.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>

namespace vela {

namespace {

constexpr int kBusyTimeoutMs = 10000;

[[noreturn]] void RaiseSQLite(sqlite3* db, std::string_view context) {
  std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
  if (!context.empty()) msg += " (" + std::string(context) + ")";
  throw EDatabaseError(msg);
}

class TSQLiteStatement final : public TDbStatement {
 public:
  TSQLiteStatement(sqlite3* db, const std::string& sql) : FDb(db) {
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &FStmt, nullptr) != SQLITE_OK)
      RaiseSQLite(db, sql);
  }
  ~TSQLiteStatement() override { sqlite3_finalize(FStmt); }

  void BindNull(int i) override { Check(sqlite3_bind_null(FStmt, Own(i))); }
  void BindInt64(int i, int64_t v) override { Check(sqlite3_bind_int64(FStmt, Own(i), v)); }
  void BindDouble(int i, double v) override { Check(sqlite3_bind_double(FStmt, Own(i), v)); }
  void BindBool(int i, bool v) override { Check(sqlite3_bind_int(FStmt, Own(i), v ? 1 : 0)); }
  void BindText(int i, std::string_view v) override {
    Check(sqlite3_bind_text64(FStmt, Own(i), v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
  }
  void BindTextRef(int i, std::string_view v) override {
    if (i < 1 || i > kMaxBorrowed) return BindText(i, v);
    Check(sqlite3_bind_text64(FStmt, i, v.data(), v.size(), SQLITE_STATIC, SQLITE_UTF8));
    FBorrowed |= uint64_t{1} << (i - 1);
  }
  void BindBlob(int i, const void* data, size_t size) override {
    Check(sqlite3_bind_blob64(FStmt, Own(i), size ? data : "", size, SQLITE_TRANSIENT));
  }
  void ClearBindings() override {
    FBorrowed = 0;
    sqlite3_clear_bindings(FStmt);
  }

  void Execute() override {
    if (FRan) sqlite3_reset(FStmt);
    FRan = true;
    FPending = Step();
    FChanges = sqlite3_changes64(FDb);
  }
  bool Next() override {
    if (FPending) {
      FPending = false;
      FOnRow = true;
      return true;
    }
    if (!FOnRow) return false;
    FOnRow = Step();
    return FOnRow;
  }
  int64_t RowsAffected() override { return FChanges; }
  void Reset() override {
    FPending = FOnRow = FRan = false;
    sqlite3_reset(FStmt);
    // A borrowed text may go away after the run: it must not stay bound.
    for (; FBorrowed; FBorrowed &= FBorrowed - 1)
      sqlite3_bind_null(FStmt, std::countr_zero(FBorrowed) + 1);
  }

  int ColumnCount() override { return sqlite3_column_count(FStmt); }
  std::string ColumnName(int c) override { return sqlite3_column_name(FStmt, c); }
  bool ColumnIsNull(int c) override { return sqlite3_column_type(FStmt, c) == SQLITE_NULL; }
  std::string_view ColumnText(int c) override {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, c));
    return p ? std::string_view(p, sqlite3_column_bytes(FStmt, c)) : std::string_view();
  }
  int64_t ColumnInt64(int c) override { return sqlite3_column_int64(FStmt, c); }
  double ColumnDouble(int c) override { return sqlite3_column_double(FStmt, c); }
  bool ColumnBool(int c) override {
    if (sqlite3_column_type(FStmt, c) == SQLITE_TEXT) {
      auto t = ColumnText(c);
      return !(t.empty() || t == "0" || t == "f" || t == "false" || t == "F" || t == "False");
    }
    return sqlite3_column_int64(FStmt, c) != 0;
  }
  std::string ColumnBlob(int c) override {
    auto* p = static_cast<const char*>(sqlite3_column_blob(FStmt, c));
    return p ? std::string(p, sqlite3_column_bytes(FStmt, c)) : std::string();
  }
  TFieldType ColumnFieldType(int c, int& size) override {
    size = 0;
    if (const char* decl = sqlite3_column_decltype(FStmt, c))
      return SQLiteDeclTypeToFieldType(decl, size);
    // An expression: the storage class of the current value.
    switch (FOnRow || FPending ? sqlite3_column_type(FStmt, c) : SQLITE_NULL) {
      case SQLITE_INTEGER:
        return ftLargeint;
      case SQLITE_FLOAT:
        return ftFloat;
      case SQLITE_BLOB:
        return ftBlob;
      default:
        return ftString;
    }
  }

 private:
  // True when a row is available.
  bool Step() {
    int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    std::string msg = sqlite3_errmsg(FDb);
    sqlite3_reset(FStmt);
    throw EDatabaseError(msg);
  }
  void Check(int rc) {
    if (rc != SQLITE_OK) RaiseSQLite(FDb, "bind");
  }
  // A parameter bound with a copy is no longer borrowed.
  int Own(int i) {
    if (i >= 1 && i <= kMaxBorrowed) FBorrowed &= ~(uint64_t{1} << (i - 1));
    return i;
  }

  static constexpr int kMaxBorrowed = 64;

  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
  bool FPending = false;  // Execute stepped onto a row that Next has not reported yet
  bool FOnRow = false;
  bool FRan = false;  // stepped since the last reset
  int64_t FChanges = 0;
  uint64_t FBorrowed = 0;  // bit i-1: parameter i holds a borrowed text (BindTextRef)
};

class TSQLiteConnection final : public TDbConnection {
 public:
  explicit TSQLiteConnection(const std::string& path) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &FDb, flags, nullptr) != SQLITE_OK) {
      std::string msg = FDb ? sqlite3_errmsg(FDb) : "out of memory";
      sqlite3_close_v2(FDb);
      FDb = nullptr;
      throw EDatabaseError("Cannot open database '" + path + "': " + msg);
    }
    sqlite3_busy_timeout(FDb, kBusyTimeoutMs);
    sqlite3_extended_result_codes(FDb, 1);
    // WAL lets readers work beside one writer; NORMAL sync is safe with WAL (no corruption, the
    // last transactions may be lost at power failure only).
    ExecSQL("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
  }
  ~TSQLiteConnection() override {
    ClearStatementCache();
    sqlite3_close_v2(FDb);
  }

  TDbBackendKind Kind() const override { return TDbBackendKind::SQLite; }

  std::unique_ptr<TDbStatement> PrepareNew(const std::string& sql) override {
    return std::make_unique<TSQLiteStatement>(FDb, sql);
  }
  void ExecSQL(const std::string& sql) override {
    char* err = nullptr;
    if (sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errmsg(FDb);
      sqlite3_free(err);
      throw EDatabaseError(msg);
    }
  }

  void StartTransaction() override {
    if (InTransaction()) throw EDatabaseError("A transaction is already active");
    // IMMEDIATE takes the write lock at once, so that two writers wait on the busy timeout
    // instead of failing with a deadlock on lock upgrade.
    ExecSQL("BEGIN IMMEDIATE");
  }
  void Commit() override {
    if (!InTransaction()) throw EDatabaseError("No active transaction to commit");
    ExecSQL("COMMIT");
  }
  void Rollback() override {
    if (!InTransaction()) throw EDatabaseError("No active transaction to roll back");
    ExecSQL("ROLLBACK");
  }
  bool InTransaction() const override { return sqlite3_get_autocommit(FDb) == 0; }
  std::optional<int64_t> DataVersion() override {
    auto& st = Prepare("PRAGMA data_version");
    TStatementRun run(st);
    st.Execute();
    return st.Next() ? st.ColumnInt64(0) : 0;
  }
  void Savepoint(const std::string& name) override { ExecSQL("SAVEPOINT " + QuoteIdent(name)); }
  void RollbackToSavepoint(const std::string& name) override {
    ExecSQL("ROLLBACK TO SAVEPOINT " + QuoteIdent(name));
  }
  void ReleaseSavepoint(const std::string& name) override {
    ExecSQL("RELEASE SAVEPOINT " + QuoteIdent(name));
  }

  std::string Placeholder(int n) const override { return "?" + std::to_string(n); }
  std::string ColumnTypeSQL(TFieldType ft, int size) const override {
    return StandardColumnTypeSQL(ft, size, "BLOB");
  }
  std::string IdColumnSQL() const override { return "\"id\" INTEGER PRIMARY KEY"; }
  bool UsesReturning() const override { return false; }
  int64_t LastInsertId() override { return sqlite3_last_insert_rowid(FDb); }

  std::vector<TDbTableInfo> ReadCatalog() override {
    std::vector<TDbTableInfo> tables;
    auto list = PrepareNew(
        "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\' ORDER BY name");
    list->Execute();
    while (list->Next())
      tables.push_back({std::string(list->ColumnText(0)), {}});
    list->Reset();
    auto cols =
        PrepareNew("SELECT name, type, \"notnull\", pk FROM pragma_table_info(?1) ORDER BY cid");
    for (auto& t : tables) {
      cols->BindText(1, t.Name);
      cols->Execute();
      while (cols->Next()) {
        TDbColumnInfo c;
        c.Name = cols->ColumnText(0);
        c.DataType = SQLiteDeclTypeToFieldType(cols->ColumnText(1), c.Size);
        c.Required = cols->ColumnInt64(2) != 0;
        c.PrimaryKey = cols->ColumnInt64(3) != 0;
        // An INTEGER PRIMARY KEY is the 64-bit rowid.
        if (c.PrimaryKey && c.DataType == ftInteger) c.DataType = ftLargeint;
        if (c.PrimaryKey) c.Required = true;
        t.Columns.push_back(std::move(c));
      }
      cols->Reset();
    }
    return tables;
  }
  bool TableExists(const std::string& name) override {
    auto st = PrepareNew("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1");
    st->BindText(1, name);
    st->Execute();
    bool found = st->Next();
    st->Reset();
    return found;
  }

 private:
  sqlite3* FDb = nullptr;
};

bool Contains(const std::string& upper, const char* word) {
  return upper.find(word) != std::string::npos;
}

}  // namespace

TFieldType SQLiteDeclTypeToFieldType(std::string_view declType, int& size) {
  size = 0;
  std::string t(declType);
  std::transform(t.begin(), t.end(), t.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  auto open = t.find('(');
  if (open != std::string::npos) {
    int n = 0;
    auto first = t.data() + open + 1;
    if (std::from_chars(first, t.data() + t.size(), n).ec == std::errc()) size = n;
    t.resize(open);
  }
  while (!t.empty() && t.back() == ' ')
    t.pop_back();
  // Exact names first (what this system writes), then SQLite's affinity rules.
  if (t == "BIGINT" || t == "INT8") return ftLargeint;
  if (t == "SMALLINT" || t == "INT2") return ftSmallint;
  if (t == "BOOLEAN" || t == "BOOL") return ftBoolean;
  if (t == "DATE") return ftDate;
  if (t == "TIME") return ftTime;
  if (t == "TIMESTAMP" || t == "DATETIME") return ftDateTime;
  if (t == "TEXT" || t == "CLOB") {
    size = 0;
    return ftMemo;
  }
  if (Contains(t, "INT")) {
    size = 0;
    return ftInteger;
  }
  if (Contains(t, "CHAR") || Contains(t, "CLOB") || Contains(t, "TEXT")) return ftString;
  size = 0;
  if (t.empty() || Contains(t, "BLOB") || Contains(t, "BINARY")) return ftBlob;
  if (Contains(t, "REAL") || Contains(t, "FLOA") || Contains(t, "DOUB") || Contains(t, "NUMERIC") ||
      Contains(t, "DECIMAL"))
    return ftFloat;
  return ftString;
}

std::unique_ptr<TDbConnection> OpenSQLiteConnection(const std::string& path) {
  return std::make_unique<TSQLiteConnection>(path);
}

}  // namespace vela
