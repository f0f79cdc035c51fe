#include "platform/ado/ADODB.h"

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "ImportEngine/QImport2.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

std::string OdbcDiagnostics(int16_t AHandleType, void* AHandle, std::string_view AWhat) {
  std::string msg(AWhat);
  SQLCHAR state[6];
  SQLCHAR text[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  for (SQLSMALLINT i = 1; i <= 3; ++i) {
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(AHandleType, AHandle, i, state, &native, text, sizeof text, &len)))
      break;
    msg += i == 1 ? ": " : "; ";
    msg += reinterpret_cast<const char*>(text);
  }
  return msg;
}

namespace {

struct TPair {
  std::string Key;
  std::string Value;
};

// Splits "a=b;c={d;e};f="g;h"" into its pairs; braces and double quotes protect separators.
std::vector<TPair> SplitConnectionString(std::string_view s) {
  std::vector<TPair> out;
  size_t i = 0;
  while (i < s.size()) {
    size_t eq = s.find('=', i);
    size_t semi = s.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      i = semi == std::string_view::npos ? s.size() : semi + 1;
      continue;
    }
    TPair p;
    p.Key = std::string(s.substr(i, eq - i));
    while (!p.Key.empty() && p.Key.front() == ' ')
      p.Key.erase(0, 1);
    while (!p.Key.empty() && p.Key.back() == ' ')
      p.Key.pop_back();
    size_t j = eq + 1;
    while (j < s.size() && s[j] == ' ')
      ++j;
    if (j < s.size() && (s[j] == '"' || s[j] == '\'' || s[j] == '{')) {
      char close = s[j] == '{' ? '}' : s[j];
      size_t end = s.find(close, j + 1);
      if (end == std::string_view::npos) end = s.size();
      p.Value = std::string(s.substr(j + 1, end - j - 1));
      j = end + 1;
      size_t next = s.find(';', j);
      i = next == std::string_view::npos ? s.size() : next + 1;
    } else {
      size_t end = s.find(';', j);
      if (end == std::string_view::npos) end = s.size();
      p.Value = std::string(s.substr(j, end - j));
      while (!p.Value.empty() && p.Value.back() == ' ')
        p.Value.pop_back();
      i = end + 1;
    }
    out.push_back(std::move(p));
  }
  return out;
}

bool StartsWithText(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

void Check(SQLRETURN rc, SQLSMALLINT Type, SQLHANDLE Handle, std::string_view What) {
  if (!SQL_SUCCEEDED(rc)) throw EADOError(OdbcDiagnostics(Type, Handle, What));
}

}  // namespace

std::string AdoToOdbcConnectionString(std::string_view ConnectionString) {
  std::vector<TPair> pairs = SplitConnectionString(ConnectionString);
  std::string provider;
  for (const TPair& p : pairs)
    if (SameText(p.Key, "Provider")) provider = p.Value;
  const bool sqlite = StartsWithText(provider, "SQLite");
  const bool postgres = StartsWithText(provider, "PostgreSQL") || StartsWithText(provider, "PGNP");
  if (!provider.empty() && !sqlite && !postgres && !StartsWithText(provider, "MSDASQL"))
    throw EADOError("Provider '" + provider + "' not supported");
  std::string out;
  auto add = [&](std::string_view key, std::string_view value) {
    if (!out.empty()) out += ';';
    out += key;
    out += '=';
    bool protect = value.find_first_of(";{}") != std::string_view::npos;
    if (protect) out += '{';
    out += value;
    if (protect) out += '}';
  };
  if (sqlite) add("Driver", "SQLite3");
  if (postgres) add("Driver", "PostgreSQL Unicode");
  for (const TPair& p : pairs) {
    const std::string& k = p.Key;
    if (SameText(k, "Provider") || SameText(k, "Persist Security Info")) continue;
    if (SameText(k, "Extended Properties")) {
      // MSDASQL: the ODBC connection string itself.
      if (!out.empty() && !p.Value.empty()) out += ';';
      out += p.Value;
      continue;
    }
    if (SameText(k, "User ID"))
      add("UID", p.Value);
    else if (SameText(k, "Password"))
      add("PWD", p.Value);
    else if (SameText(k, "Data Source"))
      add(sqlite ? "Database" : postgres ? "Server" : "DSN", p.Value);
    else if (SameText(k, "Initial Catalog") || SameText(k, "Location"))
      add("Database", p.Value);
    else
      add(k, p.Value);
  }
  return out;
}

