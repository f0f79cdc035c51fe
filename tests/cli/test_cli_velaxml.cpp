// VelaXML exchange end to end: a scheduled export from an SQLite installation imported into the
// test's database (SQLite or PostgreSQL) through a VXC configuration, the user pick-up store with
// a redirected document, post-processing, and the failures a user meets first.
#include "CliTestSupport.h"
#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"

namespace vela::test {
namespace {

// The tables, with the backend's own generated record identifier.
void CreateTables(TDbConnection& AConn) {
  AConn.ExecSQL("CREATE TABLE customers (" + AConn.IdColumnSQL() +
                ", name VARCHAR(40), city VARCHAR(40), amount DOUBLE PRECISION)");
  AConn.ExecSQL("CREATE TABLE orders (" + AConn.IdColumnSQL() +
                ", customers_id INTEGER, item VARCHAR(40))");
}

class CliVelaXMLTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    auto conn = Db().Connection();
    CreateTables(*conn);
  }
  // velaimport on another database than the test's.
  TCliRun VelaimportOn(const std::string& AUrl, const std::vector<std::string>& AArgs) {
    const auto saved = FGlobalArgs;
    FGlobalArgs = {"--db", AUrl, "--no-progress"};
    TCliRun r = Velaimport(AArgs);
    FGlobalArgs = saved;
    return r;
  }
};

TEST_P(CliVelaXMLTest, ScheduledExportFromSQLiteImportsThroughAVXCConfiguration) {
  const std::string sourceUrl = "sqlite:" + (FDir / "source.db").string();
  {
    auto source = TVelaDatabase::Open(sourceUrl);
    auto conn = source->Connection();
    CreateTables(*conn);
    conn->ExecSQL(
        "INSERT INTO customers (name, city, amount) VALUES ('Müller & Söhne', 'Köln', 12.5), "
        "('Smith <Ltd>', NULL, -3.25)");
    conn->ExecSQL(
        "INSERT INTO orders (customers_id, item) VALUES (1, 'Bolts'), (1, 'Nuts'), (2, 'Tape')");
  }
  const std::string doc = (FHome / "exchange" / "doc.xml").string();
  std::filesystem::create_directories(FHome / "exchange");
  const std::string exportCfg =
      WriteHomeFile("export.cfg", "DataFile=" + doc + "\nParts=customers\nOnlyThisPlace=0\n");
  auto exported = VelaimportOn(sourceUrl, {"schedule", "VelaXML-Export", exportCfg});
  ASSERT_EQ(exported.ExitCode, 0) << Describe(exported);
  EXPECT_EQ(exported.Out,
            "VelaXML-Export\tinfo\tVelaXML-Export file '" + doc + "' successfully finished.\n");

  const std::string vxc = WriteHomeFile(
      "import.vxc", "[VelaXML]\nDataFile=" + doc + "\n[Settings]\nImportLogEnabled=0\n");
  auto imported = Velaimport({"vxc", vxc, "import"});
  ASSERT_EQ(imported.ExitCode, 0) << Describe(imported);
  EXPECT_EQ(Rows("SELECT name, city, amount FROM customers ORDER BY id"),
            "Müller & Söhne|Köln|12.5\nSmith <Ltd>||-3.25\n");
  EXPECT_EQ(Rows("SELECT c.name, o.item FROM orders o JOIN customers c ON c.id = o.customers_id "
                 "ORDER BY o.id"),
            "Müller & Söhne|Bolts\nMüller & Söhne|Nuts\nSmith <Ltd>|Tape\n");

  // What a user meets first: a missing pre-processor, a broken document, a wrong action.
  const std::string missingPre =
      WriteHomeFile("missing.cfg", "DataFile=" + doc + "\nPreProcessor=nothere.vxp\n");
  auto noPre = Velaimport({"schedule", "VelaXML-Import", missingPre});
  EXPECT_EQ(noPre.ExitCode, 1);
  EXPECT_NE(noPre.Out.find("VelaXML-Import\terror\tVelaXML-Import pre-processor '"),
            std::string::npos)
      << noPre.Out;
  EXPECT_NE(noPre.Out.find("nothere.vxp' not found!"), std::string::npos) << noPre.Out;
  const std::string broken = WriteHomeFile("broken.xml", "<velaxmldata><customers><row>");
  ExpectRuns({{{"xml-import", broken}, 1, "error: EVelaXMLImportError: "},
              {{"xml-import", (FHome / "none.xml").string()}, 1, "error: EVelaXMLImportError: "},
              {{"schedule", "VelaXML-Nothing", exportCfg}, 2, "error: unknown scheduled action"}});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM customers"), "2\n");
  // The import log holds the failed runs with their files and errors (the configuration above
  // turned the log off for its own run; a missing pre-processor stops before any run).
  EXPECT_EQ(Rows("SELECT descr, processedstateid FROM businessintegration_importlog ORDER BY id"),
            broken + "|2\n" + (FHome / "none.xml").string() + "|2\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM businessintegration_importlog WHERE logmessage LIKE "
                 "'%line 1%' OR logmessage LIKE '%No such file%'"),
            "2\n");
}

