// The field schema, host tables, type mapping and lookups on both backends; the catalog type
// parsers without a database.
#include <gtest/gtest.h>

#include <thread>

#include "DbTestSupport.h"
#include "host/db/ClientSQL.h"
#include "host/db/DbInterfaceTable.h"
#include "host/db/VelaLookupInfo.h"
#include "host/db/postgres/PgConnection.h"
#include "host/db/sqlite/SQLiteConnection.h"
#include "rtl/DateUtils.h"

namespace vela::test {
namespace {

class SchemaTest : public DbTest {};

TEST_P(SchemaTest, TypesMapTheSameWayOnEveryBackend) {
  struct Case {
    TFieldType written;
    int size;
    TFieldType read;
  };
  std::vector<Case> cases = {
      {ftInteger, 0, ftInteger},  {ftLargeint, 0, ftLargeint}, {ftFloat, 0, ftFloat},
      {ftString, 40, ftString},   {ftString, 0, ftString},     {ftMemo, 0, ftMemo},
      {ftDate, 0, ftDate},        {ftTime, 0, ftTime},         {ftDateTime, 0, ftDateTime},
      {ftBoolean, 0, ftBoolean},  {ftBlob, 0, ftBlob},         {ftSmallint, 0, ftInteger},
      {ftAutoInc, 0, ftLargeint}, {ftCurrency, 0, ftFloat}};
  THostTableDef def{"typed", {}};
  for (size_t i = 0; i < cases.size(); ++i)
    def.Fields.push_back(F("f" + std::to_string(i), cases[i].written, cases[i].size, i == 3));
  CreateTable(def);
  auto item = Db().GetSchemaByName("TYPED");  // names compare ignoring case
  ASSERT_TRUE(item);
  ASSERT_EQ(item->GetFieldCount(), static_cast<int>(cases.size()) + 1);
  const auto& id = item->GetField(0);
  EXPECT_TRUE(id.Name == "id" && id.DataType == ftLargeint && id.IsRecordID() && id.Required);
  EXPECT_EQ(item->GetRecordIDField(), "id");
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& f = item->GetField(static_cast<int>(i) + 1);
    EXPECT_EQ(f.DataType, cases[i].read) << FieldTypeName(cases[i].written);
    EXPECT_EQ(f.Size, cases[i].size) << FieldTypeName(cases[i].written);
    EXPECT_EQ(f.Required, i == 3);
    EXPECT_EQ(f.Caption, f.Name);
  }
}

TEST_P(SchemaTest, HostTablesAreCreatedOnRequestAndMigratedOnce) {
  Db(false);
  EXPECT_FALSE(Db().GetSchemaByName("businessintegration_importlog"));
  EXPECT_EQ(Db().HostSchemaVersion(), 0);
  EXPECT_EQ(Db().InitHostTables(), LatestHostSchemaVersion());
  EXPECT_EQ(Db().HostSchemaVersion(), LatestHostSchemaVersion());
  EXPECT_THROW(InsertRow("businessintegration_exchangecontainer",
                         {{"containertypeid", 12345}, {"processedstateid", 0}}),
               EDatabaseError);  // the foreign key is checked
  // Opening again runs no migration twice and keeps the data.
  InsertRow("businessintegration_importlog", {{"globalrecuid", "{0001}"}, {"processedstateid", 1}});
  Reopen();
  EXPECT_EQ(Db().InitHostTables(), LatestHostSchemaVersion());
  EXPECT_EQ(CountRows("businessintegration_importlog"), 1);
  EXPECT_EQ(CountRows("vela_schemaversion"), LatestHostSchemaVersion());
}

TEST_P(SchemaTest, AVersion3DatabaseMigratesToTheShapeOfANewOne) {
  const std::vector<std::string> tables = {"vela_eventlog", "businessintegration_importlog",
                                           "businessintegration_exchangecontainer"};
  auto shape = [&] {
    std::string text;
    auto conn = Db().Connection();
    for (const auto& t : tables) {
      auto info = conn->ReadTableInfo(t);
      text += t + (info ? ":" : " missing");
      for (const auto& c : info ? info->Columns : std::vector<TDbColumnInfo>{})
        text += " " + c.Name + "/" + FieldTypeName(c.DataType) + "/" + std::to_string(c.Size);
      text += "\n";
    }
    return text;
  };
  const std::string fresh = shape();
  EXPECT_EQ(fresh.find("missing"), std::string::npos) << fresh;
  // Back to version 3: without the event log and the columns that version 4 brought.
  {
    auto conn = Db().Connection();
    conn->ExecSQL("DROP TABLE \"vela_eventlog\"");
    conn->ExecSQL("ALTER TABLE \"businessintegration_importlog\" DROP COLUMN \"createdate\"");
    for (const char* c : {"createdate", "claimedby", "claimeddate"})
      conn->ExecSQL("ALTER TABLE \"businessintegration_exchangecontainer\" DROP COLUMN \"" +
                    std::string(c) + "\"");
    conn->ExecSQL("DELETE FROM \"vela_schemaversion\" WHERE \"version\" > 3");
  }
  const int64_t old = InsertRow("businessintegration_importlog",
                                {{"globalrecuid", "{0003}"}, {"processedstateid", 2}});
  Reopen();
  EXPECT_EQ(Db().HostSchemaVersion(), LatestHostSchemaVersion());
  EXPECT_EQ(shape(), fresh);
  EXPECT_EQ(RowValue("businessintegration_importlog", "processedstateid", old).AsInt64(), 2);
  EXPECT_TRUE(RowValue("businessintegration_importlog", "createdate", old).IsNull());
  // The step leaves a complete database as it is.
  Reopen();
  EXPECT_EQ(shape(), fresh);
}

TEST_P(SchemaTest, AnnotationsGiveCaptionsLookupsAndCheckData) {
  WriteSchemaIni(
      "; annotations\n"
      "[city]\nCaption=Cities\n"
      "[city.name]\nCaption=City name\n"
      "[customer]\nCaption=Customers\n"
      "[customer.cityid]\nCaption=City\nLookupTable=city\nLookupField=name\n"
      "[customer.state]\nKind=3\nValues=\"A=Active\",\"I=Inactive\"\n");
  Db();
  CreateTable({"city", {F("name", ftString, 40)}});
  CreateTable({"customer", {F("cityid", ftLargeint), F("state", ftString, 1)}});
  auto city = Db().GetSchemaByName("city");
  auto customer = Db().GetSchemaByName("customer");
  ASSERT_TRUE(city && customer);
  EXPECT_EQ(city->GetCaption(), "Cities");
  EXPECT_EQ(city->FindField("name")->Caption, "City name");
  const auto* cityid = customer->FindField("cityid");
  EXPECT_EQ(cityid->FieldKind, vfkLookup);
  EXPECT_EQ(cityid->LookupTable, "city");
  EXPECT_EQ(customer->FindField("state")->FieldKind, vfkCheckData);

  InsertRow("city", {{"name", "Berlin"}});
  int64_t hamburg = InsertRow("city", {{"name", "Hamburg"}});
  EXPECT_EQ(TVelaLookupInfo::SingleQueryDBID(Db(), *cityid, "Hamburg"), hamburg);
  EXPECT_EQ(TVelaLookupInfo::SingleQueryDBID(Db(), *cityid, "Paris"), -1);
  EXPECT_EQ(TVelaLookupInfo::SingleQueryDBID(Db(), "city", "id", "not a number"), -1);

  for (auto [text, value] : {std::pair{"a", "A"}, {"inactive", "I"}, {"X", "X"}})
    EXPECT_EQ(TVelaLookupInfo::SingleQueryCheckData(*customer, "state", text), value);
  TClientSQL cust(Db());
  cust.SetSchemaName("customer");
  cust.SetFieldValue("state", "X");
  EXPECT_THROW(cust.Execute(), EDatabaseError);
  cust.SetFieldValue("state", "I");
  EXPECT_GT(cust.Execute(), 0);
  // A list installed later reaches a command object that already ran.
  Db().SetFieldListData("customer", "state", {"A=Active"});
  EXPECT_THROW(cust.Execute(), EDatabaseError);
  cust.SetFieldValue("state", "A");
  EXPECT_GT(cust.Execute(), 0);
}

TEST_P(SchemaTest, SetFieldListDataSurvivesReload) {
  Db().SetFieldListData("businessintegration_importlog", "processedstateid",
                        {"0=New", "1=Success", "2=Failed"});
  EXPECT_THROW(Db().SetFieldListData("businessintegration_importlog", "nosuch", {"0=x"}),
               EDatabaseError);
  EXPECT_THROW(Db().SetFieldListData("nosuch", "x", {"0=x"}), EDatabaseError);
  Db().RefreshSchema();
  auto item = Db().GetSchemaByName("businessintegration_importlog");
  auto list = item->GetFieldListData("processedstateid");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[2].Value + "=" + (*list)[2].Text, "2=Failed");
}