// --- connection ----------------------------------------------------------------------------

struct TADOConnection::TImpl {
  SQLHENV Env = SQL_NULL_HENV;
  SQLHDBC Dbc = SQL_NULL_HDBC;
  bool Connected = false;
  std::string Quote;
};

TADOConnection::TADOConnection() : FImpl(std::make_unique<TImpl>()) {}

TADOConnection::~TADOConnection() {
  Close();
}

bool TADOConnection::Connected() const noexcept {
  return FImpl->Connected;
}

void* TADOConnection::Handle() const noexcept {
  return FImpl->Dbc;
}

namespace {

// The ODBC driver manager keeps the drivers it loaded and their state in its own globals for the
// life of the process. When the module that linked it is unloaded, the driver manager would go
// with it and leave its drivers loaded but unreachable; kept loaded, it is torn down with the
// process like any other library.
void PinDriverManager() {
  static const bool pinned = [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SQLAllocHandle), &info) && info.dli_fname)
      return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
    return false;
  }();
  (void)pinned;
}

}  // namespace

void TADOConnection::Open() {
  if (FImpl->Connected) return;
  if (ConnectionString.empty()) throw EADOError("No connection string");
  std::string odbc = AdoToOdbcConnectionString(ConnectionString);
  TImpl& d = *FImpl;
  if (d.Env == SQL_NULL_HENV) {
    PinDriverManager();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &d.Env)))
      throw EADOError("Cannot allocate the ODBC environment");
    SQLSetEnvAttr(d.Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  }
  if (d.Dbc == SQL_NULL_HDBC)
    Check(SQLAllocHandle(SQL_HANDLE_DBC, d.Env, &d.Dbc), SQL_HANDLE_ENV, d.Env,
          "Cannot allocate an ODBC connection");
  SQLCHAR outStr[1024];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnect(d.Dbc, nullptr, reinterpret_cast<SQLCHAR*>(odbc.data()),
                                  static_cast<SQLSMALLINT>(odbc.size()), outStr, sizeof outStr,
                                  &outLen, SQL_DRIVER_NOPROMPT);
  Check(rc, SQL_HANDLE_DBC, d.Dbc, "Cannot connect");
  d.Connected = true;
  char quote[8] = {};
  SQLSMALLINT qlen = 0;
  if (SQL_SUCCEEDED(SQLGetInfo(d.Dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &qlen)) &&
      quote[0] != ' ')
    d.Quote = quote;
  else
    d.Quote.clear();
}

void TADOConnection::Close() {
  TImpl& d = *FImpl;
  if (d.Connected) SQLDisconnect(d.Dbc);
  d.Connected = false;
  if (d.Dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, d.Dbc);
  d.Dbc = SQL_NULL_HDBC;
  if (d.Env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, d.Env);
  d.Env = SQL_NULL_HENV;
}

std::string TADOConnection::QuoteName(std::string_view Name) {
  const std::string& q = FImpl->Quote;
  if (q.empty()) return std::string(Name);
  std::string out = q;
  for (char c : Name) {
    out += c;
    if (q.size() == 1 && c == q[0]) out += c;
  }
  return out + q;
}

namespace {

struct TStmt {
  SQLHSTMT H = SQL_NULL_HSTMT;
  explicit TStmt(SQLHDBC Dbc) {
    Check(SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &H), SQL_HANDLE_DBC, Dbc,
          "Cannot allocate a statement");
  }
  ~TStmt() { SQLFreeHandle(SQL_HANDLE_STMT, H); }
};

// Text of a column of the current row (empty for NULL).
bool GetText(SQLHSTMT H, SQLUSMALLINT Col, std::string& Out) {
  Out.clear();
  char buf[4096];
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(H, Col, SQL_C_CHAR, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) return true;
    Check(rc, SQL_HANDLE_STMT, H, "Cannot read a value");
    if (ind == SQL_NULL_DATA) return false;
    size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))
                     ? sizeof buf - 1
                     : static_cast<size_t>(ind);
    Out.append(buf, got);
    if (rc == SQL_SUCCESS) return true;
  }
}

}  // namespace

