// velaimport as a new user meets it: --create-table and the short format names on both
// backends, the checks of field assignments and key fields, and the errors of bad schema files,
// misspelt options and commands, with their hints.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

const std::string kData = VELA_TEST_DATA_DIR;

class CliNewUserTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CopyToCustom(kData + "/cli/cli_text.tic");
  }
  // The fields of a table after id as the schema reads them back, "name:type(size)" a line;
  // empty when there is no such table.
  std::string Columns(const std::string& table) {
    Db().RefreshSchema();
    std::string out;
    if (auto item = Db().GetSchemaByName(table))
      for (int i = 1; i < item->GetFieldCount(); ++i) {
        const auto& f = item->GetField(i);
        out += f.Name + ":" + FieldTypeName(f.DataType) +
               (f.Size ? "(" + std::to_string(f.Size) + ")" : "") + "\n";
      }
    return out;
  }
};

TEST_P(CliNewUserTest, CreateTableFromEachKindOfSource) {
  const std::string csv = WriteHomeFile("my.csv", "name,qty\nAda,3\nBob,4\n");
  const std::string ord = WriteHomeFile("in.ord", "1;Ada;12,5;31.01.2024;x\n2;Bob;3;01.02.2024;\n");
  const struct {
    std::vector<std::string> Args;
    const char* Table;
    std::string Columns;  // of the created table, after id
    std::string Query, Rows;
  } cases[] = {
      {{csv, "--format", "csv"},
       "t",
       "name:ftString\nqty:ftString\n",
       "SELECT name, qty FROM t ORDER BY id",
       "Ada|3\nBob|4\n"},
      // A data schema by its name: the columns take the schema's types.
      {{ord, "--format", "orders"},
       "o",
       "no:ftInteger\nname:ftString\namount:ftFloat\nday:ftDate\nnote:ftString\n",
       "SELECT no, name, CAST(amount * 10 AS INTEGER), day, note FROM o ORDER BY id",
       "1|Ada|125|2024-01-31|x\n2|Bob|30|2024-02-01|\n"},
      {{kData + "/samples/dbf/dbfread_people.dbf", "--format", "dbf"},
       "d",
       "NAME:ftString\nBIRTHDATE:ftString\n",
       "SELECT \"NAME\", \"BIRTHDATE\" FROM d ORDER BY id",
       "Alice|1987/03/01\nBob|1980/11/12\n"},
      {{kData + "/samples/vcard/ezvcard_John_Doe_EVOLUTION.vcf", "--format", "vcard"},
       "v",
       "",
       "SELECT \"FirstName\", \"LastName\", \"Birthday\", \"Revision\" FROM v",
       "John|Doe|1980-03-22|2012-03-05\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Table);
    auto r = Velaimport(Cat(Cat({"import"}, c.Args), {"--table", c.Table, "--create-table"}));
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    EXPECT_TRUE(Contains(r.Err, "info: table " + std::string(c.Table) + " created with")) << r.Err;
    if (!c.Columns.empty()) {
      EXPECT_EQ(Columns(c.Table), c.Columns);
    }
    EXPECT_EQ(Rows(c.Query), c.Rows);
  }
  // An existing table is kept: the second run only adds the rows.
  auto again = Velaimport({"import", csv, "--format", "csv", "--table", "t", "--create-table"});
  ASSERT_EQ(again.ExitCode, 0) << Describe(again);
  EXPECT_FALSE(Contains(again.Err, "created")) << again.Err;
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM t"), "4\n");
}

TEST_P(CliNewUserTest, CreateTableRefusesSourcesThatMakeNoTable) {
  const std::string empty = WriteHomeFile("empty.csv", "");
  const std::string binary = WriteHomeFile("bin.csv", std::string("\x7F"
                                                                  "ELF\x02\x01\x00,x\n",
                                                                  10));
  const struct {
    std::string Source, Table;
    int ExitCode;
    std::string Err;
  } cases[] = {
      {empty, "e", 2, "error: the source " + empty + " has no fields to create table e from"},
      {binary, "b", 2, "error: field 1 of " + binary + " has no usable column name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Table);
    auto r =
        Velaimport({"import", c.Source, "--format", "csv", "--table", c.Table, "--create-table"});
    EXPECT_EQ(r.ExitCode, c.ExitCode) << Describe(r);
    EXPECT_TRUE(Contains(r.Err, c.Err)) << r.Err;
    EXPECT_EQ(Columns(c.Table), "");  // nothing was created
  }
  // A dBase file that repeats a field name gets one column for it, and all its rows.
  const std::string dbf = kData + "/samples/dbf/infused_dbase_03.dbf";
  auto r = Velaimport({"import", dbf, "--format", "dbf", "--table", "d", "--create-table"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.Err, "warning: the source " + dbf + " repeats the field name Point_ID"))
      << r.Err;
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM d"), "14\n");
}

TEST_P(CliNewUserTest, AssignmentsAndKeysMustNameFieldsOfTheTable) {
  CreateTable({"person", {F("name", ftString, 40), F("age", ftInteger)}});
  const auto csv = WriteHomeFile("other.csv", "a,b\n1,2\n");
  const auto ppl = WriteHomeFile("in.csv", "name,age\nAda,36\n");
  ExpectRuns(
      {
          {{csv},
           2,
           "error: no field of the source has the name of a field of table person\nsource fields: "
           "a, "
           "b\ntable fields: name, age\nassign them with --map DBFIELD=IMPORTFIELD\n"},
          {{ppl, "--key", "nosuchfield"},
           2,
           "error: --key: 'nosuchfield' is no field of table person (fields: name, age)\n"},
          // A text key is allowed; the warning says that it finds nothing.
          {{ppl, "--key", "name"},
           0,
           "warning: key field 'name' is a text field: text fields take no part in the search for "
           "existing records, so records found only by it are inserted again\n"},
      },
      {"import", "--format", "csv", "--table", "person"});
  EXPECT_EQ(Rows("SELECT name, age FROM person"), "Ada|36\n");

  // A bad value names the file, the physical line where its record began, and the record.
  const auto bad = WriteHomeFile("bad.csv", "name,age\n\"Ada\nLovelace\",36\nBob,old\n");
  auto r = Velaimport({"import", bad, "--format", "csv", "--table", "person"});
  EXPECT_EQ(r.ExitCode, 4) << Describe(r);
  EXPECT_TRUE(Contains(r.Err, "error: " + bad +
                                  ":4: record 2: Cant't convert value 'old' of "
                                  "import field 'age'"))
      << r.Err;
}

VELA_INSTANTIATE_CLI_TEST(CliNewUserTest);

// --- without a database ---

TEST_F(CliHomeTest, ABadSchemaFileNamesItselfAndCrashesNothing) {
  const std::string head =
      "<?xml version=\"1.0\"?>\n<dataschemas>\n<schema name=\"x\" descr=\"X\" fext=\".x\" "
      "type=\"s\" fs=\";\" hs=\"0\" fih=\"0\" cfe=\"1\" uffd=\"1\" fur=\"1\" "
      "uid=\"{7B1C0D2E-3F40-4A51-8B62-9C7D8E9FA0FF}\" fgn=\"\">\n";
  const std::string fields = "<fields><a descr=\"A\" dt=\"idtString\" /></fields>\n";
  const std::string tail = "</schema>\n</dataschemas>\n";
  const struct {
    const char* Name;
    std::string Content;
  } cases[] = {
      {"empty", ""},
      {"binary junk", std::string("\x00\x01\xFF\xFE junk \x7F\x80", 12)},
      {"prec not a number",
       head + "<dataformats><idtFloat prec=\"x\" /></dataformats>" + fields + tail},
      {"link to a missing schema",
       head + fields + "<subschemalinks><link fld=\"0\" fldval=\"P\" ds=\"7\" /></subschemalinks>" +
           tail},
      {"single-quoted attributes",
       "<?xml version='1.0'?><dataschemas><schema name='x' "
       "descr='X' fext='.x' type='s'></schema></dataschemas>"},
  };
  const std::string input = WriteHomeFile("in.vcf", "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = WriteHomeFile("custom/x.tic", c.Content);
    auto r = Velaimport({"formats"});
    ASSERT_TRUE(r.ExitCode == 0 || r.ExitCode == 1) << Describe(r);
    if (r.ExitCode == 1) {
      EXPECT_TRUE(Contains(r.Err, "error: EPluginLoadError: ")) << r.Err;
      EXPECT_TRUE(Contains(r.Err, "(data schema file " + file + ")")) << r.Err;
    }
    // Converting contacts needs no module.
    auto card = Velaimport({"card", "convert", input, (FHome / "out.ldif").string()});
    EXPECT_EQ(card.ExitCode, 0) << Describe(card);
  }
}

TEST_F(CliHomeTest, MisspeltOptionsCommandsAndSourcesAreNamed) {
  const std::string csv = WriteHomeFile("in.csv", "a\n1\n");
  const std::string folder = FHome.string();
  ExpectRuns({
      {{"import", csv, "--tabel", "x"}, 2, "error: unknown option: --tabel\n"},
      {{"xml-exprt"}, 2, "error: unknown command 'xml-exprt'; the commands are: formats, fields,"},
      {{"db", "frob"}, 2, "error: unknown command 'frob'; the commands are: init, tables\n"},
      {{"import", folder, "--table", "t"}, 2, "error: " + folder + " is a folder, not a file\n"},
      {{"card", "convert", folder, csv + ".vcf"}, 2, "error: " + folder + " is a folder"},
      {{"card", "convert", csv, csv + ".vcf", "--charset", "klingon"},
       2,
       "error: --charset: unknown charset 'klingon'; known: UTF-8, "},
      {{"fields", csv, "--format", "nosuch"},
       2,
       "error: unknown import format 'nosuch'; known: text, vcard, ldif, dbf, packet, csv, odbc, "
       "outlook or a GUID (see `velaimport formats`)\n"},
      {{"fields", csv},
       1,
       "error: Can't find a import engine which supports the file '" + csv +
           "'!\nhint: `velaimport formats` lists the import formats"},
      {{"--json", "fields", csv},
       1,
       "{\"type\":\"error\",\"message\":\"Can't find a import engine which supports the file '" +
           csv + "'!\"}\n{\"type\":\"hint\",\"message\":\"`velaimport formats` lists"},
  });
  // The short names in the list of formats, and a format chosen by one of them.
  auto formats = Velaimport({"formats"});
  EXPECT_TRUE(Contains(formats.Out, "\tStandardfile Import\tcsv\n")) << formats.Out;
  auto fields = Velaimport({"fields", csv, "--format", "CSV"});
  EXPECT_EQ(fields.Out, "a\n") << Describe(fields);
}

}  // namespace
}  // namespace vela::test
