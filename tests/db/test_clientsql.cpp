// TClientSQL on both backends: insert ids, update and delete by filter, the data check, the
// statement cache, quoting of odd identifiers and bound values.
#include <gtest/gtest.h>

#include <memory>

#include "DbTestSupport.h"
#include "host/db/ClientSQL.h"
#include "host/db/DbInterfaceTable.h"
#include "rtl/DateUtils.h"

namespace vela::test {
namespace {

THostTableDef SampleTable() {
  return {"sample",
          {F("i", ftInteger), F("big", ftLargeint), F("f", ftFloat), F("name", ftString, 10),
           F("free", ftString), F("memo", ftMemo), F("d", ftDate), F("t", ftTime),
           F("dt", ftDateTime), F("b", ftBoolean), F("bin", ftBlob)}};
}

class ClientSQLTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CreateTable(SampleTable());
  }
  int64_t Insert(const std::string& name, int i) {
    return InsertRow("sample", {{"name", name}, {"i", i}});
  }
  // The rows of sample whose field equals value, as the id list.
  std::vector<int64_t> Ids(const std::string& field, const Variant& value) {
    return RowIds("sample", {{field, value}});
  }
  // A command object on schema with these field values.
  std::unique_ptr<TClientSQL> Sql(const std::string& schema, int mode = csmInsert,
                                  const TFieldValues& values = {}) {
    auto sql = std::make_unique<TClientSQL>(Db());
    sql->SetSchemaName(schema);
    sql->SetMode(mode);
    for (const auto& [field, value] : values)
      sql->SetFieldValue(field, value);
    return sql;
  }
};

TEST_P(ClientSQLTest, EveryTypeRoundTrips) {
  TDateTime d = EncodeDate(2024, 2, 29);
  TDateTime t = EncodeTime(13, 45, 7, 0);
  TDateTime dt = EncodeDateTime(1999, 12, 31, 23, 59, 58, 0);
  Variant::Bytes bin{0, 1, 2, 255, 0, 'x'};
  int64_t id = InsertRow("sample", {{"i", -42},
                                    {"big", int64_t{9007199254740993}},
                                    {"f", 3.25},
                                    {"name", "Ärger"},
                                    {"free", std::string(300, 'z')},
                                    {"memo", "line1\r\nline2"},
                                    {"d", Variant::FromDateTime(d)},
                                    {"t", Variant::FromDateTime(t)},
                                    {"dt", Variant::FromDateTime(dt)},
                                    {"b", true},
                                    {"bin", bin}});

  auto table = Db().GetTableInterface();
  table->Query("sample", {}, {{"id", id}});
  ASSERT_FALSE(table->Eof());
  EXPECT_EQ(table->ValueByName("i").AsInt64(), -42);
  EXPECT_EQ(table->ValueByName("big").AsInt64(), 9007199254740993);
  EXPECT_DOUBLE_EQ(table->ValueByName("f").AsDouble(), 3.25);
  EXPECT_EQ(table->ValueByName("name").AsString(), "Ärger");
  EXPECT_EQ(table->ValueByName("free").AsString(), std::string(300, 'z'));
  EXPECT_EQ(table->ValueByName("memo").AsString(), "line1\r\nline2");
  EXPECT_TRUE(SameDateTime(table->ValueByName("d").AsDateTime(), d));
  EXPECT_TRUE(SameDateTime(table->ValueByName("t").AsDateTime(), t));
  EXPECT_TRUE(SameDateTime(table->ValueByName("dt").AsDateTime(), dt));
  EXPECT_TRUE(table->ValueByName("b").AsBoolean());
  EXPECT_EQ(table->ValueByName("bin").AsBytes(), bin);
  table->Next();
  EXPECT_TRUE(table->Eof());
}

TEST_P(ClientSQLTest, TextValuesAreConvertedToTheFieldType) {
  int64_t id = InsertRow("sample",
                         {{"i", "17"}, {"f", "2.5"}, {"dt", "2023-05-06 07:08:09"}, {"b", "True"}});
  auto value = [&](const char* field) { return RowValue("sample", field, id); };
  EXPECT_EQ(value("i").AsInt64(), 17);
  EXPECT_DOUBLE_EQ(value("f").AsDouble(), 2.5);
  EXPECT_EQ(DateTimeToSQL(value("dt").AsDateTime()), "2023-05-06 07:08:09");
  EXPECT_TRUE(value("b").AsBoolean());
}

