// velaimport with the standard file engine (dBase, XML data packets, delimited text) and the
// database engine (an ODBC source, whose table is chosen with --table-param table=NAME), into
// SQLite and PostgreSQL.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

constexpr const char* kXmlPacketGuid = "{E6D9313A-B24F-40D0-BA0D-FA27F710176D}";
constexpr const char* kTextGuid = "{4AD627B0-DFD6-4DE3-A51E-AF51926B89FA}";

class CliStdFileTest : public CliTest {
 protected:
  bool IsSQLite() const { return GetParam() == TDbBackendKind::SQLite; }

  // The destination of most tests: lower-case names, where the sources use upper case.
  void CreateItems() {
    CreateTable({"items",
                 {F("name", ftString, 30), F("qty", ftInteger), F("price", ftFloat),
                  F("since", ftDate), F("note", ftString, 40)}});
  }

  // A float column as an integer in hundredths: the same text on both backends.
  static std::string Cents(const std::string& column) {
    return "CAST(ROUND(" + column + " * 100) AS INTEGER)";
  }

  // The stored rows; a NULL shows as "-", which tells it from an empty text.
  static std::string ItemQuery() {
    return "SELECT COALESCE(name, '-'), COALESCE(CAST(qty AS VARCHAR(20)), '-'), " +
           Cents("price") +
           ", COALESCE(CAST(since AS VARCHAR(20)), '-'), COALESCE(note, '-') FROM items ORDER BY "
           "id";
  }

  // `velaimport fields` on a source succeeds with the output.
  void ExpectFields(const std::vector<std::string>& args, const std::string& out) {
    auto r = Velaimport(args);
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    EXPECT_EQ(r.Out, out);
  }

  // A SQLite database for the SQLite3 ODBC driver with the table "customers".
  std::string WriteSQLiteSource() {
    const std::string path = (FDir / "source.db").string();
    auto c = OpenDbConnection("sqlite:" + path);
    c->ExecSQL(
        "CREATE TABLE customers (custno INTEGER PRIMARY KEY, Name VARCHAR(30), "
        "Balance DOUBLE, Since DATE, Remark TEXT)");
    c->ExecSQL("INSERT INTO customers VALUES (17, 'M\xC3\xBCller', 1234.5, '2024-02-29', 'first')");
    c->ExecSQL("INSERT INTO customers (custno, Name) VALUES (18, 'Empty')");
    c->ExecSQL("CREATE TABLE other (x INTEGER)");
    return path;
  }

  void CreateCustomers() {
    CreateTable({"cust",
                 {F("custno", ftInteger), F("name", ftString, 30), F("balance", ftFloat),
                  F("since", ftDate), F("remark", ftString, 40)}});
  }

  static std::string OdbcSource(const std::string& db) {
    return "Provider=MSDASQL;Driver=SQLite3;Database=" + db;
  }
};

// --- dBase -------------------------------------------------------------------------------------

TEST_P(CliStdFileTest, DbaseFilesByDefaultAssignmentOrMapLines) {
  // Deleted records, NULL values and code pages are the dBase reader's (its tests write such a
  // file); here the columns are found by name or by --map and arrive typed.
  CreateTable(
      {"people", {F("name", ftString, 16), F("birthdate", ftDate), F("note", ftString, 20)}});
  CreateTable({"points",
               {F("point_id", ftString, 20), F("type", ftString, 20), F("date_visit", ftDate),
                F("max_pdop", ftFloat), F("gps_second", ftFloat), F("unfilt_pos", ftInteger)}});
  const std::string people = std::string(VELA_SAMPLES_DIR) + "/dbf/dbfread_people.dbf";
  ExpectFields({"--json", "fields", people}, "[\"NAME\",\"BIRTHDATE\"]\n");
  const std::string peopleQuery =
      "SELECT name, COALESCE(CAST(birthdate AS VARCHAR(20)), '-'), COALESCE(note, '-') FROM "
      "people ORDER BY id";
  const struct {
    std::string File;
    std::vector<std::string> Options;  // the table first
    const char* Inserted;
    std::string Query, Rows;
  } cases[] = {
      {people, {"people"}, "inserted 2,", peopleQuery, "Alice|1987-03-01|-\nBob|1980-11-12|-\n"},
      {people,
       {"people", "--map", "note=NAME", "--map", "name=BIRTHDATE"},
       "inserted 2,",
       peopleQuery,
       "1987/03/01|-|Alice\n1980/11/12|-|Bob\n"},
      // A dBase III table with N5.1 and N12.3 fields; "Point_ID" is there twice (C and N): the
      // name finds the first.
      {std::string(VELA_SAMPLES_DIR) + "/dbf/infused_dbase_03.dbf",
       {"points"},
       "inserted 14,",
       "SELECT (SELECT COUNT(*) FROM points), point_id, type, date_visit, " + Cents("max_pdop") +
           ", " + Cents("gps_second") + ", unfilt_pos FROM points ORDER BY id LIMIT 2",
       "14|0507121|CMP|2005-07-12|520|22662500|2\n14|0507122|CMP|2005-07-12|490|22667000|1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File + " " + ::testing::PrintToString(c.Options));
    Db().Connection()->ExecSQL("DELETE FROM " + c.Options[0]);
    auto r = Velaimport(Cat({"import", c.File, "--table"}, c.Options));
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    EXPECT_TRUE(Contains(r.Out, c.Inserted)) << r.Out;
    EXPECT_EQ(Rows(c.Query), c.Rows);
  }
  if (IsSQLite()) {
    EXPECT_EQ(Rows("SELECT typeof(unfilt_pos), typeof(max_pdop) FROM points LIMIT 1"),
              "integer|real\n");
  }
  // A column the file lacks: the run fails with the component's message.
  auto bad = Velaimport({"import", people, "--table", "people", "--map", "name=NOSUCH"});
  EXPECT_EQ(bad.ExitCode, 1) << Describe(bad);
  EXPECT_TRUE(Contains(bad.Err, "NOSUCH")) << bad.Err;
}

// --- XML data packet and text ------------------------------------------------------------------

constexpr const char* kPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="Name" fieldtype="string" WIDTH="30"/>
<FIELD attrname="QTY" fieldtype="i4"/>
<FIELD attrname="Price" fieldtype="r8"/>
<FIELD attrname="SINCE" fieldtype="date"/>
</FIELDS><PARAMS/></METADATA>
<ROWDATA>
<ROW Name="A &amp; B" QTY="3" Price="12.25" SINCE="20240115"/>
<ROW Name="Only name"/>
</ROWDATA></DATAPACKET>)";

