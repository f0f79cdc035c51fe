// velaimport preconvert end to end: a master table with a detail query of the host database
// (SQLite and PostgreSQL) into a VelaXML document, through the module's own pre-processor and
// through velasql.vxp in custom/plugins; the summary, the preview and the failures.
#include "CliTestSupport.h"
#include "VelaXMLTestSupport.h"

namespace vela::test {
namespace {

const char* const kConfig =
    "[VelaXML]\nPartName=ADDRESS\nItemName=ADDR\n[DB]\nTableName=address\n"
    "[Mapping]\nid=id\nname=name\n[FilterExpressionsImport]\ncountry=<>XX\n"
    "[DetailParts]\nOrders=\n[Orders_VelaXML]\nPartName=ORDERS\nItemName=ORDER\n"
    "[Orders_DB]\nQuery=SELECT orderno, total FROM orders WHERE addrid = :id ORDER BY orderno\n"
    "[Orders_Mapping]\norderno=no\ntotal=total\n@Parent:name=customer\n";

const char* const kTranscript =
    "<velaxmldata application=DB2VelaXML;orders.ini version=1>\n"
    " <ADDRESS count=3>\n"
    "  <ADDR>\n   id=1\n   name=anna\n"
    "   <ORDERS count=2>\n"
    "    <ORDER>\n     no=A-1\n     total=10\n     customer=anna\n"
    "    <ORDER>\n     no=A-2\n     total=2.5\n     customer=anna\n"
    "  <ADDR>\n   id=3\n   name=cleo\n"
    "   <ORDERS count=1>\n"
    "    <ORDER>\n     no=C-1\n     total=7\n     customer=cleo\n";

std::string Transcript(const std::string& document) {
  TMemoryStream data;
  data.Write(document.data(), static_cast<int64_t>(document.size()));
  data.Seek(0, soBeginning);
  return VelaXMLTranscript(data);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "missing output file " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliPreconvertTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    auto conn = Db().Connection();
    for (const char* sql :
         {"CREATE TABLE address (id INTEGER PRIMARY KEY, name VARCHAR(40), country VARCHAR(2))",
          "CREATE TABLE orders (orderno VARCHAR(10) PRIMARY KEY, addrid INTEGER, total DOUBLE "
          "PRECISION)",
          "INSERT INTO address VALUES (1, 'anna', 'DE'), (2, 'bob', 'XX'), (3, 'cleo', 'AT')",
          "INSERT INTO orders VALUES ('A-2', 1, 2.5), ('A-1', 1, 10), ('C-1', 3, 7)"})
      conn->ExecSQL(sql);
    FConfig = WriteHomeFile("orders.ini", kConfig);
    FInput = WriteHomeFile("input.txt", "");
    CopyToCustom(VELA_VELASQL_VXP, "custom/plugins");
  }
  std::string FConfig, FInput;
};

TEST_P(CliPreconvertTest, MasterWithDetailQueryIntoAFileStdoutAndJson) {
  const std::string out = (FHome / "doc.xml").string();
  auto toFile = Velaimport({"preconvert", FConfig, FInput, "--out", out});
  ASSERT_EQ(toFile.ExitCode, 0) << Describe(toFile);
  EXPECT_EQ(toFile.Out, "");
  const std::string document = ReadFile(out);
  EXPECT_EQ(Transcript(document), kTranscript);
  EXPECT_EQ(toFile.Err,
            "info: " + std::to_string(document.size()) + " bytes written to " + out + "\n");

  // The same document on stdout, and through the library named by file name or caption.
  for (std::vector<std::string> extra : {std::vector<std::string>{},
                                         {"--preprocessor", "velasql.vxp"},
                                         {"--preprocessor", "sql TABLES and queries"}}) {
    SCOPED_TRACE(::testing::PrintToString(extra));
    auto r = Velaimport(Cat({"preconvert", FConfig, FInput}, extra));
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    EXPECT_EQ(r.Out, document);
  }

  auto json = Velaimport(
      {"--json", "preconvert", FConfig, FInput, "--out", out, "--preprocessor", "velasql.vxp"});
  ASSERT_EQ(json.ExitCode, 0) << Describe(json);
  EXPECT_EQ(JsonOut(json), (TJson{{"result", true},
                                  {"preprocessor", "velasql.vxp"},
                                  {"output", out},
                                  {"bytes", document.size()}}));
  auto inline_ = Velaimport({"--json", "preconvert", FConfig, FInput});
  ASSERT_EQ(inline_.ExitCode, 0) << Describe(inline_);
  const TJson summary = JsonOut(inline_);
  EXPECT_EQ(summary.value("preprocessor", ""), "built-in");
  EXPECT_TRUE(summary["output"].is_null());
  EXPECT_EQ(summary.value("document", ""), document);
}

TEST_P(CliPreconvertTest, PreviewPrintsTheFirstRecords) {
  auto r = Velaimport({"preconvert", FConfig, FInput, "--preview", "--preview-records", "2"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Out, "ADDRESS\nid  name  country\n1   anna  DE\n2   bob   XX\n");
}

TEST_P(CliPreconvertTest, FailuresNameTheirCause) {
  const std::string bad = WriteHomeFile("bad.ini", "[DB]\nTableName=address\n");
  const std::string missing = (FHome / "none.ini").string();
  ExpectRuns(
      {{{"preconvert", missing, FInput},
        1,
        "error: Exception: Configuration file '" + missing + "' not found!\n"},
       {{"preconvert", FConfig, "no-such-input"},
        1,
        "error: input file 'no-such-input' not found\n"},
       {{"preconvert", bad, FInput},
        1,
        "error: Exception: PartName for VelaXML not found in configuration!\n"},
       {{"preconvert", FConfig, FInput, "--preprocessor", "nope.vxp"},
        2,
        "error: unknown pre-processor 'nope.vxp'; the pre-processor libraries are: velasql.vxp "
        "(SQL tables and queries)\n"}},
      {}, true);
}

VELA_INSTANTIATE_CLI_TEST(CliPreconvertTest);

}  // namespace
}  // namespace vela::test
