// The contact file engine on the public vCard and LDIF samples: what reaches the processor per
// record, the field list with and without translations, abort and failure handling.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "ImportEngine/test_contact_recorder.h"
#include "ImportEngine/_VCardImportEngine.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "rtl/Variants.h"
#include "vcard/VCard.h"

namespace vela {
namespace {

const std::string kShared = VELA_SAMPLES_DIR;

using TRecord = test::TContactRecord;
using TRecorder = test::TContactRecorder<TVCardImportEngine>;

std::string Sample(const std::string& name) {
  return kShared + "/" + name;
}

TEST(VCardImportEngine, FormatsAndTitle) {
  TVCardImportEngine engine;
  EXPECT_EQ(engine.GetTitle(), "VCard Import");
  ASSERT_EQ(engine.GetFormatCount(), 2);
  struct {
    const char* guid;
    const char* title;
    const char* ext;
  } const expected[] = {
      {"{70061FE5-7F9A-4E4C-9206-D5F089CC4F60}", "VCard - Business Card", ".vcf"},
      {"{1F9694D0-7F02-4781-8481-0998BAD6FFF1}", "LDIF - LDAP Data Interchange", ".ldif"},
  };
  for (int i = 0; i < 2; ++i) {
    std::string guid, title, ext;
    engine.GetFormatInfo(i, guid, title, ext);
    EXPECT_EQ(guid, expected[i].guid);
    EXPECT_EQ(title, expected[i].title);
    EXPECT_EQ(ext, expected[i].ext);
    const TImportFormat* f = engine.GetFormats(i);
    EXPECT_FALSE(f->HasSettings);
    EXPECT_FALSE(f->FirstRowIsHeader);
    EXPECT_TRUE(f->CheckFileExt);
    EXPECT_TRUE(f->UseFormatForDialog);
    EXPECT_TRUE(f->FileNameIsUserReadable);
    EXPECT_EQ(f->Data, nullptr);
  }
  EXPECT_TRUE(engine.IsFileForFormat("Contacts.VCF", 0));
  EXPECT_FALSE(engine.IsFileForFormat("contacts.ldif", 0));
  EXPECT_TRUE(engine.IsFileForFormat("people.ldif", 1));

  // The extension check runs through CheckFile only.
  std::string error;
  engine.SetParameter(Sample("ldif/openldap_passwd.ldif"), 0, {}, nullptr);
  EXPECT_FALSE(engine.CheckFile(error));
  EXPECT_NE(error.find("is not a valid file for importtype 'VCard - Business Card'"),
            std::string::npos);
  engine.SetParameter(Sample("ldif/openldap_passwd.ldif"), 1, {}, nullptr);
  EXPECT_TRUE(engine.CheckFile(error));
}

TEST(VCardImportEngine, RecordsInFileOrderWithEveryFieldInFieldOrder) {
  TRecorder r;
  ASSERT_TRUE(r.Run(Sample("vcard/ezvcard_rfc2426-example.vcf")));
  ASSERT_EQ(r.Records.size(), 2u);
  EXPECT_EQ(r.PostCalls, 2);
  EXPECT_TRUE(r.Messages.empty());

  TVCard card;
  std::vector<std::string> names;
  for (int i = 0; i < card.FieldCount(); ++i)
    names.push_back(card.GetFieldNames(i));
  for (const TRecord& rec : r.Records)
    EXPECT_EQ(rec.Order, names);

  const TRecord& frank = r.Records[0];
  EXPECT_EQ(frank["FormattedName"], "Frank Dawson");
  EXPECT_EQ(frank["Organization"], "Lotus Development Corporation");
  EXPECT_EQ(frank["AdrWorkStreetAddress"], "6544 Battleford Drive");
  EXPECT_EQ(frank["AdrWorkCity"], "Raleigh");
  EXPECT_EQ(frank["AdrWorkRegion"], "NC");
  EXPECT_EQ(frank["AdrWorkPostal"], "27613-3502");
  EXPECT_EQ(frank["AdrWorkCountry"], "U.S.A.");
  EXPECT_EQ(frank["TelWorkVoice"], "+1-919-676-9515");
  EXPECT_EQ(frank["TelWorkFax"], "+1-919-676-9564");
  EXPECT_EQ(frank["Url"], "http://home.earthlink.net/~fdawson");
  // Both addresses arrive, in the e-mail fields the card library fills.
  std::vector<std::string> mails = {frank["Email"], frank["Email2"], frank["Email3"]};
  EXPECT_NE(std::find(mails.begin(), mails.end(), "Frank_Dawson@Lotus.com"), mails.end());
  EXPECT_NE(std::find(mails.begin(), mails.end(), "fdawson@earthlink.net"), mails.end());
  EXPECT_EQ(frank["Role"], "");
  EXPECT_EQ(frank.Values.at("Email").Type, idtText);

  const TRecord& tim = r.Records[1];
  EXPECT_EQ(tim["FormattedName"], "Tim Howes");
  EXPECT_EQ(tim["Organization"], "Netscape Communications Corp.");
  EXPECT_EQ(tim["AdrWorkCity"], "Mountain View");
  EXPECT_EQ(tim["TelWorkVoice"], "+1-415-937-3419");
  EXPECT_EQ(tim["Email"] + tim["Email2"] + tim["Email3"], "howes@netscape.com");
  EXPECT_EQ(tim["Url"], "");  // no carry-over from the first card
}

TEST(VCardImportEngine, BirthdayIsADateAndNoBirthdayTheMinimumDate) {
  TRecorder r;
  ASSERT_TRUE(r.Run(Sample("vcard/gammu_se-1.vcf")));
  ASSERT_EQ(r.Records.size(), 1u);
  const TRecord& yves = r.Records[0];
  EXPECT_EQ(yves["LastName"], "Laurent");
  EXPECT_EQ(yves["FirstName"], "Yves");
  EXPECT_EQ(yves["Organization"], "CNRS");
  EXPECT_EQ(yves["AdrHomeStreetAddress"], "5, Chemin du Marais");
  EXPECT_EQ(yves["AdrHomeCity"], "Grenoble");
  EXPECT_EQ(yves["AdrHomePostal"], "38100");
  EXPECT_EQ(yves["AdrHomeCountry"], "France");
  EXPECT_EQ(yves["AdrWorkCity"], "Saint Martin d'H\xC3\xA8res");
  EXPECT_EQ(yves["TelHomeVoice"], "+33476629472");
  EXPECT_EQ(yves["Url"], "http://www.yclaurent.fr");
  EXPECT_EQ(yves.Values.at("Birthday").Type, idtDate);
  EXPECT_EQ(yves["Birthday"], DateToStr(EncodeDate(1954, 4, 21)));
  // The revision is declared as date and time: type 3 as well, with "no date".
  EXPECT_EQ(yves.Values.at("Revision").Type, idtDate);
  EXPECT_EQ(yves["Revision"], DateTimeToStr(MinDateTime));

  ASSERT_TRUE(r.Run(Sample("vcard/ezvcard_rfc2426-example.vcf")));
  for (const TRecord& rec : r.Records) {
    EXPECT_EQ(rec.Values.at("Birthday").Type, idtDate);
    EXPECT_EQ(rec["Birthday"], DateToStr(MinDateTime));
  }
}

TEST(VCardImportEngine, SeveralCardsAndQuotedPrintable) {
  TRecorder r;
  ASSERT_TRUE(r.Run(Sample("vcard/kcontacts_vcard10.vcf")));
  ASSERT_EQ(r.Records.size(), 5u);
  EXPECT_EQ(r.Records[0]["Organization"], "Bike Shop");
  EXPECT_EQ(r.Records[0]["UID"], "bfa5fdc5-fbfc-4ce2-8196-29ca0deb3bd3");
  EXPECT_EQ(r.Records[1]["FormattedName"], "Field after Address broken");
  EXPECT_EQ(r.Records[1]["AdrHomeCity"], "Urt");
  // The property after the quoted-printable block is not swallowed.
  EXPECT_EQ(r.Records[1]["Url"], "http://some-webseite.com");
  EXPECT_EQ(r.Records[2]["FormattedName"], "Field after Address not broken");
  EXPECT_EQ(r.Records[2]["Url"], "http://some-webseite.com");

  ASSERT_TRUE(r.Run(Sample("vcard/ezvcard_John_Doe_ANDROID.vcf")));
  EXPECT_EQ(r.Records.size(), 6u);
  EXPECT_EQ(r.PostCalls, 6);
}

TEST(VCardImportEngine, LdifEntriesThroughTheSameCard) {
  TRecorder r;
  ASSERT_TRUE(r.Run(Sample("ldif/openldap_its8667_accounting.ldif"), 1));
  // The card library reads all entries of an LDIF file as one contact; mail values accumulate.
  ASSERT_EQ(r.Records.size(), 1u);
  const TRecord& rec = r.Records[0];
  EXPECT_NE(rec["Email"].find("May_Gaul@example.com"), std::string::npos);
  EXPECT_FALSE(rec["LastName"].empty());
}

TEST(VCardImportEngine, AbortStopsReading) {
  TRecorder r;
  r.AbortAfter = 1;
  ASSERT_TRUE(r.Run(Sample("vcard/kcontacts_vcard10.vcf")));
  EXPECT_EQ(r.Records.size(), 1u);
  EXPECT_EQ(r.PostCalls, 1);
}

TEST(VCardImportEngine, MissingFileIsOneErrorMessageAndTheEngineStaysUsable) {
  TRecorder r;
  EXPECT_FALSE(r.Run(Sample("vcard/does-not-exist.vcf")));
  ASSERT_EQ(r.Messages.size(), 1u);
  EXPECT_EQ(r.Messages[0].second, imtError);
  EXPECT_EQ(r.Messages[0].first.rfind("EFOpenError: ", 0), 0u) << r.Messages[0].first;
  EXPECT_TRUE(r.Records.empty());

  ASSERT_TRUE(r.Run(Sample("vcard/gammu_se-1.vcf")));
  EXPECT_EQ(r.Records.size(), 1u);
}

TEST(VCardImportEngine, QueryFieldsPlainAndTranslated) {
  TVCardImportEngine engine;
  TVCard card;
  IPtr<IStringListData> fields;
  ASSERT_TRUE(engine.QueryFields(fields, false));
  ASSERT_EQ(static_cast<int>(fields->Items().size()), card.FieldCount());
  for (int i = 0; i < card.FieldCount(); ++i)
    EXPECT_EQ(fields->Items()[i], card.GetFieldNames(i));

  std::vector<std::string> keys;
  engine.SetOnGetTranslation(
      [&keys](TBaseDataImportEngine*, std::string_view key, std::string& value) {
        keys.emplace_back(key);
        value = "VC_" + std::string(key);
      });
  ASSERT_TRUE(engine.QueryFields(fields, true));
  ASSERT_EQ(static_cast<int>(fields->Items().size()), card.FieldCount());
  EXPECT_EQ(static_cast<int>(keys.size()), card.FieldCount());
  for (int i = 0; i < card.FieldCount(); ++i)
    EXPECT_EQ(fields->Items()[i], card.GetFieldNames(i) + "=VC_" + card.GetFieldNames(i));

  // A new instance keeps the handler.
  IPtr<IDataImportEngine> copy = engine.NewInstance();
  keys.clear();
  ASSERT_TRUE(copy->QueryFields(fields, false));
  EXPECT_EQ(static_cast<int>(keys.size()), card.FieldCount());
  EXPECT_EQ(fields->Items()[0], card.GetFieldNames(0) + "=VC_" + card.GetFieldNames(0));
  EXPECT_EQ(copy->GetFormatCount(), 2);
}

TEST(VCardImportEngine, ValueTypesByDeclaredTypeThenByValue) {
  TCardProperty text;
  text.TypeName = "string";
  TCardProperty date;
  date.TypeName = "TDate";
  TCardProperty dateTime;
  dateTime.TypeName = "TDateTime";
  const TDateTime when = EncodeDate(2024, 3, 31) + EncodeTime(13, 45, 0, 0);
  const TDateTime day = EncodeDate(2024, 3, 31);
  struct Case {
    const TCardProperty* prop;
    Variant value;
    std::string text;
    TImportDataType type;
  } const cases[] = {
      {&dateTime, Variant::FromDateTime(when), DateTimeToStr(when), idtDate},
      {&date, Variant::FromDateTime(when), DateToStr(when), idtDate},
      {&text, Variant(), "", idtText},
      {&text, Variant::MakeNull(), "", idtText},
      {&text, Variant::FromBytes("\x01\x02"), "", idtText},
      {&text, Variant(2.5), FloatToStr(2.5), idtFloat},
      {&text, Variant::FromDateTime(day), DateToStr(day), idtDate},
      {&text, Variant(42), "42", idtText},  // integers are text, not type 5
      {&text, Variant(int64_t{1} << 40), "1099511627776", idtText},
      {&text, Variant(true), "True", idtText},
      {&text, Variant("Anna"), "Anna", idtText},
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    TImportDataType type = idtInteger;
    CardValueToImport(*c.prop, c.value, out, type);
    EXPECT_EQ(out, c.text) << c.prop->TypeName << " " << VarToStr(c.value);
    EXPECT_EQ(type, c.type) << c.prop->TypeName << " " << VarToStr(c.value);
  }
}

}  // namespace
}  // namespace vela
