#include <gtest/gtest.h>

#include "TestData.h"
#include "platform/ado/ODBCDataSet.h"
#include "rtl/DateUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela::test {
namespace {

// A SQLite database through the SQLite3 ODBC driver.
struct OdbcDataSet : ::testing::Test {
  TTempDir Dir{"odbc_dataset"};
  std::string Conn = "Provider=SQLite;Data Source=" + Dir.File("t.db");
  OdbcDataSet() {
    TADOConnection conn;
    conn.ConnectionString = Conn;
    conn.ExecSQL(
        "CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(40), rate DOUBLE, "
        "seen TIMESTAMP, data BLOB)");
    conn.ExecSQL(
        "INSERT INTO people VALUES (5, 'M\xC3\xBCller', 1.5, '2024-02-29 13:45:30', x'00ff')");
    conn.ExecSQL("INSERT INTO people (id, name) VALUES (6, 'Meier')");
  }
  std::vector<std::string> Names(const std::string& sql) {
    TODBCDataSet ds(Conn);
    ds.SetSQL(sql);
    ds.Open();
    std::vector<std::string> out;
    for (; !ds.Eof(); ds.Next())
      out.push_back(ds.Fields(0).AsString());
    return out;
  }
};

TEST_F(OdbcDataSet, TableIsReadAndEditedByKey) {
  TODBCDataSet ds(Conn);
  ds.SetTableName("people");
  ds.Open();
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.FieldByName("name").Size(), 40);
  EXPECT_EQ(ds.FieldByName("name").AsString(), "M\xC3\xBCller");
  EXPECT_DOUBLE_EQ(ds.FieldByName("rate").AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(ds.FieldByName("seen").AsDateTime(), EncodeDateTime(2024, 2, 29, 13, 45, 30, 0));
  EXPECT_EQ(ds.FieldByName("data").AsBytes(), (Variant::Bytes{0, 0xFF}));
  ds.Next();
  EXPECT_TRUE(ds.FieldByName("rate").IsNull());

  ds.Edit();
  ds.FieldByName("rate").SetAsString("2.25");
  ds.Post();
  ds.Append();
  ds.FieldByName("name").SetAsString("Schmidt");
  ds.FieldByName("seen").SetAsDateTime(EncodeDate(2000, 1, 2));
  ds.Post();
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 7);  // numbered by the data source, read back
  ASSERT_TRUE(ds.Locate("name", {"m\xC3\xBCLLER"}, loCaseInsensitive));
  ds.Delete();
  EXPECT_EQ(Names("SELECT name || '/' || COALESCE(rate, '') || '/' || COALESCE(seen, '') FROM "
                  "people ORDER BY id"),
            (std::vector<std::string>{"Meier/2.25/", "Schmidt//2000-01-02 00:00:00"}));
}

TEST_F(OdbcDataSet, QueryParametersAndErrors) {
  TODBCDataSet ds(Conn);
  ds.SetSQL("SELECT name FROM people WHERE id >= :min AND name <> :skip");
  ds.Params().ParamByName("min").SetValue(Variant(6));
  ds.Params().ParamByName("skip").SetValue(Variant("x"));
  ds.Open();
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.Fields(0).AsString(), "Meier");
  EXPECT_EQ(RaisedText([&] { ds.Edit(); }), "EDatabaseError: Cannot modify a read-only dataset");
  TODBCDataSet bad("Provider=MSDASQL;Driver=NoSuchDriver;Database=x");
  bad.SetTableName("people");
  EXPECT_EQ(RaisedText([&] { bad.Open(); }).rfind("EDatabaseError: Cannot connect", 0), 0u);
}

}  // namespace
}  // namespace vela::test
