// The contact file engine on vCard and LDIF files: what reaches the processor per record, the
// field list with and without translations, abort and failure handling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "ImportEngine/_VCardImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "TestData.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "rtl/Variants.h"
#include "vcard/VCard.h"

namespace vela {
namespace {

using test::CardFieldNames;
using test::DataFile;
using test::SampleFile;
using TRecorder = test::TEngineRecorder<TVCardImportEngine>;

TEST(VCardImportEngine, FormatsByExtension) {
  TVCardImportEngine engine;
  ASSERT_EQ(engine.GetFormatCount(), 2);
  EXPECT_EQ(engine.GetFormats(0)->GUID, "{70061FE5-7F9A-4E4C-9206-D5F089CC4F60}");
  EXPECT_EQ(engine.GetFormats(1)->GUID, "{1F9694D0-7F02-4781-8481-0998BAD6FFF1}");
  EXPECT_TRUE(engine.IsFileForFormat("Contacts.VCF", 0));
  EXPECT_FALSE(engine.IsFileForFormat("contacts.ldif", 0));
  EXPECT_TRUE(engine.IsFileForFormat("people.ldif", 1));
}

TEST(VCardImportEngine, RecordsInFileOrderWithEveryFieldInFieldOrder) {
  TRecorder r;
  ASSERT_TRUE(r.Run(SampleFile("vcard/ezvcard_rfc2426-example.vcf")));
  ASSERT_EQ(r.Rows.size(), 2u);
  EXPECT_EQ(r.PostCalls, 2);
  EXPECT_TRUE(r.Messages.empty());
  EXPECT_EQ(r.Names(0), CardFieldNames());
  EXPECT_EQ(r.Names(1), CardFieldNames());

  // What the card holds is read in the card library's tests; here: which card gives which row.
  EXPECT_EQ(r.Value(0, "FormattedName"), "Frank Dawson");
  EXPECT_EQ(r.Value(0, "Url"), "http://home.earthlink.net/~fdawson");
  EXPECT_EQ(r.Type(0, "Email"), idtText);
  EXPECT_EQ(r.Value(1, "FormattedName"), "Tim Howes");
  EXPECT_EQ(r.Value(1, "Url"), "");  // no carry-over from the first card
  // No birthday: still a date, the minimum date.
  EXPECT_EQ(r.Type(1, "Birthday"), idtDate);
  EXPECT_EQ(r.Value(1, "Birthday"), DateToStr(MinDateTime));
}

TEST(VCardImportEngine, BirthdayIsADateAndRevisionADateTime) {
  TRecorder r;
  ASSERT_TRUE(r.Run(DataFile("vcard/phone_export.vcf")));
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Type(0, "Birthday"), idtDate);
  EXPECT_EQ(r.Value(0, "Birthday"), DateToStr(EncodeDate(1961, 3, 5)));
  // The revision is declared as date and time: type 3 as well, with "no date".
  EXPECT_EQ(r.Type(0, "Revision"), idtDate);
  EXPECT_EQ(r.Value(0, "Revision"), DateTimeToStr(MinDateTime));
}

// The file's values are pinned by its golden case (qp_hex_blocks.expected).
TEST(VCardImportEngine, AbortStopsAtTheAnsweredRecord) {
  TRecorder r;
  ASSERT_TRUE(r.Run(DataFile("vcard/qp_hex_blocks.vcf")));
  ASSERT_EQ(r.Rows.size(), 5u);
  r.AbortAtStart = 1;
  ASSERT_TRUE(r.Run(DataFile("vcard/qp_hex_blocks.vcf")));
  EXPECT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.PostCalls, 1);
}

TEST(VCardImportEngine, LdifEntriesThroughTheSameCard) {
  TRecorder r;
  ASSERT_TRUE(r.Run(SampleFile("ldif/openldap_its8667_accounting.ldif"), 1));
  // The card library reads all entries of an LDIF file as one contact; mail values accumulate.
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Value(0, "Email"), "May_Gaul@example.com; Ann_Tully@example.com");
}

TEST(VCardImportEngine, MissingFileIsOneErrorMessageAndTheEngineStaysUsable) {
  TRecorder r;
  EXPECT_FALSE(r.Run(VELA_TEST_DATA_DIR "/vcard/does-not-exist.vcf"));
  ASSERT_EQ(r.Messages.size(), 1u);
  EXPECT_EQ(r.Messages[0].second, imtError);
  EXPECT_EQ(r.Messages[0].first.rfind("EFOpenError: ", 0), 0u) << r.Messages[0].first;
  EXPECT_TRUE(r.Rows.empty());

  ASSERT_TRUE(r.Run(DataFile("vcard/phone_export.vcf")));
  EXPECT_EQ(r.Rows.size(), 1u);
}

TEST(VCardImportEngine, QueryFieldsPlainAndTranslated) {
  TVCardImportEngine engine;
  const std::vector<std::string> names = CardFieldNames();
  IPtr<IStringListData> fields;
  ASSERT_TRUE(engine.QueryFields(fields, false));
  EXPECT_EQ(fields->Items(), names);

  int asked = 0;
  engine.SetOnGetTranslation(
      [&asked](TBaseDataImportEngine*, std::string_view key, std::string& value) {
        ++asked;
        value = "VC_" + std::string(key);
      });
  ASSERT_TRUE(engine.QueryFields(fields, true));
  ASSERT_EQ(fields->Items().size(), names.size());
  EXPECT_EQ(asked, static_cast<int>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(fields->Items()[i], names[i] + "=VC_" + names[i]);

  // A new instance keeps the handler.
  IPtr<IDataImportEngine> copy = engine.NewInstance();
  ASSERT_TRUE(copy->QueryFields(fields, false));
  EXPECT_EQ(asked, 2 * static_cast<int>(names.size()));
  EXPECT_EQ(fields->Items()[0], names[0] + "=VC_" + names[0]);
}

}  // namespace
}  // namespace vela
