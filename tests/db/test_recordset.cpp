// TVelaRecordSet on both backends: filters (with the empty filter the container import relies
// on), value round trips, saving, refresh and threaded clones.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "DbTestSupport.h"
#include "host/db/ClientSQL.h"
#include "host/db/VelaRecordSet.h"
#include "rtl/DateUtils.h"

namespace vela::test {
namespace {

class RecordSetTest : public DbTest {
 protected:
  // A container type and containers, some processed.
  int64_t AddType(const std::string& descr, bool allowUnauth) {
    return InsertRow("businessintegration_exchangecontainertype",
                     {{"descr", descr},
                      {"allowunauth", allowUnauth},
                      {"importconfig", Variant::FromBytes("[Config]\r\nA=1")}});
  }
  int64_t AddContainer(int64_t typeId, const Variant& processed) {
    TFieldValues values = {{"containertypeid", typeId},
                           {"processedstateid", 0},
                           {"containerdata", Variant::FromBytes("{\"a\":1}")}};
    if (!processed.IsEmpty()) values.push_back({"processeddate", processed});
    return InsertRow("businessintegration_exchangecontainer", values);
  }
  // A record set on the table (container types by default), opened unless fields or filters
  // follow.
  std::unique_ptr<TVelaRecordSet> RecordSet(
      uint32_t options = 0, const std::string& table = "businessintegration_exchangecontainertype",
      bool open = true) {
    auto rs = std::make_unique<TVelaRecordSet>(Db());
    rs->SetSchemaName(table);
    rs->SetOptions(options);
    if (open) rs->Open();
    return rs;
  }
  // The ids of the containers that pass one filter, in record order.
  std::vector<int64_t> Filtered(const std::string& field, const Variant& value, int type) {
    auto rs = RecordSet(rsoLoadAll, "businessintegration_exchangecontainer", false);
    rs->GetFilters().AddFilter(field, value, type);
    rs->Open();
    std::vector<int64_t> ids;
    for (int r = 0; r < rs->GetRecordCount(); ++r)
      ids.push_back(rs->GetDBIDByRecNo(r));
    return ids;
  }
};

TEST_P(RecordSetTest, EmptyFilterFindsUnprocessedContainers) {
  int64_t type = AddType("orders", false);
  int64_t open1 = AddContainer(type, Variant());
  int64_t done = AddContainer(type, Variant::FromDateTime(EncodeDateTime(2024, 1, 2, 3, 4, 5, 0)));
  int64_t open2 = AddContainer(type, Variant::FromDateTime(MinDateTime));  // the "unset" marker
  const Variant unset = Variant::FromDateTime(MinDateTime);
  EXPECT_EQ(Filtered("processeddate", unset, vftEmpty), (std::vector<int64_t>{open1, open2}));
  EXPECT_EQ(Filtered("processeddate", unset, vftNotEmpty), std::vector<int64_t>{done});
}

TEST_P(RecordSetTest, FilterTypes) {
  int64_t type = AddType("t", false);
  std::vector<int64_t> ids;
  for (int k = 0; k < 5; ++k)
    ids.push_back(AddContainer(type, Variant()));
  {
    TClientSQL sql(Db());
    sql.SetSchemaName("businessintegration_exchangecontainer");
    sql.SetMode(csmUpdate);
    sql.SetFieldValue("contenttype", "Application/JSON");
    sql.AddFilter("id", ids[1]);
    sql.Execute();
  }
  struct Case {
    const char* field;
    Variant value;
    int type;
    std::vector<int64_t> expected;
  };
  std::vector<Case> cases = {
      {"id", ids[2], vftEqual, {ids[2]}},
      {"id", ids[2], vftNotEqual, {ids[0], ids[1], ids[3], ids[4]}},
      {"id", ids[1], vftLess, {ids[0]}},
      {"id", ids[3], vftGreater, {ids[4]}},
      {"id", ids[3], vftGreaterEqual, {ids[3], ids[4]}},
      {"id", ids[1], vftLessEqual, {ids[0], ids[1]}},
      {"contenttype", "application/%", vftLike, {ids[1]}},
      {"contenttype", Variant(), vftEmpty, {ids[0], ids[2], ids[3], ids[4]}},
      {"id", std::to_string(ids[0]) + "," + std::to_string(ids[4]), vftInList, {ids[0], ids[4]}},
      {"contenttype", "Application/JSON", vftNotEqual, {ids[0], ids[2], ids[3], ids[4]}}};
  for (auto& c : cases)
    EXPECT_EQ(Filtered(c.field, c.value, c.type), c.expected)
        << "filter " << c.type << " on " << c.field;
}

TEST_P(RecordSetTest, ValuesRoundTripThroughSave) {
  int64_t type = AddType("first", true);
  auto rs = RecordSet(rsoLoadAll);
  ASSERT_EQ(rs->GetRecordCount(), 1);
  EXPECT_EQ(rs->GetRecNoByDBID(type), 0);
  EXPECT_EQ(rs->GetRecNoByDBID(type + 100), -1);
  EXPECT_TRUE(rs->ValueByName(0, "allowunauth").AsBoolean());
  EXPECT_EQ(rs->ValueByName(0, "importconfig").AsBytes(),
            Variant::FromBytes("[Config]\r\nA=1").AsBytes());
  EXPECT_THROW(rs->ValueByName(0, "nosuchfield"), EDatabaseError);
  EXPECT_TRUE(rs->ValueByName(0, "nosuchfield", false).IsEmpty());

  // A new record: insert.
  int rec = rs->AppendRecord();
  rs->SetValueByName(rec, "descr", "second");
  rs->SetValueByName(rec, "allowunauth", false);
  rs->SetValueByName(rec, "rawresponsecontent", std::string(5000, 'r'));
  int64_t newId = rs->SaveRecordNumber(rec);
  EXPECT_GT(newId, type);
  EXPECT_EQ(rs->GetDBIDByRecNo(rec), newId);
  // A loaded record: update of the changed field only.
  rs->SetValueByName(0, "contenttype", "text/plain");
  EXPECT_EQ(rs->SaveRecordNumber(0), type);
  EXPECT_THROW(rs->SetValueByName(0, "descr", std::string(300, 'x')), EDatabaseError);

  auto again = RecordSet(0, "businessintegration_exchangecontainertype", false);
  again->SetFields({"descr", "contenttype", "rawresponsecontent"});
  again->Open();
  ASSERT_EQ(again->GetRecordCount(), 2);
  int first = again->FindLocalRecord("descr", "first");
  int second = again->FindLocalRecord("descr", "second");
  EXPECT_EQ(again->FindLocalRecord("descr", "third"), -1);
  ASSERT_TRUE(first >= 0 && second >= 0);
  EXPECT_EQ(again->ValueByName(first, "contenttype").AsString(), "text/plain");
  EXPECT_EQ(again->ValueByName(second, "rawresponsecontent").AsString(), std::string(5000, 'r'));
  EXPECT_EQ(again->GetDBIDByRecNo(second), newId);  // the id is loaded although not selected
  EXPECT_TRUE(again->ValueByName(first, "allowunauth", false).IsEmpty());
}

TEST_P(RecordSetTest, CheckForRefreshSeesChangesThroughTheDatabase) {
  AddType("a", false);
  auto rs = RecordSet();
  EXPECT_FALSE(rs->CheckForRefresh());
  AddType("b", false);
  EXPECT_TRUE(rs->CheckForRefresh());
  EXPECT_EQ(rs->GetRecordCount(), 2);
  EXPECT_FALSE(rs->CheckForRefresh());
  // Saving through the record set itself needs no reload.
  rs->SetValueByName(0, "contenttype", "x/y");
  rs->SaveRecordNumber(0);
  EXPECT_FALSE(rs->CheckForRefresh());
}

TEST_P(RecordSetTest, CheckForRefreshSeesCommitsOfAnotherConnection) {
  if (GetParam() != TDbBackendKind::SQLite)
    GTEST_SKIP() << "PostgreSQL: only changes through the same database object are detected";
  AddType("a", false);
  auto rs = RecordSet();
  // A second database object on the same file, as another process would be: its writes do not
  // pass through the first object's change counters.
  TVelaDatabaseOptions o;
  o.SchemaFile = FSchemaFile;
  o.InitHostTables = false;
  auto other = TVelaDatabase::Open(FUrl, o);
  other->StartTransaction();
  InsertRow("businessintegration_exchangecontainertype",
            {{"descr", "b"}, {"allowunauth", true}, {"importconfig", Variant::FromBytes("[C]")}},
            other.get());
  EXPECT_FALSE(rs->CheckForRefresh());  // not committed yet
  other->Commit();
  EXPECT_TRUE(rs->CheckForRefresh());
  EXPECT_EQ(rs->GetRecordCount(), 2);
  EXPECT_FALSE(rs->CheckForRefresh());
  // A commit by the other connection to any table counts (the check is per database file).
  InsertRow("businessintegration_exchangecontainer",
            {{"containertypeid", rs->GetDBIDByRecNo(0)},
             {"processedstateid", 0},
             {"containerdata", Variant::FromBytes("{}")}},
            other.get());
  EXPECT_TRUE(rs->CheckForRefresh());
  EXPECT_FALSE(rs->CheckForRefresh());
}

TEST_P(RecordSetTest, ThreadedCloneWorksOnAnotherThread) {
  AddType("a", false);
  auto rs = RecordSet(rsoLoadAll);
  TVelaRecordSet* clone = rs->CreateThreadedClone();
  int countInThread = -1;
  bool refreshed = false;
  std::string error;
  std::thread worker([&] {
    try {
      AddType("b", false);  // written on this thread's own connection
      refreshed = clone->CheckForRefresh();
      countInThread = clone->GetRecordCount();
      clone->SetValueByName(0, "contenttype", "from/thread");
      clone->SaveRecordNumber(0);
    } catch (const std::exception& e) {
      error = e.what();
    }
    Db().ReleaseThreadConnection();
  });
  worker.join();
  ASSERT_EQ(error, "");
  EXPECT_TRUE(refreshed && countInThread == 2) << countInThread;
  TVelaRecordSet::DestroyThreadedClone(clone);
  EXPECT_EQ(clone, nullptr);
  EXPECT_EQ(rs->GetRecordCount(), 1);  // the original is untouched until it refreshes
  EXPECT_TRUE(rs->CheckForRefresh());
  EXPECT_EQ(rs->ValueByName(0, "contenttype").AsString(), "from/thread");
}

VELA_INSTANTIATE_DB_TEST(RecordSetTest);

}  // namespace
}  // namespace vela::test
