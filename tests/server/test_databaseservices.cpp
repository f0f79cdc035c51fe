// The table and schema services over real HTTP, with access tokens, on SQLite and PostgreSQL.
#include <gtest/gtest.h>

#include "ServedDbTest.h"
#include "host/server/DatabaseServices.h"
#include "platform/json/JsonValue.h"
#include "rtl/Encoders.h"

namespace vela::test {
namespace {

class DatabaseServiceTest : public ServedDbTest {
 protected:
  void SetUp() override {
    ServedDbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    WriteSchemaIni("[customers]\nCaption=Customers\n[customers.city]\nCaption=Town\n");
    CreateTable({"customers",
                 {F("name", ftString, 40, true), F("city", ftString, 40), F("credit", ftLargeint),
                  F("photo", ftBlob)}});
    RegisterDatabaseServices(FApp.Router(), Db());
    StartServing("writer");
  }

  // Calls a service method; the answer's JSON (null when it is none).
  TJsonValue Call(const std::string& method, const std::string& body, long status = 200,
                  const std::string& token = "") {
    auto a = FClient->Post("/database/" + method, body, token.empty() ? FToken : token);
    EXPECT_EQ(a.Status, status) << method << " " << body << "\n" << a.Body << a.Error;
    try {
      return TJsonValue::Parse(a.Body);
    } catch (const std::exception&) {
      ADD_FAILURE() << "no JSON: " << a.Body;
      return {};
    }
  }
  std::string ErrorText(const TJsonValue& answer) {
    const TJsonValue* text = answer.Member("errorText");
    return text ? text->AsString() : "(no error text)";
  }
};

TEST_P(DatabaseServiceTest, TableServiceAddsReadsUpdatesAndDeletes) {
  const std::string photo("\x00\x01\xff", 3);
  auto added = Call("Table.Add", R"({"table":"Customers","record":{"name":"Ada","city":"Bonn",)"
                                 R"("credit":5,"photo":")" +
                                     Base64Encode(photo) + R"("}})");
  const int64_t ada = added.Find("id") ? added.Find("id")->AsInteger() : 0;
  ASSERT_GT(ada, 0) << added.ToJSON();
  // Values are bound: SQL in a value is stored as text.
  const std::string evil = "x'); DROP TABLE customers; --";
  const int64_t bob = Call("Table.Add", R"({"table":"customers","record":{"name":")" + evil +
                                            R"(","city":"Köln"}})")
                          .Find("id")
                          ->AsInteger();

  auto bonn = Call("Table.Read", R"({"table":"customers","filter":{"CITY":"Bonn"}})");
  EXPECT_EQ(bonn.ToJSON(), R"({"result":true,"table":"customers","count":1,"records":[{"id":)" +
                               std::to_string(ada) +
                               R"(,"name":"Ada","city":"Bonn","credit":5,"photo":")" +
                               Base64Encode(photo) + R"("}]})");
  auto names = Call("Table.Read", R"({"table":"customers","fields":["name"],"limit":1})");
  EXPECT_EQ(names.Find("records")->ToJSON(), R"([{"name":"Ada"}])");
  auto koeln = Call("Table.Read", R"({"table":"customers","filter":{"city":"Köln"}})");
  EXPECT_EQ(koeln.Find("records[0].name")->AsString(), evil);

  EXPECT_EQ(Call("Table.Update", R"({"table":"customers","id":)" + std::to_string(ada) +
                                     R"(,"record":{"city":"Berlin","credit":null}})")
                .ToJSON(),
            R"({"result":true,"updated":1})");
  EXPECT_EQ(RowValue("customers", "city", ada).AsString(), "Berlin");
  EXPECT_TRUE(RowValue("customers", "credit", ada).IsNull());

  const std::string deleteBob = R"({"table":"customers","id":)" + std::to_string(bob) + "}";
  EXPECT_EQ(Call("Table.Delete", deleteBob).ToJSON(), R"({"result":true,"deleted":1})");
  EXPECT_EQ(RowIds("customers"), std::vector<int64_t>{ada});
  EXPECT_EQ(ErrorText(Call("Table.Delete", deleteBob, 404)),
            "No record " + std::to_string(bob) + " in table 'customers'");
  // A record the database refuses (name is required) is a client error.
  Call("Table.Add", R"({"table":"customers","record":{"city":"Ulm"}})", 400);
  EXPECT_EQ(CountRows("customers"), 1);
}

