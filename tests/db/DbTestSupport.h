// A test fixture that runs each test against SQLite and against PostgreSQL, each time on an
// empty database: a fresh SQLite file, or a fresh PostgreSQL schema on the throwaway server
// that tests/db/pg_fixture.sh started (its URL is in the file VELA_PG_CONNINFO_FILE).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "host/db/ClientSQL.h"
#include "host/db/DbConnection.h"
#include "host/db/DbInterfaceTable.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"

namespace vela::test {

// The PostgreSQL server URL; empty with a reason in why when there is none.
inline std::string PostgresUrl(std::string& why) {
  if (const char* url = std::getenv("VELA_PG_URL"); url && *url) return url;
  std::string file;
  if (const char* f = std::getenv("VELA_PG_CONNINFO_FILE"); f && *f) file = f;
#ifdef VELA_PG_CONNINFO_FILE
  if (file.empty()) file = VELA_PG_CONNINFO_FILE;
#endif
  std::ifstream in(file);
  std::string url;
  if (!in || !std::getline(in, url) || url.empty()) {
    why = "no PostgreSQL conninfo in '" + file +
          "': run the tests through ctest (which starts the server), set VELA_PG_URL, or set "
          "VELA_NO_POSTGRES=1 to skip the PostgreSQL tests";
    return {};
  }
  return url;
}

// A field of a test table.
inline THostFieldDef F(std::string name, TFieldType ft, int size = 0, bool required = false,
                       std::string references = {}) {
  return {std::move(name), ft, size, required, std::move(references)};
}

using TFieldValues = std::vector<std::pair<std::string, Variant>>;

class DbTest : public ::testing::TestWithParam<TDbBackendKind> {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    std::string tag = "vt" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    FDir = std::filesystem::temp_directory_path() / ("vela_dbtest_" + tag);
    std::filesystem::create_directories(FDir);
    FSchemaFile = (FDir / "schema.ini").string();
    if (GetParam() == TDbBackendKind::SQLite) {
      FUrl = "sqlite:" + (FDir / "test.db").string();
    } else {
      if (const char* no = std::getenv("VELA_NO_POSTGRES"); no && std::string(no) == "1") {
        GTEST_SKIP() << "PostgreSQL tests SKIPPED because VELA_NO_POSTGRES=1";
      }
      std::string why;
      std::string server = PostgresUrl(why);
      ASSERT_FALSE(server.empty()) << why;
      FServerUrl = server;
      FPgSchema = tag;
      auto admin = OpenDbConnection(server);
      admin->ExecSQL("CREATE SCHEMA " + TDbConnection::QuoteIdent(FPgSchema));
      FUrl = server + (server.find('?') == std::string::npos ? "?" : "&") +
             "options=-csearch_path%3D" + FPgSchema;
    }
  }

  void TearDown() override {
    FDb.reset();
    if (!FPgSchema.empty()) {
      auto admin = OpenDbConnection(FServerUrl);
      admin->ExecSQL("DROP SCHEMA " + TDbConnection::QuoteIdent(FPgSchema) + " CASCADE");
    }
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
  }

  // Opens (once) the database with the host tables.
  TVelaDatabase& Db(bool hostTables = true) {
    if (!FDb) {
      TVelaDatabaseOptions o;
      o.SchemaFile = FSchemaFile;
      o.InitHostTables = hostTables;
      FDb = TVelaDatabase::Open(FUrl, o);
    }
    return *FDb;
  }
  void Reopen() {
    FDb.reset();
    Db();
  }

  // Creates a table with "id" and the fields, then refreshes the schema.
  void CreateTable(const THostTableDef& def) {
    {
      auto conn = Db().Connection();
      conn->ExecSQL(CreateTableSQL(*conn, def));
    }
    Db().RefreshSchema();
  }

  void WriteSchemaIni(const std::string& text) { std::ofstream(FSchemaFile) << text; }

  // Inserts a row through the SQL command object (of the test's database by default); returns
  // its id.
  int64_t InsertRow(const std::string& table, const TFieldValues& values,
                    TVelaDatabase* db = nullptr) {
    TClientSQL sql(db ? *db : Db());
    sql.SetSchemaName(table);
    for (const auto& [field, value] : values)
      sql.SetFieldValue(field, value);
    return sql.Execute();
  }
  // The ids of the rows that match the filters, in ascending order.
  std::vector<int64_t> RowIds(const std::string& table, const TFieldValues& filters = {}) {
    auto t = Db().GetTableInterface();
    t->Query(table, {"id"}, filters);
    std::vector<int64_t> ids;
    for (; !t->Eof(); t->Next())
      ids.push_back(t->Value(0).AsInt64());
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  // The value of a field of the row with that id.
  Variant RowValue(const std::string& table, const std::string& field, int64_t id) {
    auto t = Db().GetTableInterface();
    t->Query(table, {field}, {{"id", Variant(id)}});
    EXPECT_FALSE(t->Eof()) << "no row " << id << " in " << table;
    return t->Eof() ? Variant() : t->Value(0);
  }

  int64_t CountRows(const std::string& table) {
    auto conn = Db().Connection();
    auto st = conn->PrepareNew("SELECT COUNT(*) FROM " + TDbConnection::QuoteIdent(table));
    st->Execute();
    EXPECT_TRUE(st->Next());
    return st->ColumnInt64(0);
  }

  std::filesystem::path FDir;
  std::string FSchemaFile;
  std::string FUrl;
  std::string FServerUrl;
  std::string FPgSchema;
  std::unique_ptr<TVelaDatabase> FDb;
};

inline std::string BackendParamName(const ::testing::TestParamInfo<TDbBackendKind>& info) {
  return info.param == TDbBackendKind::SQLite ? "SQLite" : "PostgreSQL";
}

#define VELA_INSTANTIATE_DB_TEST(Suite)                                                      \
  INSTANTIATE_TEST_SUITE_P(                                                                  \
      Backends, Suite,                                                                       \
      ::testing::Values(::vela::TDbBackendKind::SQLite, ::vela::TDbBackendKind::PostgreSQL), \
      ::vela::test::BackendParamName)

}  // namespace vela::test
