// The Outlook engine over the data-file MAPI layer, on the public .pst samples.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_OutlookImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "TestData.h"
#include "platform/mapi/VelaMapi.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/FileUtils.h"

namespace vela {
namespace {

const std::string kPst = std::string(VELA_SAMPLES_DIR) + "/pst/";
const std::string kAspose = kPst + "aspose_SampleContacts.pst";
const std::string kJapanese = kPst + "pstextractor_contacts97-2002.pst";
const std::string kStoreID = "5321000000";
const std::string kAsposeContacts = "4682800000";

using test::CardFieldNames;
using TRecorder = test::TEngineRecorder<TOutlookImportEngine>;

// The values of some fields of one row, joined by "|".
std::string Values(const TRecorder& r, size_t row, std::initializer_list<const char*> fields) {
  std::string out;
  for (const char* f : fields)
    out += (out.empty() ? "" : "|") + r.Value(row, f);
  return out;
}

// Tests on the .pst samples: a missing sample ends the test before the data file layer sees it.
class OutlookMapi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_DATA_FILE(kAspose);
    ASSERT_DATA_FILE(kJapanese);
  }
};
using OutlookImportEngine = OutlookMapi;

TEST_F(OutlookMapi, FolderListingWithIdsNamesAndContactCounts) {
  const std::string listing = mapi::ListStoreFolders(kAspose);
  EXPECT_EQ(listing.substr(0, listing.find('\n')), "store " + kStoreID + " Personal folders");
  EXPECT_NE(listing.find("\n" + kAsposeContacts + "\t6\tTop of Personal Folders/Contacts\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("\t0\tTop of Personal Folders/Deleted Items\n"), std::string::npos);

  const std::string japanese = mapi::ListStoreFolders(kJapanese);
  EXPECT_EQ(japanese.substr(0, japanese.find('\n')), "store " + kStoreID + " contacts97-2002");
  // Folder names of a 97-2002 file in the code page its messages name (932 here).
  EXPECT_NE(japanese.find(
                "\n46A2800000\t1\tOutlook データ ファイルのトップ/連絡先 (Contact dedicated)\n"),
            std::string::npos)
      << japanese;

  EXPECT_THROW(mapi::ListStoreFolders(kPst + "missing.pst"), mapi::EMapiError);
}

TEST_F(OutlookMapi, SessionStoresAndFolders) {
  mapi::TMapiSession session;
  EXPECT_THROW(session.Logon(), mapi::EMapiError);  // no profile
  session.ProfileName = kAspose;
  session.Password = "ignored";
  session.Logon();
  ASSERT_TRUE(session.Active());
  auto store = session.OpenMsgStore();
  EXPECT_EQ(TextToHex(store->EntryID()), kStoreID);
  EXPECT_NO_THROW(session.OpenMsgStore(store->EntryID()));
  // Unknown store and folder ids, and the rows of the contacts folder: the engine tests.
  auto folder = store->OpenDefaultFolder(mapi::DefaultFolderContacts);
  EXPECT_EQ(TextToHex(folder->EntryID()), kAsposeContacts);
  EXPECT_EQ(folder->DisplayName(), "Contacts");
  EXPECT_THROW(store->OpenDefaultFolder(1), mapi::EMapiError);
  EXPECT_THROW(store->OpenFolder("x"), mapi::EMapiError);

  auto table = folder->ContentTable();
  EXPECT_EQ(table->RowCount(), 6);
  table->MoveFirst();
  EXPECT_TRUE(table->OpenRow()->GetProp(mapi::PROP_TAG(mapi::PT_UNICODE, 0x7FF0)).IsError());
  while (!table->Eof())
    table->Next();
  EXPECT_THROW(table->OpenRow(), mapi::EMapiError);
  session.Deactivate();
  EXPECT_FALSE(session.Active());
  EXPECT_THROW(session.OpenMsgStore(), mapi::EMapiError);
}

TEST(OutlookMapiTimes, FileTimes) {
  // 2000-01-01 00:00 UTC is 125911584000000000 in 100 ns ticks since 1601.
  EXPECT_DOUBLE_EQ(mapi::FileTimeToDateTime(125911584000000000ULL), EncodeDate(2000, 1, 1));
  EXPECT_DOUBLE_EQ(mapi::FileTimeToDateTime(0), EncodeDate(1601, 1, 1));
}

TEST_F(OutlookImportEngine, FormatAndOverrides) {
  TOutlookImportEngine engine;
  ASSERT_EQ(engine.GetFormatCount(), 1);
  EXPECT_EQ(engine.GetFormats(0)->GUID, "{4705EAE6-C131-4FEF-A16D-1470BF85558F}");
  EXPECT_FALSE(engine.IsFileForFormat("", 0));
  EXPECT_FALSE(engine.IsFileForFormat(kAspose, 0));
  std::string chosen = "stale";
  EXPECT_TRUE(engine.RunFilterTypeHandler(0, chosen));
  EXPECT_EQ(chosen, "");

  IPtr<IStringListData> fields;
  ASSERT_TRUE(engine.QueryFields(fields, false));
  EXPECT_EQ(fields->Items(), CardFieldNames());

  // Headless: the settings logon runs, no dialog, the input stays and the answer is false.
  const std::string input = kAspose + "@" + kAsposeContacts;
  engine.SetParameter(input, 0, {}, nullptr);
  EXPECT_FALSE(engine.EditSettings());
  EXPECT_EQ(engine.GetInputFile(), input);
}

TEST_F(OutlookImportEngine, SettingsTakeTheChosenFolderOnlyWhenConfirmed) {
  test::TScopedEngineUI ui;
  std::vector<std::string> seen;
  bool confirm = false;
  const std::string input = kAspose;
  const std::string chosen = kAspose + "@" + kAsposeContacts + "@" + kStoreID + "@pw";
  ui->OnSelectSource = [&](IDataImportEngine* engine, int32_t, std::string& source) {
    seen.push_back(engine->GetInputFile());
    source = chosen;
    return confirm;
  };
  TOutlookImportEngine engine;
  engine.SetParameter(input, 0, {}, nullptr);
  EXPECT_FALSE(engine.EditSettings());
  EXPECT_EQ(engine.GetInputFile(), input);  // cancelled
  confirm = true;
  EXPECT_FALSE(engine.EditSettings());  // the answer is always false
  EXPECT_EQ(engine.GetInputFile(), chosen);
  EXPECT_EQ(seen, (std::vector<std::string>{input, input}));

  // Without a profile there is no logon and no dialog.
  engine.SetParameter("", 0, {}, nullptr);
  EXPECT_THROW(engine.EditSettings(), mapi::EMapiError);
  EXPECT_EQ(seen.size(), 2u);
}

// The input name's parts as "profile|folder id|store id" ("-" for an id that is not set).
TEST(OutlookInputName, Parts) {
  TOutlookImportEngine engine;
  auto parts = [&](const std::string& input) {
    engine.SetParameter(input, 0, {}, nullptr);
    auto hex = [](const auto& id) { return id ? TextToHex(*id) : std::string("-"); };
    return engine.ProfileName() + "|" + hex(engine.FolderID()) + "|" + hex(engine.MsgStoreID());
  };
  EXPECT_EQ(parts("Kontakte"), "Kontakte|-|-");
  EXPECT_EQ(parts("Kontakte@4682800000@5321000000@geheim"), "Kontakte|4682800000|5321000000");
  EXPECT_EQ(parts("Kontakte@@@"), "Kontakte|-|-");
  // Empty parts are dropped, so the store id moves into the folder position.
  EXPECT_EQ(parts("Kontakte@@5321000000"), "Kontakte|5321000000|-");
  EXPECT_EQ(parts(""), "|-|-");
  EXPECT_THROW(engine.SetParameter("p@zz", 0, {}, nullptr), EConvertError);
}

TEST_F(OutlookImportEngine, ProfileOnlyOpensTheDefaultContactsFolder) {
  TRecorder r;
  ASSERT_TRUE(r.Run(kAspose)) << (r.Messages.empty() ? "" : r.Messages[0].first);
  EXPECT_TRUE(r.Messages.empty());
  ASSERT_EQ(r.Rows.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(r.Names(i), CardFieldNames());
    for (const test::TRecordedValue& v : r.Rows[i])
      EXPECT_EQ(v.Type, v.Name == "Birthday" ? idtDateTime : idtText) << v.Name;
    EXPECT_EQ(r.Value(i, "Role"), "");
  }
  std::string formatted;
  for (size_t i = 0; i < 6; ++i)
    formatted += r.Value(i, "FormattedName") + "|";
  EXPECT_EQ(formatted,
            "Sebastian Wright|Wichert Kroos|Christoffer van de Meeberg|Margaret J. Tolle|"
            "Matthew R. Wilcox|Bertha A. Buell|");

  EXPECT_EQ(r.Value(0, "Email"), "SebastianWright@dayrep.com");
  EXPECT_EQ(r.Value(1, "Organization"), "Grade A Investment");
  EXPECT_EQ(
      Values(r, 3,
             {"FirstName", "SecondFirstName", "LastName", "Organization", "Title", "Email",
              "TelWorkVoice", "Gender"}),
      "Margaret|J.|Tolle|Adaptaz|Recording engineer|MargaretJTolle@dayrep.com|(08)9080-1183|1");
  // A contact without e-mail address or birthday sends empty values.
  EXPECT_EQ(Values(r, 4, {"LastName", "Email", "Birthday"}), "Wilcox||");
}

TEST_F(OutlookImportEngine, GivenFolderAndStoreIdsAndErrors) {
  TRecorder r;
  ASSERT_TRUE(r.Run(kAspose + "@" + kAsposeContacts + "@" + kStoreID + "@secret"));
  EXPECT_EQ(r.Rows.size(), 6u);
  r.AbortAtStart = 2;  // abort stops reading
  ASSERT_TRUE(r.Run(kAspose));
  EXPECT_EQ(r.Rows.size(), 2u);
  r.AbortAtStart = -1;

  // A folder without contacts gives no records.
  ASSERT_TRUE(r.Run(kAspose + "@4662800000@" + kStoreID));
  EXPECT_TRUE(r.Rows.empty());

  const std::string failing[] = {
      kAspose + "@4699990000",                          // unknown folder
      kAspose + "@" + kAsposeContacts + "@5399000000",  // unknown store
      kPst + "missing.pst",                             // no data file
      "@" + kAsposeContacts,                            // no profile: the id becomes the profile
  };
  for (const std::string& input : failing) {
    EXPECT_FALSE(r.Run(input)) << input;
    ASSERT_EQ(r.Messages.size(), 1u) << input;
    EXPECT_EQ(r.Messages[0].second, imtError);
    EXPECT_EQ(r.Messages[0].first.rfind("EMapiError: ", 0), 0u) << r.Messages[0].first;
    EXPECT_TRUE(r.Rows.empty());
  }
}

TEST_F(OutlookImportEngine, AnsiStringsByTheItemCodePageAndBirthdayInLocalTime) {
  TRecorder r;
  ASSERT_TRUE(r.Run(kJapanese));
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(Values(r, 0,
                   {"LastName", "FirstName", "AdrWorkCountry", "AdrWorkCity", "AdrWorkPostal",
                    "Email", "TelHomeVoice", "TelHomeCellular", "TelWorkFax", "Url"}),
            "イグザンプル|コム|日本|Osaka|544-0001|test@example.com|06-0001-0001|080-0001-0001|"
            "06-0001-0003|https://example.com");
  // Midnight of 2000-01-01 in Japan, stored as UTC, arrives in the local time zone.
  const TDateTime utc = EncodeDate(1999, 12, 31) + EncodeTime(15, 0, 0, 0);
  EXPECT_EQ(r.Type(0, "Birthday"), idtDateTime);
  EXPECT_EQ(r.Value(0, "Birthday"), DateTimeToStr(UTCToLocal(utc)));
}

TEST_F(OutlookImportEngine, ProfilesFromTheApplicationFolder) {
  const std::string saved = GetApplicationFolder();
  const std::string app = CreateTempFolder({}, "vela-mapi");
  ForceDirectories(app + "/custom");
  {
    std::ofstream ini(app + "/custom/mapi-profiles.ini");
    ini << "[Profiles]\nKontakte=" << kAspose << "\nRelativ=data/contacts.pst\n";
  }
  SetApplicationFolder(app);
  EXPECT_EQ(mapi::ResolveProfile("Kontakte"), kAspose);
  EXPECT_EQ(mapi::ResolveProfile("Relativ"), app + "/data/contacts.pst");
  EXPECT_EQ(mapi::ResolveProfile("other.pst"), app + "/other.pst");
  EXPECT_EQ(mapi::ResolveProfile("$APP$/x.pst"), app + "/x.pst");

  TRecorder r;
  const bool ok = r.Run("Kontakte@" + kAsposeContacts + "@" + kStoreID + "@pw");
  SetApplicationFolder(saved);
  std::filesystem::remove_all(app);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.Rows.size(), 6u);
}

}  // namespace
}  // namespace vela
