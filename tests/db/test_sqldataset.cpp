#include <string>
#include <vector>

#include "db/DbTestSupport.h"
#include "host/db/SQLDataSet.h"
#include "rtl/DateUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela::test {
namespace {

class SQLDataSetTest : public DbTest {
 protected:
  void CreateAllTypes() {
    CreateTable({"t",
                 {F("name", ftString, 40), F("n", ftInteger), F("big", ftLargeint),
                  F("rate", ftFloat), F("seen", ftDateTime), F("day", ftDate), F("data", ftBlob),
                  F("ok", ftBoolean), F("note", ftMemo)}});
  }
  // Inserts rows (name, n) into t.
  void Fill(const std::vector<std::pair<std::string, int>>& rows) {
    for (const auto& [name, n] : rows)
      InsertRow("t", {{"name", Variant(name)}, {"n", Variant(n)}});
  }
  // The values of one field over all records of an open dataset.
  static std::vector<std::string> Column(TDataSet& ds, const char* field) {
    std::vector<std::string> out;
    for (ds.First(); !ds.Eof(); ds.Next())
      out.push_back(ds.FieldByName(field).AsString());
    return out;
  }
};

TEST_P(SQLDataSetTest, TableRoundTripOfEveryType) {
  CreateAllTypes();
  const TDateTime seen = EncodeDateTime(2024, 2, 29, 13, 45, 30, 250);
  const Variant::Bytes bytes{0, 1, 0xFF, 'x'};
  TSQLDataSet ds(Db());
  ds.SetTableName("t");
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.FieldByName("big").DataType(), ftLargeint);
  ds.Append();
  ds.FieldByName("name").SetAsString("Müller");
  ds.FieldByName("n").SetAsInteger(-7);
  ds.FieldByName("big").SetAsLargeInt(int64_t{1} << 40);
  ds.FieldByName("rate").SetAsFloat(0.1);
  ds.FieldByName("seen").SetAsDateTime(seen);
  ds.FieldByName("day").SetAsString("2001-12-31");
  ds.FieldByName("data").SetAsBytes(bytes);
  ds.FieldByName("ok").SetAsBoolean(true);
  ds.FieldByName("note").SetAsString(std::string(5000, 'n'));
  ds.Post();
  const int64_t id = ds.FieldByName("id").AsLargeInt();
  EXPECT_GT(id, 0);  // numbered by the database and read back
  ds.Append();       // all NULL
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.RecNo(), 2);
  ds.Close();

  ds.Open();
  ASSERT_TRUE(ds.Locate("id", {Variant(id)}));
  EXPECT_EQ(ds.FieldByName("name").AsString(), "Müller");
  EXPECT_EQ(ds.FieldByName("n").AsInteger(), -7);
  EXPECT_EQ(ds.FieldByName("big").AsLargeInt(), int64_t{1} << 40);
  EXPECT_DOUBLE_EQ(ds.FieldByName("rate").AsFloat(), 0.1);
  EXPECT_NEAR(ds.FieldByName("seen").AsDateTime(), seen, 1e-8);
  EXPECT_DOUBLE_EQ(ds.FieldByName("day").AsDateTime(), EncodeDate(2001, 12, 31));
  EXPECT_EQ(ds.FieldByName("data").AsBytes(), bytes);
  EXPECT_TRUE(ds.FieldByName("ok").AsBoolean());
  EXPECT_EQ(ds.FieldByName("note").AsString().size(), 5000u);
  ds.Next();
  for (const char* f : {"name", "n", "big", "rate", "seen", "day", "data", "ok", "note"})
    EXPECT_TRUE(ds.FieldByName(f).IsNull()) << f;

  // Edit by primary key, then delete.
  ds.First();
  ds.Edit();
  ds.FieldByName("name").SetAsString("Meier");
  ds.FieldByName("data").Clear();
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(RowValue("t", "name", id).AsString(), "Meier");
  EXPECT_TRUE(RowValue("t", "data", id).IsNull());
  ds.Next();
  ds.Delete();
  EXPECT_EQ(RowIds("t"), std::vector<int64_t>{id});
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("name").AsString(), "Meier");  // the remaining last record
}

