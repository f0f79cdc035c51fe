// What velaimport lists from the module's registries (the import formats with their filter
// indexes, the pre-processor libraries), and the errors and messages of a run as JSON lines.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

constexpr const char* kPeopleGuid = "{3E0F5A2B-8C41-4D7E-A6B9-1C2D3E4F5A61}";

// A home folder with the data schema of people.tic and the table person in its default
// database.
class CliModuleTest : public CliHomeTest {
 protected:
  void SetUp() override {
    CliHomeTest::SetUp();
    CopyToCustom(std::string(VELA_TEST_DATA_DIR) + "/cli/people.tic");
    FPeople = WriteHomeFile("people.ppl", "name;city;age\nAda;London;36\n");
    OpenDbConnection("sqlite:" + (FHome / "vela.db").string())
        ->ExecSQL(
            "CREATE TABLE person (id INTEGER PRIMARY KEY, name VARCHAR(40), city VARCHAR(40), "
            "age INTEGER)");
  }
  std::string FPeople;
};

TEST_F(CliModuleTest, FormatsInRegistryOrderAndFieldsByFilterIndex) {
  auto r = Velaimport({"--json", "formats"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  const TJson formats = JsonOut(r);
  ASSERT_TRUE(formats.is_array()) << r.Out;
  int dialogFormats = 0;
  int people = 0;
  for (const auto& f : formats) {
    std::vector<std::string> keys;
    for (auto it = f.begin(); it != f.end(); ++it)
      keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"filterIndex", "guid", "title", "fileExt", "engine",
                                              "name"}));
    // The formats of the file dialog are numbered from 1 in registry order.
    if (!f["filterIndex"].is_null()) {
      EXPECT_EQ(f["filterIndex"], ++dialogFormats) << f.dump();
    }
    if (f["guid"] == kPeopleGuid) {
      EXPECT_EQ(f.value("title", ""), "People list");
      EXPECT_EQ(f.value("fileExt", ""), ".ppl");
      EXPECT_EQ(f.value("name", ""), "people");
      people = f.value("filterIndex", 0);
    }
  }
  ASSERT_GT(people, 0) << r.Out;
  auto text = Velaimport({"formats"});
  EXPECT_TRUE(
      Contains(text.Out, std::to_string(people) + "\t" + kPeopleGuid + "\tPeople list\t.ppl\t"))
      << text.Out;

  for (const auto& args :
       {std::vector<std::string>{"fields", FPeople},
        std::vector<std::string>{"fields", FPeople, "--filter", std::to_string(people)}}) {
    auto fields = Velaimport(args);
    ASSERT_EQ(fields.ExitCode, 0) << Describe(fields);
    EXPECT_EQ(fields.Out, "name=Name\ncity=City\nage=Age\n");
  }
  auto unknown = Velaimport({"fields", FPeople, "--filter", "999"});
  EXPECT_EQ(unknown.ExitCode, 2) << Describe(unknown);
  EXPECT_EQ(unknown.Err, "error: no import format with filter index 999\n");
}

TEST_F(CliModuleTest, ErrorsAndMessagesAsJsonLines) {
  const std::string missing = (FHome / "missing.ppl").string();
  ExpectRuns(
      {
          {{"import", missing, "--table", "person"},
           2,
           R"({"type":"error","message":"file not found: )" + missing + "\"}\n"},
          {{"import", FPeople, "--table", "no_such_table"},
           2,
           R"x({"type":"error","message":"unknown table: no_such_table (--create-table creates it )x"
           R"x(from the source)"})x"
           "\n"},
          {{"import", FPeople, "--table", "person", "--frobnicate"},
           2,
           R"({"type":"error","message":")"},
          // Without the import right the module hands out no import object.
          {{"--rights", "101", "import", FPeople, "--table", "person"},
           1,
           R"x({"type":"error","message":"the user lacks right 100 (access to the data import)"})x"
           "\n"},
      },
      {"--json"}, true);

  auto r = Velaimport({"--json", "import", FPeople, "--table", "person"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(JsonOut(r).value("inserted", 0), 1) << r.Out;
  int messages = 0;
  for (size_t p = 0, e; (e = r.Err.find('\n', p)) != std::string::npos; p = e + 1, ++messages) {
    const TJson m = TJson::parse(r.Err.substr(p, e - p), nullptr, false);
    ASSERT_TRUE(m.is_object()) << r.Err;
    EXPECT_EQ(m.size(), 2u) << m.dump();
    EXPECT_EQ(m.value("type", ""), "info") << m.dump();
    EXPECT_TRUE(m["message"].is_string()) << m.dump();
  }
  EXPECT_GT(messages, 0);
}

TEST_F(CliModuleTest, PreprocessorsListTheUsableLibraries) {
  // The SDK example and the test libraries, of which the wrong versions, the one without
  // XMLPreProc and the text file are left out.
  CopyToCustom(VELA_EXAMPLE_VXP, "custom/plugins");
  for (const char* name : {"GoodPre.vxp", "version3.vxp", "noproc.vxp", "notalib.vxp"})
    CopyToCustom(std::string(VELA_TEST_PLUGIN_DIR) + "/" + name, "custom/plugins");
  auto text = Velaimport({"preprocessors"});
  ASSERT_EQ(text.ExitCode, 0) << Describe(text);
  // In the byte order of the file names: "GoodPre.vxp" before "example.vxp".
  EXPECT_EQ(text.Out,
            "goodpre.vxp\tTest pre-processor\timport,export-writer\t.txt,.csv\n"
            "example.vxp\tExample name=value pre-processor\timport\t.txt,.ini\n");
  auto json = Velaimport({"preprocessors", "--json"});
  ASSERT_EQ(json.ExitCode, 0) << Describe(json);
  EXPECT_EQ(JsonOut(json).dump(),
            R"([{"fileName":"goodpre.vxp","caption":"Test pre-processor","canUseByUser":true,)"
            R"("functions":["import","export-writer"],"fileExt":[".txt",".csv"]},)"
            R"({"fileName":"example.vxp","caption":"Example name=value pre-processor",)"
            R"("canUseByUser":true,"functions":["import"],"fileExt":[".txt",".ini"]}])");
}

}  // namespace
}  // namespace vela::test