TEST_P(CliVelaXMLTest, RedirectedDocumentWaitsInThePickupStoreAndImportsLater) {
  const std::string ini = (FHome / "state" / "sub" / "last.ini").string();
  const std::string doc = WriteHomeFile(
      "redirect.xml",
      "<velaxmldata><velaxmldestination handler=\"userpickup\" pickuptype=\"order\" "
      "keywords=\"web shop\"></velaxmldestination>"
      "<velaxmlpostprocess command=\"WriteINIFileValue\" runtype=\"success\">" +
          ini +
          "\nImport\nLast\n$IMPORTFILENAME$</velaxmlpostprocess>"
          "<customers><row><name velaxmldataencoding=\"text\">Ann</name></row></customers>"
          "</velaxmldata>");
  auto stored = Velaimport({"xml-import", doc});
  ASSERT_EQ(stored.ExitCode, 0) << Describe(stored);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM customers"), "0\n");

  auto list = Velaimport({"pickup", "list"});
  ASSERT_EQ(list.ExitCode, 0) << Describe(list);
  EXPECT_EQ(list.Out, "1\torder\tweb shop\tnew\t\n");

  auto picked = Velaimport({"pickup", "import", "1"});
  ASSERT_EQ(picked.ExitCode, 0) << Describe(picked);
  EXPECT_EQ(picked.Out, "1\torder\tweb shop\tsuccess\t\n");
  EXPECT_EQ(Rows("SELECT name FROM customers"), "Ann\n");
  // The post-processing action ran when the picked-up document was imported (it has no file
  // name then), into a folder that did not exist.
  std::ifstream in(ini);
  const std::string written((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(written.find("[Import]"), std::string::npos) << written;
  EXPECT_NE(written.find("Last="), std::string::npos) << written;
}

TEST_P(CliVelaXMLTest, APreProcessorLibraryConvertsTheSourceOnTheWayIn) {
  {
    auto conn = Db().Connection();
    conn->ExecSQL("CREATE TABLE archive (" + conn->IdColumnSQL() +
                  ", name VARCHAR(40), town VARCHAR(40))");
    conn->ExecSQL("INSERT INTO customers (name, city) VALUES ('Ann', 'Graz'), ('Bob', 'Linz')");
  }
  CopyToCustom(VELA_VELASQL_VXP, "custom/plugins");
  const std::string config =
      WriteHomeFile("archive.ini",
                    "[VelaXML]\nPartName=archive\nItemName=row\n[DB]\nTableName=customers\n"
                    "[Mapping]\nname=name\ncity=town\n");
  const std::string input = WriteHomeFile("input.txt", "");
  auto r = Velaimport({"xml-import", input, "--preprocessor", "velasql.vxp", "--param", config});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(Rows("SELECT name, town FROM archive ORDER BY name"), "Ann|Graz\nBob|Linz\n");

  // And the other way: the part handler of "archive" exports into the library's writer, which
  // writes the rows into a table of its own.
  Db().Connection()->ExecSQL("CREATE TABLE copy (name VARCHAR(40) PRIMARY KEY, place VARCHAR(40))");
  const std::string back =
      WriteHomeFile("back.ini",
                    "[VelaXML]\nPartName=archive\nItemName=row\n[DB]\nTableName=copy\n"
                    "[Mapping]\nname=name\nplace=town\n");
  auto exported = Velaimport({"xml-export", (FHome / "target.txt").string(), "--parts", "archive",
                              "--preprocessor", "velasql.vxp", "--param", back});
  ASSERT_EQ(exported.ExitCode, 0) << Describe(exported);
  EXPECT_EQ(Rows("SELECT name, place FROM copy ORDER BY name"), "Ann|Graz\nBob|Linz\n");
}

VELA_INSTANTIATE_CLI_TEST(CliVelaXMLTest);

}  // namespace
}  // namespace vela::test