TEST_P(DatabaseServiceTest, UnknownTablesAndFieldsAreRefusedByName) {
  struct TCase {
    std::string Method, Body;
    long Status;
    std::string Error;
  } cases[] = {
      {"Table.Read", R"({"table":"nope"})", 404, "Unknown table 'nope'"},
      {"Table.Read", R"({"table":"vela_accesstoken"})", 404, "Unknown table 'vela_accesstoken'"},
      {"Schema.Table", R"({"table":"vela_schemaversion"})", 404,
       "Unknown table 'vela_schemaversion'"},
      {"Table.Read", R"({"table":"customers","fields":["name","pwd"]})", 400,
       "Unknown field 'pwd' in table 'customers'"},
      {"Table.Read", R"({"table":"customers","filter":{"name\" OR 1=1 --":"x"}})", 400,
       "Unknown field 'name\" OR 1=1 --' in table 'customers'"},
      {"Table.Update", R"({"table":"customers","record":{"name":"A"}})", 400,
       "The request needs the member 'id' (an integer)"},
      {"Table.Add", R"({"record":{"name":"A"}})", 400,
       "The request needs the member 'table' (a string)"},
      {"Table.Read", R"({"table":"customers","limit":-1})", 400,
       "The member 'limit' must be a number of records (0 or more)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Method + " " + c.Body);
    EXPECT_EQ(ErrorText(Call(c.Method, c.Body, c.Status)), c.Error);
  }
  EXPECT_EQ(
      ErrorText(Call("Table.Read", "{\"table\":", 400)).rfind("The request is no valid JSON", 0),
      0u);
  EXPECT_EQ(CountRows("customers"), 0);
}

TEST_P(DatabaseServiceTest, TokensAuthenticateAndCarryRights) {
  const std::string reader = FTokens->Add("reader", "200");
  EXPECT_EQ(reader.size(), 64u);
  EXPECT_NE(reader, FToken);
  // Only the hash is kept.
  auto stored = Db().GetTableInterface();
  stored->Query("vela_accesstoken", {"tokenhash"}, {{"name", Variant("reader")}});
  ASSERT_FALSE(stored->Eof());
  EXPECT_NE(stored->Value(0).AsString(), reader);
  EXPECT_EQ(stored->Value(0).AsString(), TVelaAccessTokens::HashToken(reader));
  try {
    FTokens->Add("reader");
    ADD_FAILURE() << "a second token of one name";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "An access token named 'reader' exists already");
  }

  auto schema = Call("Schema.Tables", "", 200, reader);
  ASSERT_TRUE(schema.Find("tables")) << schema.ToJSON();
  std::vector<std::string> tables;
  for (const auto& t : schema.Find("tables")->Items())
    tables.push_back(t.Member("name")->AsString());
  EXPECT_NE(std::find(tables.begin(), tables.end(), "customers"), tables.end());
  for (const auto& t : tables)
    EXPECT_NE(t.rfind("vela_", 0), 0u) << "the host's own table " << t << " is served";
  auto customers = Call("Schema.Table", R"({"table":"customers"})", 200, reader);
  EXPECT_EQ(customers.Find("table.caption")->AsString(), "Customers");
  EXPECT_EQ(customers.Find("table.fields[2].name")->AsString(), "city");
  EXPECT_EQ(customers.Find("table.fields[2].caption")->AsString(), "Town");
  EXPECT_EQ(customers.Find("table.fields[1].required")->AsBoolean(), true);

  EXPECT_EQ(
      ErrorText(Call("Table.Add", R"({"table":"customers","record":{"name":"A"}})", 403, reader)),
      "The access token lacks the right 201 (write the database)");
  EXPECT_EQ(FClient->Post("/database/Table.Read", R"({"table":"customers"})", "").Status, 401);
  ASSERT_TRUE(FTokens->Remove("reader"));
  EXPECT_FALSE(FTokens->Remove("reader"));
  EXPECT_EQ(FClient->Post("/database/Table.Read", R"({"table":"customers"})", reader).Status, 401);
  ASSERT_EQ(FTokens->List().size(), 1u);
  EXPECT_EQ(FTokens->List()[0].Name, "writer");
}

VELA_INSTANTIATE_DB_TEST(DatabaseServiceTest);

}  // namespace
}  // namespace vela::test
