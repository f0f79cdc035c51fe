// velaimport container convert and show: the golden order document, content types guessed from
// the body, and bodies that do not read.
#include <sstream>

#include "TestData.h"
#include "cli/CliTestSupport.h"

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

}  // namespace
}  // namespace vela::test
