#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "ImportEngine/_ADOImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"

namespace vela::test {
namespace {

// The ADO connection string of the throwaway server that the test run started (its URL is in
// the file VELA_PG_CONNINFO_FILE); empty when there is none.
std::string PostgresConnectionString() {
  const char* file = std::getenv("VELA_PG_CONNINFO_FILE");
  if (!file || !*file) return {};
  std::ifstream in(file);
  std::string url;
  if (!in || !std::getline(in, url)) return {};
  std::smatch m;
  static const std::regex re(R"(postgresql://([^@/]+)@([^:/]+):(\d+)/(\w+))");
  if (!std::regex_match(url, m, re)) return {};
  return "Provider=PostgreSQL;Data Source=" + m[2].str() + ";Port=" + m[3].str() +
         ";Initial Catalog=" + m[4].str() + ";User ID=" + m[1].str() + ";BoolsAsChar=0";
}

TEST(OdbcPostgres, EngineReadsTypedRowsThroughPsqlOdbc) {
  std::string conn = PostgresConnectionString();
  if (conn.empty()) GTEST_SKIP() << "no PostgreSQL server (run through ctest)";
  FormatSettingsGuard de(FormatSettingsFor("de"));
  const std::string table = "ems_items_" + std::to_string(::getpid());
  TADOConnection c;
  c.ConnectionString = conn;
  c.ExecSQL("DROP TABLE IF EXISTS " + table);
  c.ExecSQL("CREATE TABLE " + table +
            " (n integer, b bigint, f double precision, d date, t time, dt timestamp, "
            "ok boolean, amount numeric(10,2), s varchar(20))");
  c.ExecSQL("INSERT INTO " + table +
            " VALUES (5, 9000000000, 1.5, '2024-02-29', '13:45:30', '2024-02-29 13:45:30', "
            "true, 1234.50, 'M\xC3\xBCller')");
  c.ExecSQL("INSERT INTO " + table + " (n) VALUES (6)");
  TStringList tables;
  c.GetTableNames(tables);
  EXPECT_GE(tables.IndexOf(table), 0);
  c.Close();

  TADOImportEngine engine;
  TImportRecorder rec;
  rec.Processor.RegisterEngine(&engine);
  rec.Processor.SetEngineParameter(0, conn, 0, TStringList{});
  engine.SetSourceParameter("table", table);
  bool ok = rec.Processor.Execute(0, false);
  c.ExecSQL("DROP TABLE " + table);
  ASSERT_TRUE(ok) << (rec.Messages.empty() ? "" : rec.Messages[0].first);
  ASSERT_EQ(rec.Rows.size(), 2u);
  TRecordedRow expected = {
      {"n", "5", idtInteger},          {"b", "9000000000", idtInteger},
      {"f", "1,5", idtFloat},          {"d", "29.02.2024", idtDate},
      {"t", "13:45:30", idtTime},      {"dt", "29.02.2024 13:45:30", idtDateTime},
      {"ok", "True", idtText},         {"amount", "1234,50", idtText},
      {"s", "M\xC3\xBCller", idtText},
  };
  EXPECT_EQ(rec.Rows[0], expected);
  expected[0].Value = "6";
  for (size_t i = 1; i < expected.size(); ++i)
    expected[i].Value = "";  // NULLs are sent as empty text of the column's type
  EXPECT_EQ(rec.Rows[1], expected);
}

}  // namespace
}  // namespace vela::test
