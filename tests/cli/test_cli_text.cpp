// velaimport import with the text engine, end to end on both backends: the import modes with and
// without records found by key, key fields, the header row, import definitions (assignments,
// advanced field settings, field change conditions), simulation, transactions and the error
// policies, the delimited reader with typed values, the language of the messages and the exit
// codes. The rules behind each option are the import object's and the engine's tests; here each
// option is run once.
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

// The schemas of cli_text.tic: orders (.ord), fixed (.fix), mixed (.mix with the sub-schemas
// mixed_person and mixed_amount), contacts (.cnt, first row is a header).
const std::string kSchemaFile = std::string(VELA_TEST_DATA_DIR) + "/cli/cli_text.tic";

// One import of a file over the two seeded persons: the options, the counts of the summary and
// the rows afterwards.
struct TCountCase {
  const char* Name;
  std::vector<std::string> Options;
  int Inserted, Updated;
  const char* Rows;
};

class CliTextImportTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CopyToCustom(kSchemaFile);
  }

  void CreatePerson() {
    CreateTable(
        {"person", {F("name", ftString, 40), F("city", ftString, 40), F("age", ftInteger)}});
  }
  // Two persons, written by a clean copy through the command line.
  void SeedPersons() {
    const auto file = WriteHomeFile("seed.cnt", "name;city;age\nAda;London;36\nAlan;Wilmslow;41\n");
    auto r = Velaimport({"import", file, "--table", "person", "--mode", "cleancopy"});
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    ASSERT_EQ(PersonRows(), "Ada|London|36\nAlan|Wilmslow|41\n");
  }

  std::string PersonRows() { return Rows("SELECT name, city, age FROM person ORDER BY id"); }
  void ClearPersons() { Db().Connection()->ExecSQL("DELETE FROM person"); }

  // Seeds the two persons again and imports the file with the case's options.
  void ExpectCounts(const std::string& file, const TCountCase& c) {
    SCOPED_TRACE(c.Name);
    ClearPersons();
    SeedPersons();
    auto r = JsonImport(Cat({file, "--table", "person"}, c.Options));
    ASSERT_TRUE(FS.is_object()) << r.Out;
    EXPECT_EQ(FS["result"], true);
    EXPECT_EQ(FS["inserted"], c.Inserted);
    EXPECT_EQ(FS["updated"], c.Updated);
    EXPECT_EQ(FS["messages"]["error"], 0);
    // Passing over a found record (onlynew) is no message at all.
    EXPECT_EQ(FS["messages"]["warning"], 0);
    EXPECT_EQ(PersonRows(), c.Rows);
  }

  // Runs an import with --json that ends with the exit code; returns the run, its summary in FS.
  TCliRun JsonImport(const std::vector<std::string>& args, int exitCode = 0) {
    auto r = Velaimport(Cat({"--json", "import"}, args));
    EXPECT_EQ(r.ExitCode, exitCode) << Describe(r);
    FS = JsonOut(r);
    return r;
  }
  TJson FS;  // the summary of the last JsonImport
};

// --- import modes ---

TEST_P(CliTextImportTest, ModesWithAndWithoutFoundRecords) {
  // Ada (36) is in the table, Grace (85) is not; the key is the integer field age.
  const char* updated = "Ada|Paris|36\nAlan|Wilmslow|41\nGrace|Arlington|85\n";
  const char* added = "Ada|London|36\nAlan|Wilmslow|41\nAda|Paris|36\nGrace|Arlington|85\n";
  const char* cleared = "Ada|Paris|36\nGrace|Arlington|85\n";
  const char* kept = "Ada|London|36\nAlan|Wilmslow|41\nGrace|Arlington|85\n";
  const TCountCase cases[] = {
      {"update", {"--mode", "update", "--key", "age"}, 1, 1, updated},
      {"update is the default", {"--key", "age"}, 1, 1, updated},
      {"onlynew", {"--mode", "onlynew", "--key", "age"}, 1, 0, kept},
      {"cleancopy", {"--mode", "cleancopy", "--key", "age"}, 2, 0, added},
      {"cleancopy cleared", {"--mode", "cleancopy", "--clear"}, 2, 0, cleared},
      {"update cleared", {"--key", "age", "--clear"}, 2, 0, cleared},
      {"update without key", {"--mode", "update"}, 2, 0, added},
      // --key reaches the key search in any letter case; a text key takes no part in it.
      {"key in another case", {"--key", "AGE"}, 1, 1, updated},
      {"text and integer key", {"--key", "name", "--key", "age"}, 1, 1, updated},
  };
  CreatePerson();
  const auto file = WriteHomeFile("in.cnt", "name;city;age\nAda;Paris;36\nGrace;Arlington;85\n");
  for (const auto& c : cases)
    ExpectCounts(file, c);
}