void TADOConnection::GetTableNames(TStringList& List, bool SystemTables) {
  List.Clear();
  Open();
  TStmt st(FImpl->Dbc);
  std::string types = SystemTables ? "TABLE,VIEW,SYSTEM TABLE" : "TABLE,VIEW";
  Check(SQLTables(st.H, nullptr, 0, nullptr, 0, nullptr, 0,
                  reinterpret_cast<SQLCHAR*>(types.data()), SQL_NTS),
        SQL_HANDLE_STMT, st.H, "Cannot list the tables");
  std::string name, type;
  while (SQL_SUCCEEDED(SQLFetch(st.H))) {
    GetText(st.H, 3, name);
    GetText(st.H, 4, type);
    if (!SystemTables && (StartsWithText(name, "sqlite_") || SameText(type, "SYSTEM TABLE")))
      continue;
    List.Add(name);
  }
}

void TADOConnection::ExecSQL(std::string_view SQL) {
  Open();
  TStmt st(FImpl->Dbc);
  std::string sql(SQL);
  SQLRETURN rc = SQLExecDirect(st.H, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
  if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, st.H, "Cannot execute '" + sql + "'");
}

void TADOConnection::GetFieldNames(std::string_view TableName, TStringList& List) {
  List.Clear();
  if (TableName.empty()) throw EADOError("No table name given");
  Open();
  TStmt st(FImpl->Dbc);
  std::string sql = "SELECT * FROM " + QuoteName(TableName) + " WHERE 1=0";
  Check(SQLExecDirect(st.H, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, st.H,
        "Cannot read the fields of '" + std::string(TableName) + "'");
  SQLSMALLINT cols = 0;
  SQLNumResultCols(st.H, &cols);
  for (SQLSMALLINT c = 1; c <= cols; ++c) {
    SQLCHAR name[256];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(st.H, static_cast<SQLUSMALLINT>(c), name, sizeof name, &len, &type, &size,
                   &digits, &nullable);
    List.Add(reinterpret_cast<const char*>(name));
  }
}

// --- table reader --------------------------------------------------------------------------

TADOTable::TADOTable() = default;

TADOTable::~TADOTable() {
  Close();
}

bool TADOTable::Active() const noexcept {
  return FStmt != nullptr;
}

void TADOTable::Close() {
  if (FStmt) SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(FStmt));
  FStmt = nullptr;
  FEof = true;
  FFields.clear();
  FSqlTypes.clear();
}

void TADOTable::Open() {
  Close();
  if (!Connection) throw EADOError("No connection");
  if (CommandText.empty()) throw EADOError("No table name given");
  Connection->Open();
  SQLHDBC dbc = static_cast<SQLHDBC>(Connection->Handle());
  SQLHSTMT h = SQL_NULL_HSTMT;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_HANDLE_DBC, dbc,
        "Cannot allocate a statement");
  FStmt = h;
  std::string sql = "SELECT * FROM " + Connection->QuoteName(CommandText);
  Check(SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, h,
        "Cannot open table '" + CommandText + "'");
  SQLSMALLINT cols = 0;
  SQLNumResultCols(h, &cols);
  FFields.resize(static_cast<size_t>(cols));
  FSqlTypes.resize(static_cast<size_t>(cols));
  for (SQLSMALLINT c = 1; c <= cols; ++c) {
    SQLCHAR name[256];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(h, static_cast<SQLUSMALLINT>(c), name, sizeof name, &len, &type, &size, &digits,
                   &nullable);
    TADOField& f = FFields[static_cast<size_t>(c - 1)];
    f.FieldName = reinterpret_cast<const char*>(name);
    FSqlTypes[static_cast<size_t>(c - 1)] = type;
    switch (type) {
      case SQL_SMALLINT:
      case SQL_TINYINT:
        f.DataType = aftSmallint;
        break;
      case SQL_INTEGER:
        f.DataType = aftInteger;
        break;
      case SQL_BIGINT:
        f.DataType = aftLargeint;
        break;
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
        f.DataType = aftFloat;
        break;
      case SQL_DECIMAL:
      case SQL_NUMERIC:
        f.DataType = aftBCD;
        break;
      case SQL_BIT:
        f.DataType = aftBoolean;
        break;
      case SQL_TYPE_DATE:
      case SQL_DATE:
        f.DataType = aftDate;
        break;
      case SQL_TYPE_TIME:
      case SQL_TIME:
        f.DataType = aftTime;
        break;
      case SQL_TYPE_TIMESTAMP:
      case SQL_TIMESTAMP:
        f.DataType = aftDateTime;
        break;
      case SQL_LONGVARCHAR:
      case SQL_WLONGVARCHAR:
        f.DataType = aftMemo;
        break;
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        f.DataType = aftBlob;
        break;
      case SQL_CHAR:
      case SQL_VARCHAR:
      case SQL_WCHAR:
      case SQL_WVARCHAR:
        f.DataType = aftString;
        break;
      default:
        f.DataType = aftUnknown;
        break;
    }
  }
  Fetch();
}