TEST_P(ClientSQLTest, InsertGivesNewIdsAndUpdateAndDeleteGoByFilter) {
  int64_t a = Insert("a", 1), b = Insert("b", 1), c = Insert("c", 2);
  EXPECT_TRUE(0 < a && a < b && b < c);
  auto owned = Sql("sample", csmUpdate, {{"name", "x"}});
  TClientSQL& sql = *owned;
  sql.AddFilter("i", 1);
  EXPECT_EQ(sql.Execute(), 2);
  EXPECT_EQ(Ids("name", "x"), (std::vector<int64_t>{a, b}));

  sql.ClearFilters();
  sql.ClearFields();
  sql.SetMode(csmDelete);
  sql.AddFilter("id", b);
  EXPECT_EQ(sql.Execute(), 1);
  EXPECT_EQ(Ids("name", "x"), std::vector<int64_t>{a});
  EXPECT_EQ(Ids("name", "c"), std::vector<int64_t>{c});
}

TEST_P(ClientSQLTest, AutoActiveIdFilterIsOffAtItsInactiveValue) {
  Insert("a", 1);
  int64_t b = Insert("b", 2);
  auto owned = Sql("sample", csmUpdate, {{"i", 99}});
  TClientSQL& sql = *owned;
  auto& idFilter = sql.AddFilter("id", -1, true, -1);
  EXPECT_FALSE(idFilter.IsActive());
  idFilter.Value = b;
  EXPECT_TRUE(idFilter.IsActive());
  EXPECT_EQ(sql.Execute(), 1);
  EXPECT_EQ(Ids("i", 99), std::vector<int64_t>{b});
  // Back at -1 the delete covers the whole table (clearing the destination).
  idFilter.Value = -1;
  sql.SetMode(csmDelete);
  EXPECT_EQ(sql.Execute(), 2);
  EXPECT_EQ(CountRows("sample"), 0);
}

TEST_P(ClientSQLTest, InactiveFieldsAreNotWritten) {
  int64_t id = Insert("keep", 5);
  auto sql = Sql("sample", csmUpdate, {{"name", "changed"}, {"i", 6}});
  sql->FieldByName("name").Active = false;
  sql->AddFilter("id", id);
  sql->Execute();
  EXPECT_EQ(RowValue("sample", "name", id).AsString(), "keep");
  EXPECT_EQ(RowValue("sample", "i", id).AsInt64(), 6);
}

TEST_P(ClientSQLTest, StatementIsPreparedOncePerShape) {
  Insert("warm", 0);
  size_t before = Db().Connection()->CachedStatementCount();
  for (int k = 0; k < 50; ++k)
    Insert("n" + std::to_string(k), k);
  EXPECT_EQ(Db().Connection()->CachedStatementCount(), before);
  // Another set of active fields is another statement.
  InsertRow("sample", {{"f", 1.0}});
  EXPECT_EQ(Db().Connection()->CachedStatementCount(), before + 1);
}

TEST_P(ClientSQLTest, ValuesAreBoundNeverPasted) {
  std::string evil = "x'); DROP TABLE sample; --";
  int64_t id = InsertRow("sample", {{"free", evil}});
  EXPECT_EQ(Ids("free", evil), std::vector<int64_t>{id});
  EXPECT_EQ(CountRows("sample"), 1);
}

TEST_P(ClientSQLTest, TextsOfEveryRowAreWrittenAndDoNotOutliveTheRun) {
  // Texts of several lengths (beyond any in-place string buffer) and converted texts (a date,
  // a number into a text field) through one command object, row after row.
  const std::vector<Variant> values = {std::string(60, 'a'), "b", std::string(45, 'c'), 12345, ""};
  std::vector<int64_t> ids;
  {
    auto sql = Sql("sample");
    for (size_t k = 0; k < values.size(); ++k) {
      sql->DeactivateFields();
      sql->FieldByName("free").SetValue(values[k]);
      sql->FieldByName("d").SetValue(EncodeDate(2024, 1, static_cast<int>(k) + 1));
      ids.push_back(sql->Execute());
    }
  }
  for (size_t k = 0; k < values.size(); ++k) {
    EXPECT_EQ(Ids("free", VarToStr(values[k])), std::vector<int64_t>{ids[k]}) << k;
    EXPECT_EQ(Ids("d", Variant::FromDateTime(EncodeDate(2024, 1, static_cast<int>(k) + 1))),
              std::vector<int64_t>{ids[k]})
        << k;
  }
  if (GetParam() != TDbBackendKind::SQLite) return;
  // SQLite binds the texts without a copy: after the command object is gone, its cached
  // statement run without new values must not read them.
  auto conn = Db().Connection();
  size_t cached = conn->CachedStatementCount();
  auto& st = conn->Prepare("INSERT INTO \"sample\" (\"free\", \"d\") VALUES (" +
                           conn->Placeholder(1) + ", " + conn->Placeholder(2) + ")");
  ASSERT_EQ(conn->CachedStatementCount(), cached) << "not the command object's statement";
  {
    TStatementRun run(st);
    st.Execute();
  }
  int64_t id = conn->LastInsertId();
  EXPECT_TRUE(RowValue("sample", "free", id).IsNull());
  EXPECT_TRUE(RowValue("sample", "d", id).IsNull());
}