// --- the header row ---

struct TSkipCase {
  const char* Name;
  const char* File;  // .cnt has the header flag, .ord has not
  std::vector<std::string> Options;
  const char* Definition;  // '' for none
  const char* Names;
};

TEST_P(CliTextImportTest, SkipFirstOptionsOverrideTheFormatsHeaderFlag) {
  const char* all = "A\nB\nC\n";
  const TSkipCase cases[] = {
      {"format with header", "in.cnt", {}, "", "B\nC\n"},
      {"format with header, --no-skip-first", "in.cnt", {"--no-skip-first"}, "", all},
      {"format without header", "in.ord", {}, "", all},
      {"format without header, --skip-first", "in.ord", {"--skip-first"}, "", "B\nC\n"},
      {"definition keeps the header", "in.cnt", {}, "[Import]\nSkipFirstRecord=no\n", all},
      {"definition skips it", "in.ord", {}, "[Import]\nSkipFirstRecord=Yes\n", "B\nC\n"},
      {"option wins", "in.ord", {"--no-skip-first"}, "[Import]\nSkipFirstRecord=1", all},
  };
  CreateTable({"tag", {F("name", ftString, 20)}});
  WriteHomeFile("in.cnt", "A;x;1\nB;x;2\nC;x;3\n");
  WriteHomeFile("in.ord", "1;A;1;01.01.2020\n2;B;2;02.01.2020\n3;C;3;03.01.2020\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Db().Connection()->ExecSQL("DELETE FROM tag");
    auto args = Cat({"import", (FHome / c.File).string(), "--table", "tag"}, c.Options);
    if (*c.Definition) args = Cat(args, {"--definition", WriteHomeFile("def.ini", c.Definition)});
    auto r = Velaimport(args);
    ASSERT_EQ(r.ExitCode, 0) << Describe(r);
    EXPECT_EQ(Rows("SELECT name FROM tag ORDER BY id"), c.Names);
  }
}

// --- import definitions ---

TEST_P(CliTextImportTest, DefinitionSetsModeKeysAndAssignments) {
  CreatePerson();
  SeedPersons();
  // Assignments swap name and city; the key comes from the definition; unassigned age stays.
  const auto def = WriteHomeFile("def.ini",
                                 "[Import]\nMode=update ; find by age\nKeyFields=age\n"
                                 "[Assignments]\nname=city\ncity=name\nage=age\n");
  const auto file = WriteHomeFile("in.cnt", "name;city;age\nLovelace;Paris;36\nHopper;NYC;85\n");
  JsonImport({file, "--table", "person", "--definition", def});
  EXPECT_EQ(FS["inserted"], 1);
  EXPECT_EQ(FS["updated"], 1);
  EXPECT_EQ(PersonRows(), "Paris|Lovelace|36\nAlan|Wilmslow|41\nNYC|Hopper|85\n");

  // Options beat the definition: --mode onlynew writes nothing for the found records.
  const auto again = WriteHomeFile("again.cnt", "name;city;age\nX;Y;36\nZ;W;41\n");
  JsonImport({again, "--table", "person", "--definition", def, "--mode", "onlynew"});
  EXPECT_EQ(FS["inserted"], 0);
  EXPECT_EQ(FS["updated"], 0);
  EXPECT_EQ(PersonRows(), "Paris|Lovelace|36\nAlan|Wilmslow|41\nNYC|Hopper|85\n");
}