void TADOTable::Next() {
  if (FStmt && !FEof) Fetch();
}

void TADOTable::Fetch() {
  SQLHSTMT h = static_cast<SQLHSTMT>(FStmt);
  SQLRETURN rc = SQLFetch(h);
  if (rc == SQL_NO_DATA) {
    FEof = true;
    return;
  }
  Check(rc, SQL_HANDLE_STMT, h, "Cannot read table '" + CommandText + "'");
  FEof = false;
  for (size_t i = 0; i < FFields.size(); ++i) {
    TADOField& f = FFields[i];
    const SQLUSMALLINT col = static_cast<SQLUSMALLINT>(i + 1);
    SQLLEN ind = 0;
    f.AsString.clear();
    switch (f.DataType) {
      case aftSmallint:
      case aftInteger:
      case aftLargeint: {
        SQLBIGINT v = 0;
        Check(SQLGetData(h, col, SQL_C_SBIGINT, &v, sizeof v, &ind), SQL_HANDLE_STMT, h,
              "Cannot read '" + f.FieldName + "'");
        f.IsNull = ind == SQL_NULL_DATA;
        if (!f.IsNull) f.AsString = std::to_string(v);
        break;
      }
      case aftFloat: {
        double v = 0;
        Check(SQLGetData(h, col, SQL_C_DOUBLE, &v, sizeof v, &ind), SQL_HANDLE_STMT, h,
              "Cannot read '" + f.FieldName + "'");
        f.IsNull = ind == SQL_NULL_DATA;
        if (!f.IsNull) f.AsString = RenderFloat(v);
        break;
      }
      case aftDate:
      case aftTime:
      case aftDateTime: {
        SQL_TIMESTAMP_STRUCT ts{};
        Check(SQLGetData(h, col, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind), SQL_HANDLE_STMT, h,
              "Cannot read '" + f.FieldName + "'");
        f.IsNull = ind == SQL_NULL_DATA;
        if (f.IsNull) break;
        TDateTime d = 0, t = 0;
        if (f.DataType != aftTime) TryEncodeDate(ts.year, ts.month, ts.day, d);
        TryEncodeTime(ts.hour, ts.minute, ts.second, static_cast<int>(ts.fraction / 1000000), t);
        f.AsString = f.DataType == aftDate   ? RenderDate(d)
                     : f.DataType == aftTime ? RenderTime(t)
                                             : RenderDateTime(d + t);
        break;
      }
      case aftBoolean: {
        f.IsNull = !GetText(h, col, FBuffer);
        if (!f.IsNull)
          f.AsString = RenderBoolean(!(FBuffer == "0" || FBuffer.empty() ||
                                       SameText(FBuffer, "false") || SameText(FBuffer, "f")));
        break;
      }
      case aftBCD:
        f.IsNull = !GetText(h, col, FBuffer);
        if (!f.IsNull) f.AsString = RenderNumberText(FBuffer);
        break;
      default:
        f.IsNull = !GetText(h, col, f.AsString);
        break;
    }
  }
}

}  // namespace vela