TEST_P(SQLDataSetTest, QueryWithParametersStreamsAndCounts) {
  CreateAllTypes();
  Fill({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}});
  TSQLDataSet ds(Db());
  ds.SetSQL("SELECT name, n, n * 2 AS twice FROM t WHERE n >= :min AND name <> ':min' ORDER BY n");
  ASSERT_EQ(ds.Params().Count(), 1);
  ds.Params().ParamByName("min").SetValue(Variant(3));
  ds.Open();
  EXPECT_FALSE(ds.CanModify());
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(Column(ds, "name"), (std::vector<std::string>{"c", "d", "e"}));
  EXPECT_TRUE(IsIntegerFieldType(ds.FieldByName("twice").DataType()));
  ds.Prior();  // runs the query again and reads forward
  EXPECT_EQ(ds.FieldByName("twice").AsInteger(), 8);
  ds.Last();
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_TRUE(ds.Locate("NAME", {"D"}, loCaseInsensitive));
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(RaisedText([&] { ds.Edit(); }), "EDatabaseError: Cannot modify a read-only dataset");
  ds.Close();
  ds.Params().ParamByName("min").SetValue(Variant("5"));
  ds.SetSQL(ds.SQL());  // keeps the parameter's value
  ds.Open();
  EXPECT_EQ(Column(ds, "name"), std::vector<std::string>{"e"});
}

TEST_P(SQLDataSetTest, ALargeResultIsReadWholeWhileOtherStatementsRun) {
  CreateTable({"big", {F("n", ftInteger), F("label", ftString, 20)}});
  const int rows = 2345;  // several chunks of a reader that fetches in chunks, the last one short
  Db().Connection()->ExecSQL(
      "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < " +
      std::to_string(rows) + ") INSERT INTO big (n, label) SELECT i, 'row ' || i FROM s");
  TSQLDataSet ds(Db());
  ds.SetSQL("SELECT n, label FROM big WHERE n > :from ORDER BY n");
  ds.Params().ParamByName("from").SetValue(Variant(0));
  ds.Open();
  int expected = 1;
  for (ds.First(); !ds.Eof(); ds.Next(), ++expected) {
    ASSERT_EQ(ds.Fields(0).AsInteger(), expected);
    ASSERT_EQ(ds.Fields(1).AsString(), "row " + std::to_string(expected));
    // The connection serves other statements in the middle of the read.
    if (expected == 777) {
      EXPECT_EQ(ds.RecordCount(), rows);
    }
  }
  EXPECT_EQ(expected, rows + 1);
  // Read again from the start, and left in the middle before another run.
  ds.First();
  ds.MoveBy(1500);
  EXPECT_EQ(ds.Fields(0).AsInteger(), 1501);
  ds.Close();
  ds.Params().ParamByName("from").SetValue(Variant(rows - 3));
  ds.Open();
  EXPECT_EQ(Column(ds, "n"), (std::vector<std::string>{"2343", "2344", "2345"}));
}

TEST_P(SQLDataSetTest, DetailParametersFollowTheMaster) {
  CreateTable({"m", {F("name", ftString, 20)}});
  CreateTable({"d", {F("m_id", ftLargeint), F("item", ftString, 20)}});
  int64_t a = InsertRow("m", {{"name", Variant("A")}});
  int64_t b = InsertRow("m", {{"name", Variant("B")}});
  InsertRow("m", {{"name", Variant("C")}});
  for (auto [m, item] : {std::pair{a, "a1"}, {a, "a2"}, {b, "b1"}})
    InsertRow("d", {{"m_id", Variant(m)}, {"item", Variant(item)}});
  TSQLDataSet master(Db()), detail(Db());
  master.SetSQL("SELECT id AS m_id, name FROM m ORDER BY name");
  detail.SetSQL("SELECT item FROM d WHERE m_id = :M_ID ORDER BY item");
  detail.SetMaster(&master);
  master.Open();
  detail.Open();
  std::vector<std::string> seen;
  for (master.First(); !master.Eof(); master.Next())
    seen.push_back(master.FieldByName("name").AsString() + ":" +
                   std::to_string(detail.RecordCount()) + ":" +
                   (detail.IsEmpty() ? "" : detail.FieldByName("item").AsString()));
  EXPECT_EQ(seen, (std::vector<std::string>{"A:2:a1", "B:1:b1", "C:0:"}));
}

TEST_P(SQLDataSetTest, TableWithoutKeyIsEditedByItsValues) {
  {
    auto conn = Db().Connection();
    conn->ExecSQL("CREATE TABLE nokey (a INTEGER, b VARCHAR(10))");
    conn->ExecSQL("INSERT INTO nokey VALUES (1, 'x'), (2, NULL), (3, 'z')");
  }
  TSQLDataSet ds(Db());
  ds.SetTableName("nokey");
  ds.Open();
  ASSERT_TRUE(ds.Locate("a", {Variant(2)}));
  ds.Edit();
  ds.FieldByName("b").SetAsString("y");
  ds.Post();
  ASSERT_TRUE(ds.Locate("a", {Variant(3)}));
  ds.Delete();
  EXPECT_EQ(Column(ds, "b"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(RaisedText([&] {
              TSQLDataSet missing(Db());
              missing.SetTableName("nope");
              missing.Open();
            }),
            "EDatabaseError: Table 'nope' not found");
}

VELA_INSTANTIATE_DB_TEST(SQLDataSetTest);

}  // namespace
}  // namespace vela::test