TEST_P(CliTextImportTest, FieldSettingsOfADefinition) {
  // The settings of [Field:city] reach the field rules (whose tests cover each rule): trimmed,
  // replaced ignoring case, then upper case.
  CreatePerson();
  const auto def = WriteHomeFile(
      "def.ini", "[Field:city]\nLeftTrim=1\nRightTrim=1\nReplace1=paris|Lyon|0\nCaseMode=2\n");
  const auto file = WriteHomeFile("in.cnt", "name;city;age\nX;\"  Paris  \";1\nY;berlin;2\n");
  auto r = Velaimport({"import", file, "--table", "person", "--definition", def});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(Rows("SELECT city FROM person ORDER BY id"), "LYON\nBERLIN\n");
}

// --- field change conditions ---

TEST_P(CliTextImportTest, FieldChangeConditionOfADefinition) {
  // After the key search, wherever newcity is filled in, it replaces city.
  CreatePerson();
  SeedPersons();
  const auto def = WriteHomeFile(
      "def.ini",
      "[Import]\nKeyFields=age\n[Condition1]\nField=newcity\nCondition=notequal\nValue=\n"
      "CheckMode=after\nAction=replace\nDestinationField=city\nReplaceField=newcity\n");
  const auto file = WriteHomeFile("in.cnt",
                                  "name;city;age;newcity\nAda;London;36;Paris\nAlan;Leeds;41;\n"
                                  "Grace;Arlington;85;Boston\n");
  JsonImport({file, "--table", "person", "--definition", def});
  EXPECT_EQ(FS["inserted"], 1);
  EXPECT_EQ(FS["updated"], 2);
  EXPECT_EQ(PersonRows(), "Ada|Paris|36\nAlan|Leeds|41\nGrace|Boston|85\n");
}

// --- simulation ---

TEST_P(CliTextImportTest, SimulationWritesNothing) {
  CreatePerson();
  SeedPersons();
  const auto file = WriteHomeFile("in.cnt", "name;city;age\nAda;Paris;36\nGrace;Arlington;85\n");
  // Neither the clearing nor the records reach the table.
  auto r = JsonImport(
      {file, "--table", "person", "--simulate", "--transaction", "--key=age", "--clear"});
  EXPECT_EQ(FS["result"], true);
  // The counts say what a real run would do.
  EXPECT_EQ(FS.value("inserted", 0) + FS.value("updated", 0), 2);
  EXPECT_TRUE(Contains(r.Err, "Simulation started")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "Simulation finished")) << r.Err;
  EXPECT_EQ(PersonRows(), "Ada|London|36\nAlan|Wilmslow|41\n");
}

// --- errors, transactions and the error policies ---

struct TPolicyCase {
  const char* Name;
  std::vector<std::string> Options;
  int ExitCode;
  bool Result;
  const char* Rows;
};

TEST_P(CliTextImportTest, RecordErrorsUnderTheErrorPolicies) {
  // Each policy option reaches the import object (whose tests cover their combinations), with
  // the exit code and the place of the error.
  // Eve's age is no integer: the conversion to the integer database field reports it.
  const char* all = "Ada|London|36\nEve|Paris|\nAlan|Wilmslow|41\n";
  const char* withoutEve = "Ada|London|36\nAlan|Wilmslow|41\n";
  const TPolicyCase cases[] = {
      {"no policy", {}, 4, true, all},
      {"transaction rolled back", {"--transaction", "--rollback-on-error"}, 1, false, ""},
      {"warnings roll nothing back", {"--transaction", "--rollback-on-warning"}, 4, true, all},
      {"record ignored", {"--ignore-record-on-error"}, 4, true, withoutEve},
      {"abort", {"--abort-on-error"}, 4, true, "Ada|London|36\nEve|Paris|\n"},
  };
  CreatePerson();
  const auto file =
      WriteHomeFile("bad.cnt", "name;city;age\nAda;London;36\nEve;Paris;old\nAlan;Wilmslow;41\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ClearPersons();
    auto r = JsonImport(Cat({file, "--table", "person"}, c.Options), c.ExitCode);
    ASSERT_TRUE(FS.is_object()) << r.Out;
    EXPECT_EQ(FS["result"], c.Result);
    EXPECT_GE(FS["messages"]["error"], 1);
    EXPECT_TRUE(
        Contains(r.Err, "{\"type\":\"error\",\"message\":\"" + file +
                            ":3: record 3: Cant't convert value 'old' of import field 'age'"))
        << r.Err;
    EXPECT_EQ(PersonRows(), c.Rows);
  }
}