TEST_P(ClientSQLTest, BadValuesAreRejectedBeforeWriting) {
  struct Case {
    const char* field;
    Variant value;
  };
  std::vector<Case> cases = {{"i", "twelve"},
                             {"name", "eleven chars"},  // size 10
                             {"d", "not a date"},
                             {"b", "perhaps"},
                             {"nosuchfield", 1}};
  for (auto& c : cases) {
    auto sql = Sql("sample", csmInsert, {{c.field, c.value}});
    EXPECT_THROW(sql->Execute(), EDatabaseError) << c.field;
    EXPECT_THROW(sql->RunSQLDataCheck(), EDatabaseError) << c.field;
  }
  EXPECT_EQ(CountRows("sample"), 0);
  EXPECT_THROW(Sql("no_such_table")->Execute(), EDatabaseError);
  // The length counts characters, not bytes.
  EXPECT_GT(InsertRow("sample", {{"name", "ÄÖÜäöüßÄÖÜ"}}), 0);
}

TEST_P(ClientSQLTest, DataCheckLeavesNothingBehind) {
  CreateTable({"parent", {F("name", ftString, 20, true)}});
  CreateTable({"child", {F("parentid", ftLargeint, 0, true, "parent"), F("note", ftString, 5)}});
  int64_t pid = InsertRow("parent", {{"name", "p"}});

  auto ok = Sql("child", csmInsert, {{"parentid", pid}});
  auto badForeignKey = Sql("child", csmInsert, {{"parentid", pid + 1000}});
  EXPECT_NO_THROW(ok->RunSQLDataCheck());
  EXPECT_THROW(Sql("child", csmInsert, {{"note", "n"}})->RunSQLDataCheck(), EDatabaseError);
  EXPECT_THROW(badForeignKey->RunSQLDataCheck(), EDatabaseError);
  EXPECT_NO_THROW(Sql("parent", csmDelete)->RunSQLDataCheck());
  EXPECT_EQ(CountRows("child"), 0);
  EXPECT_EQ(CountRows("parent"), 1);

  // Inside a transaction the check keeps the transaction's own work and its usability.
  Db().StartTransaction();
  EXPECT_GT(ok->Execute(), 0);
  EXPECT_THROW(badForeignKey->RunSQLDataCheck(), EDatabaseError);
  EXPECT_NO_THROW(ok->RunSQLDataCheck());
  EXPECT_GT(ok->Execute(), 0);
  Db().Commit();
  EXPECT_EQ(CountRows("child"), 2);
  EXPECT_EQ(CountRows("parent"), 1);
}

TEST_P(ClientSQLTest, RollbackUndoesCommitKeepsAndAFailedStatementLeavesTheTransaction) {
  EXPECT_EQ(Db().GetTransactionCapabilities() & 0x0F, 0x0Fu);
  Db().StartTransaction();
  EXPECT_TRUE(Db().InTransaction());
  EXPECT_THROW(Db().StartTransaction(), EDatabaseError);
  Insert("gone", 1);
  Db().Rollback();
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(CountRows("sample"), 0);
  Db().StartTransaction();
  const int64_t kept = Insert("kept", 1);
  // A duplicate key fails in the database; the transaction goes on.
  EXPECT_THROW(Sql("sample", csmInsert, {{"id", kept}})->Execute(), EDatabaseError);
  Insert("two", 2);
  Db().Commit();
  EXPECT_EQ(CountRows("sample"), 2);
  EXPECT_THROW(Db().Commit(), EDatabaseError);
}

TEST_P(ClientSQLTest, OddIdentifiersAreQuoted) {
  CreateTable(
      {"order", {F("my field", ftString, 30), F("we\"ird", ftInteger), F("select", ftInteger)}});
  auto owned = Sql("order", csmInsert, {{"my field", "hello"}, {"we\"ird", 7}, {"select", 1}});
  TClientSQL& sql = *owned;
  EXPECT_GT(sql.Execute(), 0);
  sql.ClearFields();
  sql.SetMode(csmUpdate);
  sql.SetFieldValue("My Field", "changed");  // names compare ignoring case
  sql.AddFilter("we\"ird", 7);
  EXPECT_EQ(sql.Execute(), 1);
  // The table query quotes them in the selection and in the filters.
  auto table = Db().GetTableInterface();
  table->Query("order", {"my field", "we\"ird"}, {{"select", 1}, {"we\"ird", 7}});
  ASSERT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->ValueByName("my field").AsString(), "changed");
  EXPECT_EQ(table->ValueByName("we\"ird").AsInt64(), 7);
  table->Query("order", {"id"}, {{"my field", "hello"}});
  EXPECT_EQ(table->RecordCount(), 0);
}

VELA_INSTANTIATE_DB_TEST(ClientSQLTest);

}  // namespace
}  // namespace vela::test
