// The table query: one prepared statement per query shape, reused with other filter values, and
// the ISO text of dates written for the database.
#include <gtest/gtest.h>

#include "DbTestSupport.h"
#include "host/db/ClientSQL.h"
#include "host/db/DbInterfaceTable.h"
#include "rtl/DateUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela::test {
namespace {

class InterfaceTableTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CreateTable({"people",
                 {F("custno", ftInteger), F("name", ftString, 20), F("born", ftDate),
                  F("seen", ftDateTime), F("at", ftTime)}});
  }
  int64_t Insert(const Variant& custno, const Variant& name, const Variant& born = Null(),
                 const Variant& seen = Null()) {
    return InsertRow("people",
                     {{"custno", custno}, {"name", name}, {"born", born}, {"seen", seen}});
  }
  // The names of the rows the query found, in id order of the result.
  static std::vector<std::string> Names(IDbInterfaceTable& t) {
    std::vector<std::string> names;
    for (t.First(); !t.Eof(); t.Next())
      names.push_back(t.ValueByName("name").IsNull() ? "<null>" : t.ValueByName("name").AsString());
    return names;
  }
};

TEST_P(InterfaceTableTest, RepeatedQueryBindsEachCallsValues) {
  for (int i = 1; i <= 5; ++i)
    Insert(100 + i, "n" + std::to_string(i));
  Insert(103, "n3b");
  auto t = Db().GetTableInterface();
  // The same shape again and again, as the key search of an import runs it per record.
  const struct {
    int custno;
    std::vector<std::string> names;
  } cases[] = {{101, {"n1"}}, {103, {"n3", "n3b"}}, {999, {}}, {105, {"n5"}}, {101, {"n1"}}};
  for (auto& c : cases) {
    t->Query("people", {"name"}, {{"custno", c.custno}});
    EXPECT_TRUE(t->IsOpen());
    auto names = Names(*t);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names) << "custno " << c.custno;
    EXPECT_EQ(t->RecordCount(), static_cast<int>(c.names.size()));
    EXPECT_EQ(t->FieldCount(), 1);
  }
}

TEST_P(InterfaceTableTest, ShapesAlternateWithoutMixingUp) {
  int64_t a = Insert(1, "alpha");
  int64_t b = Insert(2, Null());
  Insert(3, "gamma");
  auto t = Db().GetTableInterface();
  // Different filter fields, a NULL filter (IS NULL, no parameter), different selections.
  for (int round = 0; round < 2; ++round) {
    for (auto [filters, id] : {std::pair<TFieldValues, int64_t>{{{"custno", 1}}, a},
                               {{{"name", Null()}}, b},
                               {{{"custno", 2}, {"name", Null()}}, b}}) {
      t->Query("people", {"id"}, filters);
      ASSERT_EQ(t->RecordCount(), 1);
      EXPECT_EQ(t->Value(0).AsInt64(), id);
    }
    t->Query("people", {"name", "custno"}, {{"name", "gamma"}});
    ASSERT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->FieldName(1), "custno");
    EXPECT_EQ(t->ValueByName("CUSTNO").AsInt64(), 3);
    t->Query("people", {"id"}, {{"custno", 1}, {"name", Null()}});
    EXPECT_EQ(t->RecordCount(), 0);
    EXPECT_TRUE(t->Eof());
    EXPECT_THROW(t->Value(0), EDatabaseError);
  }
  t->Close();
  EXPECT_FALSE(t->IsOpen());
  EXPECT_EQ(t->FieldCount(), 0);
}

TEST_P(InterfaceTableTest, UnknownNamesRaiseOnEveryCall) {
  Insert(1, "a");
  auto t = Db().GetTableInterface();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(RaisedText([&] {
                t->Query("people", {"id"}, {{"nope", 1}});
              }),
              "EDatabaseError: Field 'nope' does not exist in table 'people'");
    EXPECT_FALSE(t->IsOpen());
    EXPECT_EQ(RaisedText([&] {
                t->Query("nosuchtable", {"id"}, {{"custno", 1}});
              }),
              "EDatabaseError: Table 'nosuchtable' does not exist");
    t->Query("people", {"name"}, {{"custno", 1}});
    EXPECT_EQ(Names(*t), std::vector<std::string>{"a"});
  }
  // A value that does not fit the filter field's type fails before anything runs.
  EXPECT_THROW(t->Query("people", {"name"}, {{"custno", "abc"}}), EDatabaseError);
  t->Query("people", {"name"}, {{"custno", 1}});
  EXPECT_EQ(t->RecordCount(), 1);
}

TEST_P(InterfaceTableTest, SchemaReloadIsSeenByTheNextQuery) {
  Insert(1, "a");
  auto t = Db().GetTableInterface();
  t->Query("people", {}, {{"custno", 1}});
  EXPECT_EQ(t->FieldCount(), 6);  // id and the five fields
  {
    auto conn = Db().Connection();
    conn->ExecSQL("ALTER TABLE " + TDbConnection::QuoteIdent("people") + " ADD COLUMN " +
                  TDbConnection::QuoteIdent("extra") + " INTEGER");
  }
  Db().RefreshSchema();
  t->Query("people", {}, {{"custno", 1}});
  EXPECT_EQ(t->FieldCount(), 7);
  EXPECT_TRUE(t->ValueByName("extra").IsNull());
  t->Query("people", {"name"}, {{"extra", Null()}});
  EXPECT_EQ(Names(*t), std::vector<std::string>{"a"});
}