TEST_P(CliTextImportTest, ErrorMessagesInGerman) {
  CreatePerson();
  const auto file = WriteHomeFile("bad.cnt", "name;city;age\nAda;London;36\nEve;Paris;old\n");
  auto r =
      Velaimport({"--lang", "de", "import", file, "--table", "person", "--ignore-record-on-error"});
  EXPECT_EQ(r.ExitCode, 4) << Describe(r);
  for (const std::string& line : std::vector<std::string>{
           "info: Import gestartet\n",
           "error: " + file +
               ":3: record 3: Wert 'old' des Importfeldes 'age' kann nicht in den erforderlichen "
               "Datentyp für das Datenbankfeld 'age' konvertiert werden.",
           "warning: " + file +
               ":3: record 3: Datensatz 3 wird auf Grund eines vorhergehenden Fehlers nicht "
               "importiert!",
           "info: Neue Datensätze: 1\n", "info: Import beendet\n"})
    EXPECT_TRUE(Contains(r.Err, line)) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "Import started")) << r.Err;
  EXPECT_EQ(PersonRows(), "Ada|London|36\n");
}

// --- readers and typed values ---

TEST_P(CliTextImportTest, DelimitedQuotesDatesAndDecimalComma) {
  CreateTable({"item",
               {F("no", ftInteger), F("name", ftString, 60), F("amount", ftFloat), F("day", ftDate),
                F("note", ftString, 200)}});
  const auto file = WriteHomeFile("in.ord",
                                  "1;\"Smith; John\";12,5;31.01.2024;plain\n"
                                  "2;'x';1234,56;29.02.2000;\"He said \"\"no\"\"\"\n"
                                  "3;\"Line\none\";0,05;01.12.1999;\"say \"\"hi\"\"\";x\n");
  JsonImport({file, "--table", "item"});
  EXPECT_EQ(FS["inserted"], 3);
  // The decimal comma becomes a number, the date mask dd.mm.yyyy a date; a quoted separator
  // stays in the value, doubled quotes stand for one, and a quoted line break joins two lines.
  // Three quotes before a separator close, reopen and close the field (the quote is lost).
  EXPECT_EQ(Rows("SELECT no, name, amount, day, note FROM item ORDER BY id"),
            "1|Smith; John|12.5|2024-01-31|plain\n"
            "2|'x'|1234.56|2000-02-29|He said \"no\"\n"
            "3|Line\r\none|0.05|1999-12-01|say \"hi\n");
  // The values arrive typed: numbers compare as numbers, dates as dates.
  EXPECT_EQ(Rows("SELECT no FROM item WHERE amount > 100 AND day < '2001-01-01'"), "2\n");
}

// --- usage errors and failures ---

TEST_P(CliTextImportTest, UsageErrorsWriteNothing) {
  // A definition that does not parse is the definition parser's test.
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--table", "person", "--mode", "sideways"}, ""},
      {{"--table", "person", "--skip-first", "--no-skip-first"}, ""},
      {{"--table", "person", "--map", "name"}, "--map needs DBFIELD=IMPORTFIELD: name"},
      {{"--table", "nosuch"}, "error: unknown table: nosuch"},
      {{"--table", "person", "--definition", "missing.ini"}, "definition file not found"},
  };
  CreatePerson();
  const auto file = WriteHomeFile("in.cnt", "name;city;age\nAda;London;36\n");
  for (const auto& [options, message] : cases) {
    SCOPED_TRACE(::testing::PrintToString(options));
    auto r = Velaimport(Cat({"import", file}, options));
    EXPECT_EQ(r.ExitCode, 2) << Describe(r);
    EXPECT_TRUE(Contains(r.Err, message)) << r.Err;
    EXPECT_EQ(PersonRows(), "");
  }
}

VELA_INSTANTIATE_CLI_TEST(CliTextImportTest);

}  // namespace
}  // namespace vela::test
