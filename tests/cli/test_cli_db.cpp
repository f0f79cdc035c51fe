// velaimport db init and db tables on both backends, the tables a user creates showing up with
// the captions of the annotation file, the default database below the home folder and the
// errors of a database URL.
#include <algorithm>

#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

// The element of a JSON array whose "name" is name (null when there is none).
TJson Named(const TJson& array, const std::string& name) {
  for (const auto& item : array)
    if (item.value("name", "") == name) return item;
  return {};
}

using CliDbBackendTest = CliTest;

TEST_P(CliDbBackendTest, InitCreatesTheHostTables) {
  auto first = Velaimport({"--json", "db", "init"});
  ASSERT_EQ(first.ExitCode, 0) << Describe(first);
  const TJson json = JsonOut(first);
  EXPECT_EQ(json.value("result", false), true) << first.Out;
  const auto& tables = json["tables"];
  EXPECT_NE(std::find(tables.begin(), tables.end(), "businessintegration_exchangecontainer"),
            tables.end())
      << first.Out;
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM businessintegration_importlog"), "0\n");
}

TEST_P(CliDbBackendTest, TablesListsAUserTableWithCaptions) {
  CreateTable({"order", {F("my field", ftString, 30), F("qty", ftInteger, 0, true)}});
  WriteHomeFile("custom/schema.ini",
                "[order]\nCaption=Orders\n[order.my field]\nCaption=My field\n");
  auto r = Velaimport({"--json", "db", "tables"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  const TJson order = Named(JsonOut(r)["tables"], "order");
  EXPECT_EQ(order.value("caption", ""), "Orders") << r.Out;
  EXPECT_EQ(Named(order["fields"], "my field").dump(),
            R"({"name":"my field","caption":"My field","type":"ftString","size":30,)"
            R"("required":false,"kind":"data"})");
  EXPECT_EQ(Named(order["fields"], "qty").dump(),
            R"({"name":"qty","caption":"qty","type":"ftInteger","size":0,)"
            R"("required":true,"kind":"data"})");
}

VELA_INSTANTIATE_CLI_TEST(CliDbBackendTest);

TEST_F(CliHomeTest, DefaultDatabaseBelowHomeAndUrlErrors) {
  // Another database leaves the default alone; global options may follow the command.
  auto other =
      Velaimport({"db", "tables", "--db", "sqlite:" + (FHome / "other.db").string(), "--json"});
  EXPECT_EQ(other.ExitCode, 0) << Describe(other);
  EXPECT_TRUE(Named(JsonOut(other)["tables"], "businessintegration_importlog").is_object());
  EXPECT_FALSE(std::filesystem::exists(FHome / "vela.db"));

  auto init = Velaimport({"db", "init"});
  EXPECT_EQ(init.ExitCode, 0) << Describe(init);
  EXPECT_TRUE(Contains(init.Out, "  dataimport_userpickupstore\n")) << init.Out;
  EXPECT_TRUE(std::filesystem::exists(FHome / "vela.db"));

  ExpectRuns({
      {{"--db", "mysql://host/db", "db", "tables"}, 2, "error: "},
      {{"--db", "sqlite:" + (FHome / "no" / "dir" / "x.db").string(), "db", "init"}, 1, "error: "},
      {{"db"}, 2, "error: "},
  });
}

}  // namespace
}  // namespace vela::test