TEST_P(CliStdFileTest, XmlDataPacketByFormat) {
  CreateItems();
  const std::string xml = WriteHomeFile("packet.xml", kPacket);
  ExpectFields({"fields", xml, "--format", kXmlPacketGuid}, "Name\nQTY\nPrice\nSINCE\n");
  auto r = Velaimport({"import", xml, "--table", "items", "--format", kXmlPacketGuid});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  // Names compared ignoring case ("Price" to "price"); absent attributes are empty.
  EXPECT_EQ(Rows(ItemQuery()), "A & B|3|1225|2024-01-15|-\nOnly name|0|0|0100-01-01|-\n");
}

TEST_P(CliStdFileTest, DelimitedTextThroughTheStandardFileEngine) {
  CreateItems();
  const std::string txt =
      WriteHomeFile("items.txt", "NAME;QTY;PRICE\nAnna;4;9.5\n\"Semi;colon\";;\n");
  // Without a data schema for ".txt" the extension alone finds the standard file engine.
  ExpectFields({"fields", txt}, "NAME\nQTY\nPRICE\n");
  auto r = Velaimport({"import", txt, "--table", "items", "--format", kTextGuid});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(Rows("SELECT name, qty, " + Cents("price") + " FROM items ORDER BY id"),
            "Anna|4|950\nSemi;colon|0|0\n");
}

// --- ODBC sources ------------------------------------------------------------------------------

TEST_P(CliStdFileTest, OdbcSQLiteTableByTableParam) {
  CreateCustomers();
  const std::string source = OdbcSource(WriteSQLiteSource());
  ExpectFields({"fields", source, "--table-param", "table=customers"},
               "custno\nName\nBalance\nSince\nRemark\n");

  auto r = Velaimport({"import", source, "--table-param", "table=customers", "--table", "cust"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.Out, "inserted 2, updated 0")) << r.Out;
  // Names compared ignoring case; NULL arrives as empty text: 0, the smallest date, "".
  EXPECT_EQ(Rows("SELECT custno, name, " + Cents("balance") +
                 ", since, COALESCE(remark, '-') FROM cust ORDER BY id"),
            "17|M\xC3\xBCller|123450|2024-02-29|first\n18|Empty|0|0100-01-01|\n");

  // A second run with a key updates instead of inserting: the table is given again per run.
  auto again = Velaimport({"import", source, "--table-param", "table=customers", "--table", "cust",
                           "--key", "custno", "--map", "custno=custno", "--map", "remark=Name"});
  ASSERT_EQ(again.ExitCode, 0) << Describe(again);
  EXPECT_TRUE(Contains(again.Out, "inserted 0, updated 2")) << again.Out;
  EXPECT_EQ(Rows("SELECT custno, name, remark FROM cust ORDER BY id"),
            "17|M\xC3\xBCller|M\xC3\xBCller\n18|Empty|Empty\n");
}

TEST_P(CliStdFileTest, SourceSettingErrors) {
  CreateCustomers();
  CreateItems();
  const std::string source = OdbcSource(WriteSQLiteSource());
  const std::string dbf = std::string(VELA_SAMPLES_DIR) + "/dbf/dbfread_people.dbf";
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    const char* Message;
  } cases[] = {
      {{"fields", source}, 2, "--table-param table=NAME"},
      {{"import", source, "--table", "cust"}, 2, "--table-param table=NAME"},
      {{"fields", source, "--table-param", "schema=x"}, 2, "unknown source setting 'schema'"},
      {{"fields", source, "--table-param", "customers"}, 2, "NAME=VALUE"},
      {{"import", source, "--table", "cust", "--table-param", "table=nosuch"}, 1, "nosuch"},
      // A file source takes no source settings.
      {{"import", dbf, "--table", "items", "--table-param", "table=x"}, 2, "takes no source"},
  };
  for (const auto& c : cases) {
    auto r = Velaimport(c.Args);
    EXPECT_EQ(r.ExitCode, c.ExitCode) << Describe(r);
    EXPECT_TRUE(Contains(r.Err, c.Message)) << r.Err;
  }
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM cust"), "0\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM items"), "0\n");
}

VELA_INSTANTIATE_CLI_TEST(CliStdFileTest);

}  // namespace
}  // namespace vela::test
