// The generic single-table record service over real HTTP, on SQLite and PostgreSQL: a small
// descendant that serves a test table and stamps each record with the caller's user agent.
#include <gtest/gtest.h>

#include "ServedDbTest.h"
#include "host/server/RecordSetService.h"
#include "rtl/Encoders.h"

namespace vela::test {
namespace {

class TOrderService : public TArdoRestAPICustomSingleVelaRecordSetServiceImpl {
 public:
  TOrderService(TVelaDatabase& db, uint32_t types, std::vector<int64_t>& added)
      : TArdoRestAPICustomSingleVelaRecordSetServiceImpl(db), FTypes(types), FAdded(added) {}

 protected:
  uint32_t GetValidConnectorSessionTypes() const override {
    return FTypes
               ? FTypes
               : TArdoRestAPICustomSingleVelaRecordSetServiceImpl::GetValidConnectorSessionTypes();
  }
  void NotifyRecordAdded(int64_t AId) override { FAdded.push_back(AId); }
  void CopyJsonValuesToSQLEdit(const TJsonValue& json, TClientSQL& sql,
                               TVelaRestRequestContext* ctx) override {
    TArdoRestAPICustomSingleVelaRecordSetServiceImpl::CopyJsonValuesToSQLEdit(json, sql, ctx);
    if (ctx) sql.SetFieldValue("useragent", Variant(ctx->GetUserAgent()));
  }
  std::string GetSchemaName() const override { return "orders"; }

 private:
  uint32_t FTypes;
  std::vector<int64_t>& FAdded;
};

class RecordSetServiceTest : public ServedDbTest {
 protected:
  void SetUp() override {
    ServedDbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CreateTable({"orders",
                 {F("name", ftString, 40, true), F("qty", ftInteger), F("doc", ftBlob),
                  F("useragent", ftString, 255)}});
    // "Orders" takes the default session types, "OpenOrders" anonymous callers as well.
    for (auto [service, types] : {std::pair{"Orders", 0u}, {"OpenOrders", 1u << cstAnonymous}})
      TArdoRestAPICustomSingleVelaRecordSetServiceImpl::Register(
          FApp.Router(), "shop", service,
          [this, types = types] { return std::make_unique<TOrderService>(Db(), types, FAdded); });
    StartServing("shop");
  }

  THttpAnswer Add(const std::string& body, const std::string& service = "Orders",
                  bool withToken = true) {
    return FClient->Request("POST", "/shop/" + service + ".AddRecord", body,
                            withToken ? FToken : "", {"User-Agent: shop-client/2.1"});
  }

  std::vector<int64_t> FAdded;
};

TEST_P(RecordSetServiceTest, AddsARecordWithTheDescendantsValuesOverridingTheClients) {
  const std::string doc("%PDF-\x00\xff", 7);
  auto a = Add(R"({"name":"Ada","QTY":3,"doc":")" + Base64Encode(doc) +
               R"(","useragent":"forged/1.0"})");
  ASSERT_EQ(a.Status, 200) << a.Body << a.Error;
  ASSERT_EQ(FAdded.size(), 1u);
  const int64_t id = FAdded[0];
  EXPECT_EQ(a.Body, R"({"result":true,"id":)" + std::to_string(id) + "}");
  EXPECT_EQ(RowValue("orders", "name", id).AsString(), "Ada");
  EXPECT_EQ(RowValue("orders", "qty", id).AsInt64(), 3);
  EXPECT_EQ(RowValue("orders", "useragent", id).AsString(), "shop-client/2.1");
  const auto stored = RowValue("orders", "doc", id).GetBytes();
  EXPECT_EQ(std::string(stored.begin(), stored.end()), doc);

  // A call inside the host (no request context) is an internal session: accepted.
  TOrderService internal(Db(), 0, FAdded);
  bool ok = false;
  std::string info;
  internal.AddRecord(nullptr, R"({"name":"Bob"})", ok, info);
  EXPECT_TRUE(ok) << info;
  ASSERT_EQ(FAdded.size(), 2u);
  EXPECT_TRUE(RowValue("orders", "useragent", FAdded[1]).IsNull());
  EXPECT_EQ(CountRows("orders"), 2);
}

TEST_P(RecordSetServiceTest, RefusedCallsAnswerTheirStatusAndAddNothing) {
  struct TCase {
    std::string Body;
    long Status;
    std::string Error;  // the start of errorText
    std::string Service = "Orders";
    bool Token = true;
  } cases[] = {
      {R"({"name":"A"})", 403, "The service accepts no calls of anonymous sessions", "Orders",
       false},
      {R"({"name":)", 400, "The request is no valid JSON"},
      {R"(["name"])", 400, "The request must be a JSON object"},
      {R"({"name":"A","colour":"red"})", 400, "Unknown field 'colour' in table 'orders'"},
      {R"({"name":"A","qty":[1]})", 400, "The value of field 'qty' must be a single value"},
      {R"({"id":5,"name":"A"})", 400,
       "The field 'id' is the record identifier, which the database sets"},
      {R"({"name":"A","qty":"many"})", 400, "Invalid value for field 'qty': "},
      {R"({"qty":1})", 400, ""},  // name is required
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Body);
    auto a = Add(c.Body, c.Service, c.Token);
    EXPECT_EQ(a.Status, c.Status) << a.Body;
    EXPECT_EQ(a.Body.rfind(
                  R"({"errorCode":)" + std::to_string(c.Status) + R"(,"errorText":")" + c.Error, 0),
              0u)
        << a.Body;
  }
  EXPECT_EQ(CountRows("orders"), 0);
  EXPECT_TRUE(FAdded.empty());
  EXPECT_EQ(FClient->Request("GET", "/shop/Orders.AddRecord", "", FToken).Status, 405);
  // The open service takes the anonymous caller.
  auto open = Add(R"({"name":"A"})", "OpenOrders", false);
  EXPECT_EQ(open.Status, 200) << open.Body;
  EXPECT_EQ(CountRows("orders"), 1);
}

VELA_INSTANTIATE_DB_TEST(RecordSetServiceTest);

}  // namespace
}  // namespace vela::test
