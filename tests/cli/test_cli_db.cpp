// velaimport db init and db tables on both backends, and the tables a user creates showing up
// with the captions of the annotation file.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

class CliDbBackendTest : public CliTest {};

TEST_P(CliDbBackendTest, InitCreatesTheHostTablesOnce) {
  auto first = Velaimport({"db", "init"});
  ASSERT_EQ(first.ExitCode, 0) << Describe(first);
  EXPECT_NE(first.Out.find("businessintegration_exchangecontainer"), std::string::npos)
      << first.Out;
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM businessintegration_importlog"), "0\n");
  // A second init finds everything in place and changes nothing.
  auto again = Velaimport({"db", "init"});
  EXPECT_EQ(again.ExitCode, 0) << Describe(again);
}

TEST_P(CliDbBackendTest, TablesListsAUserTableWithCaptions) {
  CreateTable({"order", {{"my field", ftString, 30, false, ""}, {"qty", ftInteger, 0, true, ""}}});
  WriteHomeFile("custom/schema.ini",
                "[order]\nCaption=Orders\n[order.my field]\nCaption=My field\n");
  auto r = Velaimport({"--json", "db", "tables"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_NE(r.Out.find("{\"name\":\"order\",\"caption\":\"Orders\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("{\"name\":\"my field\",\"caption\":\"My field\",\"type\":\"ftString\","
                       "\"size\":30,\"required\":false,\"kind\":\"data\"}"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("{\"name\":\"qty\",\"caption\":\"qty\",\"type\":\"ftInteger\""),
            std::string::npos)
      << r.Out;
}

VELA_INSTANTIATE_CLI_TEST(CliDbBackendTest);

}  // namespace
}  // namespace vela::test