TEST_P(SchemaTest, TwoThreadsWriteAtOnce) {
  constexpr int kRows = 150;
  auto writer = [&](const std::string& tag, std::vector<int64_t>& ids, std::string& error) {
    try {
      TClientSQL sql(Db());
      sql.SetSchemaName("businessintegration_importlog");
      for (int k = 0; k < kRows; ++k) {
        // Every tenth row in its own transaction, the others alone.
        bool tx = k % 10 == 0;
        if (tx) Db().StartTransaction();
        sql.SetFieldValue("globalrecuid", tag + std::to_string(k));
        sql.SetFieldValue("processedstateid", 0);
        ids.push_back(sql.Execute());
        if (tx) Db().Commit();
      }
    } catch (const std::exception& e) {
      error = e.what();
    }
    Db().ReleaseThreadConnection();
  };
  Db();  // opened before the threads start
  std::vector<int64_t> a, b;
  std::string ea, eb;
  std::thread ta(writer, "a", std::ref(a), std::ref(ea));
  std::thread tb(writer, "b", std::ref(b), std::ref(eb));
  ta.join();
  tb.join();
  ASSERT_EQ(ea + eb, "");
  std::vector<int64_t> all(a);
  all.insert(all.end(), b.begin(), b.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
  EXPECT_EQ(CountRows("businessintegration_importlog"), 2 * kRows);
}

TEST_P(SchemaTest, RollbackOnOneThreadKeepsTheOthersWork) {
  Db().StartTransaction();
  InsertRow("businessintegration_importlog", {{"globalrecuid", "main"}, {"processedstateid", 0}});
  EXPECT_TRUE(Db().InTransaction());
  bool otherSeesTransaction = true;
  std::thread other([&] {
    otherSeesTransaction = Db().InTransaction();
    Db().ReleaseThreadConnection();
  });
  other.join();
  EXPECT_FALSE(otherSeesTransaction);
  Db().Rollback();
  EXPECT_EQ(CountRows("businessintegration_importlog"), 0);
}

TEST_P(SchemaTest, PoolReplacesALostConnection) {
  if (GetParam() != TDbBackendKind::PostgreSQL) GTEST_SKIP() << "PostgreSQL pool only";
  int64_t pid;
  {
    auto conn = Db().Connection();
    auto st = conn->PrepareNew("SELECT pg_backend_pid()");
    st->Execute();
    ASSERT_TRUE(st->Next());
    pid = st->ColumnInt64(0);
  }
  auto admin = OpenDbConnection(FServerUrl);
  admin->ExecSQL("SELECT pg_terminate_backend(" + std::to_string(pid) + ")");
  auto table = Db().GetTableInterface();
  // The operation on the lost connection fails; the next one gets a new connection.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      table->Query("businessintegration_importlog", {"id"}, {});
      break;
    } catch (const EDatabaseError&) {
    }
  }
  EXPECT_NO_THROW(table->Query("businessintegration_importlog", {"id"}, {}));
  EXPECT_EQ(table->RecordCount(), 0);
}

