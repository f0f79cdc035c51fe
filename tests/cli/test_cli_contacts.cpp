// Contacts end to end: velaimport outlook folders on the public .pst samples, and vCard, LDIF and
// Outlook folder imports into a contacts table on both backends, including the key search of a
// repeated import.
#include <algorithm>
#include <ctime>

#include "TestData.h"
#include "cli/CliTestSupport.h"

namespace vela::test {
namespace {

const std::string kShared = VELA_SAMPLES_DIR;
const std::string kAspose = kShared + "/pst/aspose_SampleContacts.pst";
const std::string kJapanese = kShared + "/pst/pstextractor_contacts97-2002.pst";
const std::string kOutlookFormat = "{4705EAE6-C131-4FEF-A16D-1470BF85558F}";
// Entry ids: kind byte and libpff's item identifier, little endian. pffexport -l reports the
// same identifiers for these files (Contacts 32898 = 0x8082, 連絡先 32930 = 0x80A2).
const std::string kStoreID = "5321000000";
const std::string kAsposeContacts = "4682800000";
const std::string kJapaneseContacts = "46A2800000";

// The store's and the folder's entry ids of the first folder of an `outlook folders --json`
// listing whose key has the value.
std::pair<std::string, std::string> StoreAndFolder(const TCliRun& list, const std::string& key,
                                                   const TJson& value) {
  const TJson json = JsonOut(list);
  for (const auto& store : json.value("stores", TJson::array()))
    for (const auto& folder : store["folders"])
      if (folder.value(key, TJson()) == value) return {store["entryId"], folder["entryId"]};
  ADD_FAILURE() << "no folder with " << key << "=" << value.dump() << "\n" << Describe(list);
  return {};
}

// velaimport on its own home and default SQLite database (the listing needs no table).
class CliContactsOutlookFolders : public CliHomeTest {
 protected:
  void SetUp() override {
    CliHomeTest::SetUp();
    ASSERT_DATA_FILE(kAspose);
    ASSERT_DATA_FILE(kJapanese);
  }
};

TEST_F(CliContactsOutlookFolders, JsonListsStoreFoldersCountsAndSourceNames) {
  auto r = Velaimport({"--json", "outlook", "folders", kAspose});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  const TJson json = JsonOut(r);
  EXPECT_EQ(json.value("file", ""), kAspose);
  ASSERT_EQ(json["stores"].size(), 1u) << r.Out;
  const TJson& store = json["stores"][0];
  EXPECT_EQ(store.value("entryId", ""), kStoreID);
  EXPECT_EQ(store.value("name", ""), "Personal folders");
  // Folders of the file, depth first, the default contacts folder marked.
  const struct {
    std::string Id, Name, Path;
    int Items;
    bool Contacts, Default;
  } folders[] = {
      {"4622800000", "Top of Personal Folders", "Top of Personal Folders", 0, false, false},
      {"4662800000", "Deleted Items", "Top of Personal Folders/Deleted Items", 0, false, false},
      {kAsposeContacts, "Contacts", "Top of Personal Folders/Contacts", 6, true, true},
  };
  std::vector<std::string> listed;
  for (const auto& folder : store["folders"])
    listed.push_back(folder.dump());
  auto at = listed.begin();
  for (const auto& f : folders) {
    const std::string object = TJson{
        {"entryId", f.Id},
        {"name", f.Name},
        {"path", f.Path},
        {"items", f.Items},
        {"contacts", f.Contacts},
        {"defaultContacts", f.Default},
        {"source", kAspose + "@" + f.Id + "@" +
                       kStoreID}}.dump();
    at = std::find(at, listed.end(), object);
    ASSERT_NE(at, listed.end()) << object << " missing or out of order\n" << r.Out;
  }
}

TEST_F(CliContactsOutlookFolders, TableShowsTheFoldersAndTheSourceNameOfTheContacts) {
  // A relative file name: the source name carries the absolute path, since relative profiles
  // lie below the application folder.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(kShared);
  auto r = Velaimport({"outlook", "folders", "pst/aspose_SampleContacts.pst"});
  std::filesystem::current_path(cwd);
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Out.rfind("store " + kStoreID + "  Personal folders\n", 0), 0u) << r.Out;
  const std::string absolute =
      std::filesystem::weakly_canonical(std::filesystem::path(kAspose)).string();
  for (const std::string& line : std::vector<std::string>{
           "  4682800000      6  default   Top of Personal Folders/Contacts\n",
           "  4662800000      0  -         Top of Personal Folders/Deleted Items\n",
           "source Top of Personal Folders/Contacts: " + absolute + "@" + kAsposeContacts + "@" +
               kStoreID + "\n"})
    EXPECT_TRUE(Contains(r.Out, line)) << r.Out;
  // Only folders with contacts get a source line.
  EXPECT_EQ(r.Out.find("source Top of Personal Folders/Deleted"), std::string::npos);
}

TEST_F(CliContactsOutlookFolders, MissingOrUnreadableFilesAndUsage) {
  const auto notPst = (FHome / "notes.pst").string();
  std::ofstream(notPst) << "not an Outlook data file\n";
  ExpectRuns(
      {
          {{"outlook", "folders", kShared + "/pst/missing.pst"},
           2,
           "error: file not found: " + kShared + "/pst/missing.pst\n"},
          {{"outlook", "folders", kShared + "/pst"}, 2, "error: file not found: "},
          {{"outlook", "folders", notPst}, 1, "error: EMapiError: Cannot open the data file '"},
          {{"outlook", "folders", DataFile("vcard/phone_export.vcf")}, 1, "error: EMapiError: "},
          {{"outlook"}, 2, ""},
          {{"outlook", "folders"}, 2, ""},
      },
      {}, true);
}

// --- imports into a contacts table ---

// The columns carry the names the contact engines deliver; the import assigns every import field
// to the column of the same name.
class CliContactsImport : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    THostTableDef table{"contacts", {}};
    for (const char* name : {"FirstName", "LastName", "FormattedName", "Organization", "Title",
                             "Email", "Email2", "TelWorkVoice", "AdrWorkCity"})
      table.Fields.push_back(F(name, ftString, 100));
    table.Fields.push_back(F("Birthday", ftDateTime));
    CreateTable(table);
  }

  // Imports and checks the JSON summary; returns the run.
  TCliRun Import(std::vector<std::string> args, int inserted, int updated) {
    args.insert(args.begin(), {"--json", "import"});
    auto r = Velaimport(args);
    EXPECT_EQ(r.ExitCode, 0) << Describe(r);
    EXPECT_EQ(r.Out, "{\"result\":true,\"inserted\":" + std::to_string(inserted) +
                         ",\"updated\":" + std::to_string(updated) +
                         ",\"messages\":{\"info\":4,\"warning\":0,\"error\":0}}\n")
        << Describe(r);
    return r;
  }

  std::string Contacts(const std::string& columns, const std::string& where = "") {
    return Rows("SELECT " + columns + " FROM contacts" + (where.empty() ? "" : " WHERE " + where) +
                " ORDER BY id");
  }
  std::string Count(const std::string& what, const std::string& where = "") {
    return Rows("SELECT COUNT(" + what + ") FROM contacts" +
                (where.empty() ? "" : " WHERE " + where));
  }
};

