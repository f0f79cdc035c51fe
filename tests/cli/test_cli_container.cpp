// velaimport container convert and show: the golden order document, content types guessed from
// the body, and bodies that do not read; container types and the import log on both backends.
#include <sstream>

#include "TestData.h"
#include "cli/CliTestSupport.h"
#include "host/DocumentStore.h"
#include "rtl/DateUtils.h"

namespace vela::test {
namespace {

class CliContainerTest : public CliHomeTest {
 protected:
  std::string Path(const char* name) const { return (FHome / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(CliContainerTest, ConvertsTheOrderIntoTheGoldenDocument) {
  const std::string config = DataFile("containers/order.ini");
  const std::string order = DataFile("containers/order.json");
  const std::string golden = DataFile("containers/order.xml");
  ASSERT_DATA_FILE(config);
  ASSERT_DATA_FILE(order);
  ASSERT_DATA_FILE(golden);
  // A JSON body is recognised without --content-type, also under another extension.
  const std::string body = WriteHomeFile("order.body", Read(order));
  auto r = Velaimport({"container", "convert", config, body, "--out", Path("order.xml")});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Out, "");
  std::string document = Read(Path("order.xml"));
  EXPECT_EQ(r.Err, "info: " + std::to_string(document.size()) + " bytes written to " +
                       Path("order.xml") + "\n");
  // The golden file has a line break between elements.
  std::string expected = Read(golden);
  std::erase(expected, '\n');
  std::erase(document, '\n');
  EXPECT_EQ(document, expected);
}

TEST_F(CliContainerTest, ShowsAGuessedMultipartFormAsHtml) {
  const std::string form = WriteHomeFile(
      "form.txt",
      "--b1\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\nJ\xC3\xB6rg & Co\r\n"
      "--b1\r\nContent-Disposition: form-data; name=\"qty\"\r\n\r\n3\r\n--b1--\r\n");
  auto r = Velaimport({"--json", "container", "show", form, "--html"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(JsonOut(r).dump(),
            "{\"result\":true,\"contentType\":\"multipart/"
            "form-data\",\"html\":\"name:&nbsp;<b>J\xC3\xB6rg "
            R"(&amp; Co</b><br>qty:&nbsp;<b>3</b>"})");
}

TEST_F(CliContainerTest, BodiesThatDoNotReadFailWithOneError) {
  const std::string config = WriteHomeFile("c.ini", "[VelaXML]\nPartName=P\n[Mapping]\na=A\n");
  WriteHomeFile("bad.json", "{\"a\": [1, 2}");
  WriteHomeFile("cut.txt", "--b1\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--b");
  ExpectRuns(
      {
          {{"convert", config, Path("bad.json")},
           1,
           "error: " + Path("bad.json") +
               ": EJsonParserException: JSON 1:12 (byte 11): unexpected character\n"},
          {{"show", Path("cut.txt")},
           1,
           "error: " + Path("cut.txt") + ": EMultipartFormDataError: "},
          {{"show", Path("cut.txt"), "--content-type", "text/csv"},
           1,
           "error: " + Path("cut.txt") + ": EConvertError: the content type \"text/csv\" is not"},
          {{"convert", Path("none.ini"), Path("bad.json")},
           2,
           "error: configuration file '" + Path("none.ini") + "' not found\n"},
      },
      {"container"}, true);
}

class CliContainerTypeTest : public CliTest {};

TEST_P(CliContainerTypeTest, TypeAddStoresAndReplacesTypesInPlace) {
  const std::string config("[Settings]\nImportLogEnabled=0\n\xff", 30);
  const std::string file = WriteHomeFile("order.ini", config);
  auto added = Velaimport({"--json", "container", "type", "add", "shop", "--config", file,
                           "--content-type", "application/json", "--response", "thanks"});
  ASSERT_EQ(added.ExitCode, 0) << Describe(added);
  const int64_t id = JsonOut(added)["id"].get<int64_t>();
  EXPECT_EQ(JsonOut(added)["replaced"], false);
  auto replaced = Velaimport({"--json", "container", "type", "add", "shop", "--config", file,
                              "--allow-unauth", "--response-content-type", "text/plain"});
  ASSERT_EQ(replaced.ExitCode, 0) << Describe(replaced);
  EXPECT_EQ(JsonOut(replaced)["id"], id);
  EXPECT_EQ(JsonOut(replaced)["replaced"], true);
  const auto stored = RowValue("businessintegration_exchangecontainertype", "importconfig", id);
  EXPECT_EQ(std::string(stored.GetBytes().begin(), stored.GetBytes().end()), config);
  // Options left out are cleared by the replacement.
  EXPECT_EQ(Rows("SELECT descr, contenttype, rawresponsecontenttype, rawresponsecontent FROM "
                 "businessintegration_exchangecontainertype"),
            "shop||text/plain|\n");
  auto types = Velaimport({"--json", "container", "types"});
  ASSERT_EQ(types.ExitCode, 0) << Describe(types);
  EXPECT_EQ(JsonOut(types)["types"].dump(),
            R"([{"id":)" + std::to_string(id) +
                R"(,"name":"shop","allowUnauth":true,"contentType":"","responseContentType":)"
                R"("text/plain","response":"","configBytes":30}])");
  ExpectRuns({{{"container", "type", "add", "x", "--config", "missing.ini"},
               2,
               "error: configuration file 'missing.ini' not found"},
              {{"container", "type", "add", "x"}, 2, "error: --config is required"}},
             {}, true);
}

TEST_P(CliContainerTypeTest, LogShowsTheLastEntriesNewestLastWithTheirDocuments) {
  std::vector<int64_t> ids;
  for (int i = 0; i < 22; ++i)
    ids.push_back(InsertRow(
        "businessintegration_importlog",
        {{"globalrecuid", "{" + std::to_string(i) + "}"},
         {"processedstateid", i % 3},
         {"descr", "entry " + std::to_string(i)},
         {"createdate", Variant::FromDateTime(EncodeDateTime(2024, 5, 2, 10, 15, i, 0))}}));
  TVelaDocumentStore(Db()).AttachFile("businessintegration_importlog", ids[21],
                                      WriteHomeFile("up.bin", "{}"), "order.json");
  auto all = Velaimport({"--json", "log"});
  ASSERT_EQ(all.ExitCode, 0) << Describe(all);
  const TJson entries = JsonOut(all)["entries"];
  ASSERT_EQ(entries.size(), 20u);
  EXPECT_EQ(entries[0]["id"], ids[2]);
  EXPECT_EQ(entries[19].dump(), R"({"id":)" + std::to_string(ids[21]) +
                                    R"(,"createdate":"2024-05-02 10:15:21","state":"new",)"
                                    R"("descr":"entry 21","logmessage":"","documents":)"
                                    R"(["order.json"]})");
  auto last = Velaimport({"log", "--last", "2"});
  ASSERT_EQ(last.ExitCode, 0) << Describe(last);
  EXPECT_EQ(last.Out, std::to_string(ids[20]) + "  2024-05-02 10:15:20  failed  entry 20\n" +
                          std::to_string(ids[21]) +
                          "  2024-05-02 10:15:21  new  entry 21\n    documents: order.json\n");
}

VELA_INSTANTIATE_CLI_TEST(CliContainerTypeTest);

}  // namespace
}  // namespace vela::test