VELA_INSTANTIATE_DB_TEST(SchemaTest);

TEST(DbTypeNames, SQLiteDeclaredTypes) {
  struct Case {
    const char* decl;
    TFieldType ft;
    int size;
  };
  // Declared types beyond those the tables are created with: sizes, aliases, no type at all.
  for (auto c : {Case{"bigint", ftLargeint, 0}, Case{"nvarchar(5)", ftString, 5},
                 Case{"DATETIME", ftDateTime, 0}, Case{"REAL", ftFloat, 0}, Case{"", ftBlob, 0},
                 Case{"NUMERIC(10,2)", ftFloat, 0}}) {
    int size = -1;
    EXPECT_EQ(SQLiteDeclTypeToFieldType(c.decl, size), c.ft) << c.decl;
    EXPECT_EQ(size, c.size) << c.decl;
  }
}

TEST(DbTypeNames, PostgresFormatTypes) {
  struct Case {
    const char* type;
    TFieldType ft;
    int size;
  };
  // Type texts beyond those the tables are created with: precisions, time zones, fixed length.
  for (auto c : {Case{"character(3)", ftString, 3}, Case{"numeric(10,2)", ftFloat, 0},
                 Case{"time(3) without time zone", ftTime, 0},
                 Case{"timestamp(6) with time zone", ftDateTime, 0}}) {
    int size = -1;
    EXPECT_EQ(PgTypeToFieldType(c.type, size), c.ft) << c.type;
    EXPECT_EQ(size, c.size) << c.type;
  }
}

TEST(DbUrls, BackendByScheme) {
  EXPECT_EQ(BackendOfUrl("sqlite:/x/y.db"), TDbBackendKind::SQLite);
  EXPECT_EQ(BackendOfUrl("postgresql://u@h/db"), TDbBackendKind::PostgreSQL);
  EXPECT_EQ(BackendOfUrl("postgres://u@h/db"), TDbBackendKind::PostgreSQL);
  EXPECT_THROW(BackendOfUrl("mysql://h/db"), EDatabaseError);
  EXPECT_THROW(OpenDbConnection("sqlite:"), EDatabaseError);
  EXPECT_THROW(TVelaDatabase::Open("sqlite:/nonexistent-dir/sub/x.db"), EDatabaseError);
}

}  // namespace
}  // namespace vela::test