// A birthday as the destination shows it: a date-time of the child's local time zone.
std::string LocalDateTime(std::time_t utc) {
  std::tm tm{};
  localtime_r(&utc, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

TEST_P(CliContactsImport, FieldsListTheContactFieldsWithCaptions) {
  auto r = Velaimport({"fields", DataFile("vcard/phone_export.vcf")});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(
      r.Out.rfind("FirstName=First name\nSecondFirstName=Middle name\nLastName=Last name\n", 0), 0u)
      << r.Out;
  EXPECT_TRUE(Contains(r.Out, "\nEmail=E-mail\nEmail2=E-mail 2\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "\nBirthday=Birthday\n")) << r.Out;

  auto de =
      Velaimport({"--lang", "de", "--json", "fields", SampleFile("ldif/openldap_passwd.ldif")});
  ASSERT_EQ(de.ExitCode, 0) << Describe(de);
  EXPECT_EQ(de.Out.rfind("[\"FirstName=Vorname\",", 0), 0u) << de.Out;
  EXPECT_TRUE(Contains(de.Out, "\"Birthday=Geburtstag\"")) << de.Out;
}

TEST_P(CliContactsImport, VCardNamesEmailsAndBirthday) {
  Import({DataFile("vcard/phone_export.vcf"), "--table", "contacts"}, 1, 0);
  Import({SampleFile("vcard/ezvcard_rfc2426-example.vcf"), "--table", "contacts"}, 2, 0);
  // The values are the engine's (its tests read every field of these cards). The birthday is a
  // date-time column; a card without one stores the card library's "no date".
  EXPECT_EQ(Contacts("\"FormattedName\", \"Email\", \"Birthday\""),
            "Claire Moreau|c.moreau@mail.example|1961-03-05 00:00:00\n"
            "Frank Dawson|fdawson@earthlink.net|0100-01-01 00:00:00\n"
            "Tim Howes||0100-01-01 00:00:00\n");
  EXPECT_EQ(Count("*", "\"Birthday\" = '1961-03-05 00:00:00'"), "1\n");
}

TEST_P(CliContactsImport, OutlookFolderByTheIdsOfTheFolderListing) {
  const auto [store, folder] =
      StoreAndFolder(Velaimport({"--json", "outlook", "folders", kAspose}), "name", "Contacts");

  Import({kAspose + "@" + folder + "@" + store + "@", "--format", kOutlookFormat, "--table",
          "contacts"},
         6, 0);
  // The values themselves are the engine's (its tests read every contact): one of them.
  EXPECT_EQ(
      Contacts("\"FirstName\", \"FormattedName\", \"Title\", \"Email\"", "\"LastName\" = 'Tolle'"),
      "Margaret|Margaret J. Tolle|Recording engineer|MargaretJTolle@dayrep.com\n");
  // No birthday: the same "no date" as a card without one.
  EXPECT_EQ(Count("*", "\"Birthday\" = '0100-01-01 00:00:00'"), "6\n");

  // The ANSI file: Japanese names and a birthday of midnight in Japan, kept as UTC in the file
  // and stored in local time.
  const std::string jfolder =
      StoreAndFolder(Velaimport({"--json", "outlook", "folders", kJapanese}), "defaultContacts",
                     true)
          .second;
  EXPECT_EQ(jfolder, kJapaneseContacts);
  Import({kJapanese + "@" + jfolder + "@" + kStoreID + "@", "--format", kOutlookFormat, "--table",
          "contacts"},
         1, 0);
  EXPECT_EQ(Contacts("\"FirstName\", \"LastName\", \"Email\", \"AdrWorkCity\", \"Birthday\"",
                     "\"Email\" = 'test@example.com'"),
            "\xE3\x82\xB3\xE3\x83\xA0|\xE3\x82\xA4\xE3\x82\xB0\xE3\x82\xB6\xE3\x83\xB3\xE3\x83"
            "\x97\xE3\x83\xAB|test@example.com|Osaka|" +
                LocalDateTime(946652400) + "\n");  // 1999-12-31 15:00:00 UTC
}

TEST_P(CliContactsImport, RepeatedImportKeyedOnTheBirthdayUpdates) {
  // The same file twice in update mode; each record searches the table by the key, the records
  // of its own run included.
  const struct {
    std::string File;
    int Inserted1, Updated1, Inserted2, Updated2;
  } cases[] = {
      // The birthday finds the stored card.
      {DataFile("vcard/phone_export.vcf"), 1, 0, 0, 1},
      // Both cards lack a birthday: the second finds the first one's "no date", in both runs.
      {SampleFile("vcard/ezvcard_rfc2426-example.vcf"), 1, 1, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    Db().Connection()->ExecSQL("DELETE FROM contacts");
    const std::vector<std::string> args = {c.File,   "--table", "contacts", "--mode",
                                           "update", "--key",   "Birthday"};
    Import(args, c.Inserted1, c.Updated1);
    const std::string first = Contacts("\"FormattedName\", \"Email\", \"Birthday\"");
    Import(args, c.Inserted2, c.Updated2);
    // One row, with the values of the (last) matching card written again.
    EXPECT_EQ(CountRows("contacts"), 1);
    EXPECT_EQ(Contacts("\"FormattedName\", \"Email\", \"Birthday\""), first);
  }
}

VELA_INSTANTIATE_CLI_TEST(CliContactsImport);

}  // namespace
}  // namespace vela::test
