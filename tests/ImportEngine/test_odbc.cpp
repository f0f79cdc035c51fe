#include <gtest/gtest.h>

#include "ImportEngine/test_qimport_recorder.h"
#include "platform/ado/ADODB.h"

namespace vela::test {
namespace {

TEST(AdoToOdbc, ConnectionStringMapping) {
  const std::pair<const char*, const char*> cases[] = {
      {"Provider=MSDASQL.1;DSN=sales;UID=me", "DSN=sales;UID=me"},
      {"Provider=MSDASQL;Data Source=sales;User ID=me;Password=pw;Persist Security Info=False",
       "DSN=sales;UID=me;PWD=pw"},
      {"Provider=MSDASQL;Extended Properties=\"Driver=SQLite3;Database=/d/a.db\"",
       "Driver=SQLite3;Database=/d/a.db"},
      {"Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=localhost;Port=5432",
       "Driver=PostgreSQL Unicode;Server=localhost;Port=5432"},
      {"Provider=SQLite;Data Source=/data/x.db", "Driver=SQLite3;Database=/data/x.db"},
      {"Provider=PostgreSQL;Data Source=db.local;Port=5433;Initial Catalog=crm;User ID=u;"
       "Password=a;b",
       "Driver=PostgreSQL Unicode;Server=db.local;Port=5433;Database=crm;UID=u;PWD=a"},
      {"Provider=PostgreSQL;Password={se;cret}", "Driver=PostgreSQL Unicode;PWD={se;cret}"},
  };
  for (auto [ado, odbc] : cases)
    EXPECT_EQ(AdoToOdbcConnectionString(ado), odbc) << ado;
  EXPECT_THROW(AdoToOdbcConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb"),
               EADOError);
}

// A SQLite database through the SQLite3 ODBC driver.
struct OdbcSQLite : ::testing::Test {
  TTempDir Dir{"odbc_sqlite"};
  TADOConnection Conn;
  OdbcSQLite() {
    Conn.ConnectionString = "Provider=SQLite;Data Source=" + Dir.File("t.db");
    Conn.ExecSQL(
        "CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(40), rate DOUBLE, "
        "born DATE, alarm TIME, seen TIMESTAMP, ok BOOLEAN, note TEXT)");
    Conn.ExecSQL(
        "INSERT INTO people VALUES (5, 'M\xC3\xBCller', 1.5, '2024-02-29', '13:45:30', "
        "'2024-02-29 13:45:30', 1, 'n')");
    Conn.ExecSQL("INSERT INTO people (id) VALUES (6)");
    Conn.ExecSQL("CREATE TABLE \"odd name\" (x INTEGER)");
    Conn.Close();
  }
};

TEST_F(OdbcSQLite, ListsTablesAndFields) {
  TStringList tables, fields;
  Conn.GetTableNames(tables);
  EXPECT_EQ(tables.Lines(), (std::vector<std::string>{"people", "odd name"}));
  Conn.GetFieldNames("people", fields);
  EXPECT_EQ(fields.Lines(), (std::vector<std::string>{"id", "name", "rate", "born", "alarm", "seen",
                                                      "ok", "note"}));
  Conn.GetFieldNames("odd name", fields);
  EXPECT_EQ(fields.Lines(), (std::vector<std::string>{"x"}));
  EXPECT_THROW(Conn.GetFieldNames("missing", fields), EADOError);
}

TEST(Odbc, ConnectFailuresRaise) {
  TADOConnection conn;
  EXPECT_THROW(conn.Open(), EADOError);  // no connection string
  conn.ConnectionString = "Provider=MSDASQL;Driver=NoSuchDriver;Database=x";
  EXPECT_THROW(conn.Open(), EADOError);
  EXPECT_FALSE(conn.Connected());
}

}  // namespace
}  // namespace vela::test