TEST_P(InterfaceTableTest, DateFiltersFindTheStoredDates) {
  const TDateTime born[] = {EncodeDate(1931, 10, 27), EncodeDate(2024, 2, 29), EncodeDate(1, 1, 1),
                            EncodeDate(9999, 12, 31)};
  const TDateTime seen[] = {
      EncodeDateTime(2023, 5, 6, 7, 8, 9, 0), EncodeDateTime(1999, 12, 31, 23, 59, 59, 999),
      EncodeDateTime(1899, 12, 30, 0, 0, 0, 1), EncodeDateTime(1850, 6, 1, 12, 30, 0, 0)};
  for (int i = 0; i < 4; ++i)
    Insert(i, "r" + std::to_string(i), Variant::FromDateTime(born[i]),
           Variant::FromDateTime(seen[i]));
  auto t = Db().GetTableInterface();
  for (int i = 3; i >= 0; --i) {
    t->Query("people", {"name", "born", "seen"}, {{"born", Variant::FromDateTime(born[i])}});
    ASSERT_EQ(t->RecordCount(), 1) << i;
    EXPECT_EQ(t->Value(0).AsString(), "r" + std::to_string(i));
    EXPECT_TRUE(SameDateTime(t->Value(1).AsDateTime(), born[i])) << i;
    EXPECT_TRUE(SameDateTime(t->Value(2).AsDateTime(), seen[i])) << i;
    t->Query("people", {"name"}, {{"seen", Variant::FromDateTime(seen[i])}});
    EXPECT_EQ(Names(*t), std::vector<std::string>{"r" + std::to_string(i)}) << i;
  }
}

// SQLite keeps dates as the text the value binding wrote: it must be the runtime's ISO text.
TEST_P(InterfaceTableTest, DateTextIsTheRuntimesIsoText) {
  if (GetParam() != TDbBackendKind::SQLite) GTEST_SKIP() << "SQLite storage only";
  const TDateTime values[] = {EncodeDateTime(2023, 5, 6, 7, 8, 9, 0),
                              EncodeDateTime(1999, 12, 31, 23, 59, 59, 999),
                              EncodeDateTime(1899, 12, 30, 0, 0, 0, 1),
                              EncodeDateTime(1850, 6, 1, 12, 30, 0, 0),
                              EncodeDateTime(1, 1, 1, 0, 0, 0, 0),
                              EncodeDateTime(9999, 12, 31, 23, 59, 59, 0),
                              EncodeDate(2000, 1, 1) + 0.5,
                              -1.25,
                              45000.999999};
  for (TDateTime v : values) {
    TClientSQL sql(Db());
    sql.SetSchemaName("people");
    for (const char* field : {"born", "seen", "at"})
      sql.SetFieldValue(field, Variant::FromDateTime(v));
    int64_t id = sql.Execute();
    auto conn = Db().Connection();
    auto st = conn->PrepareNew(
        "SELECT born, seen, at, typeof(seen), date(seen, '+1 day') FROM "
        "people WHERE id = " +
        std::to_string(id));
    st->Execute();
    ASSERT_TRUE(st->Next());
    EXPECT_EQ(st->ColumnText(0), DateToSQL(v)) << v;
    EXPECT_EQ(st->ColumnText(1), DateTimeToSQL(v, MilliSecondOf(v) != 0)) << v;
    EXPECT_EQ(st->ColumnText(2), TimeToSQL(v)) << v;
    // Text that SQLite's own date functions understand.
    EXPECT_EQ(st->ColumnText(3), "text");
    if (v > 0 && YearOf(v) < 9999) {
      EXPECT_EQ(st->ColumnText(4), DateToSQL(v + 1)) << v;
    }
  }
}

// The update statement of an import's update pass: one filter, other values each time; the
// filter's field found once, found again when its name changes.
TEST_P(InterfaceTableTest, UpdateFilterFollowsItsValueAndName) {
  for (int i = 1; i <= 3; ++i)
    Insert(i, "n" + std::to_string(i));
  TClientSQL sql(Db());
  sql.SetSchemaName("people");
  sql.SetMode(csmUpdate);
  TClientSQLFilter& filter = sql.AddFilter("custno", 0);
  for (int i : {3, 1, 7}) {
    filter.Value = i;
    sql.SetFieldValue("name", "u" + std::to_string(i));
    EXPECT_EQ(sql.Execute(), i == 7 ? 0 : 1) << i;
  }
  filter.FieldName = "name";
  filter.Value = "n2";
  sql.SetFieldValue("name", "changed");
  EXPECT_EQ(sql.Execute(), 1);
  auto t = Db().GetTableInterface();
  const std::pair<int, std::string> expected[] = {{1, "u1"}, {2, "changed"}, {3, "u3"}};
  for (auto& [custno, name] : expected) {
    t->Query("people", {"name"}, {{"custno", custno}});
    EXPECT_EQ(Names(*t), std::vector<std::string>{name}) << custno;
  }
  filter.FieldName = "nope";
  EXPECT_THROW(sql.Execute(), EDatabaseError);
}

VELA_INSTANTIATE_DB_TEST(InterfaceTableTest);

}  // namespace
}  // namespace vela::test
