// The public sample files: vCards from several writers and LDIF files. Our own files for the
// quirks of other writers are golden cases (test_card_golden.cpp).
#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "rtl/DateUtils.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

TVCard& LoadVCard(TVCard& card, const char* name) {
  card.LoadFromFile(SharedSample(std::string("vcard/") + name));
  return card;
}

TEST(CardSamples, AndroidQuotedPrintableUtf8AndBrokenPhoto) {
  TVCard card;
  LoadVCard(card, "ezvcard_John_Doe_ANDROID.vcf");
  ASSERT_EQ(card.Count(), 6);
  EXPECT_EQ(VCardAt(card, 0).Email, "john.doe@company.com");
  // "Ñ Ñ Ñ Ñ " spread over quoted-printable escapes with a UTF-8 charset.
  EXPECT_EQ(VCardAt(card, 2).LastName, "\xC3\x91 \xC3\x91 \xC3\x91 \xC3\x91 ");
  EXPECT_EQ(VCardAt(card, 2).TelHomeVoice, "123456789");
  auto& c3 = VCardAt(card, 3);
  EXPECT_EQ(c3.TelHomeCellular, "3456789");
  EXPECT_EQ(c3.TelWorkVoice, "45678901");
  EXPECT_EQ(c3.Notes.Count(), 1);
  auto& c4 = VCardAt(card, 4);
  EXPECT_EQ(c4.Email, "bob@company.com");
  EXPECT_EQ(c4.Url, "http://www.company.com");
  // The photo's base64 data is damaged (bad length): the line is skipped.
  EXPECT_TRUE(c4.Photo.IsEmpty());
}

TEST(CardSamples, OutlookLabelsPhotoAndLongNote) {
  TVCard card;
  LoadVCard(card, "ezvcard_John_Doe_MS_OUTLOOK.vcf");
  ASSERT_EQ(card.Count(), 1);
  auto& c = VCardAt(card, 0);
  EXPECT_EQ(c.FirstName, "John");
  EXPECT_EQ(c.LastName, "Doe");
  EXPECT_EQ(c.SecondFirstName, "Richter,James");
  EXPECT_EQ(c.Greeting, "Mr.");
  EXPECT_EQ(c.NamePrefix, "Sr.");
  EXPECT_EQ(c.Organization, "IBM;Accounting");
  EXPECT_EQ(c.Role, "Counting Money");
  EXPECT_EQ(c.AdrWorkCity, "Albaney");
  EXPECT_EQ(c.LabelHome.Text(), "Silicon Alley 5,\r\nNew York, New York  12345\r\n");
  EXPECT_EQ(c.Birthday, EncodeDate(1980, 3, 22));
  EXPECT_EQ(c.Revision, EncodeDateTime(2012, 3, 5, 13, 19, 33, 0));
  ASSERT_FALSE(c.Photo.IsEmpty());
  EXPECT_EQ(c.Photo.Data().substr(0, 3), "\xFF\xD8\xFF");  // a JPEG
  EXPECT_EQ(c.Notes.Count(), 1);
  EXPECT_EQ(c.Notes[0].size(), 731u);  // one unfolded line
}

TEST(CardSamples, Outlook2003SoftBreakInsideEscape) {
  TVCard card;
  LoadVCard(card, "ezvcard_outlook-2003.vcf");
  auto& c = VCardAt(card, 0);
  EXPECT_EQ(c.Notes.Text(),
            "This is the note field!!\r\nSecond line\r\n\r\nThird line is empty\r\n");
  EXPECT_EQ(c.LabelWork[0], "TheOffice");
  EXPECT_EQ(c.LabelWork.Count(), 4);
  EXPECT_EQ(c.Organization, "Company, The;TheDepartment");
  EXPECT_EQ(c.TelWorkFax, "BusinessFaxPhone");
}

TEST(CardSamples, EvolutionFoldedAndEscaped) {
  TVCard card;
  LoadVCard(card, "ezvcard_John_Doe_EVOLUTION.vcf");
  auto& c = VCardAt(card, 0);
  EXPECT_EQ(card.VCardVersion(), vcv30);
  EXPECT_EQ(c.FormattedName(), "Mr. John Richter, James Doe Sr.");
  EXPECT_EQ(c.SecondFirstName, "Richter, James");
  EXPECT_EQ(c.AdrHomeStreetAddress, "15 Crescent moon drive");
  EXPECT_EQ(c.AdrHomePostOfficeBox, "ASB-123");
  EXPECT_EQ(c.TelWorkVoice, "905-555-1234");
  EXPECT_EQ(c.UID, "477343c8e6bf375a9bac1f96a5000837");
  EXPECT_EQ(c.Birthday, EncodeDate(1980, 3, 22));
}

TEST(CardSamples, Rfc2426ExamplesMixedCaseAndFoldedAddress) {
  TVCard card;
  LoadVCard(card, "ezvcard_rfc2426-example.vcf");
  ASSERT_EQ(card.Count(), 2);
  auto& a = VCardAt(card, 0);
  EXPECT_EQ(a.FormattedName(), "Frank Dawson");
  EXPECT_EQ(a.AdrWorkStreetAddress, "6544 Battleford Drive");
  EXPECT_EQ(a.AdrWorkCity, "Raleigh");
  EXPECT_EQ(a.AdrWorkCountry, "U.S.A.");
  EXPECT_EQ(a.Email3, "Frank_Dawson@Lotus.com");
  EXPECT_EQ(a.Email, "fdawson@earthlink.net");
  EXPECT_EQ(a.TelWorkFax, "+1-919-676-9564");
  EXPECT_EQ(VCardAt(card, 1).Organization, "Netscape Communications Corp.");
}

TEST(CardSamples, GmailGroupsAndRepeatedTypes) {
  TVCard card;
  LoadVCard(card, "ezvcard_gmail-single2.vcf");
  auto& c = VCardAt(card, 0);
  EXPECT_EQ(c.FormattedName(), "VCard Test");
  EXPECT_EQ(c.Email, "homeemail@example.com");
  EXPECT_EQ(c.Email2, "workemail@example.com");
  EXPECT_EQ(c.TelHomeFax, "5555551117");
  EXPECT_EQ(c.TelWorkFax, "5555551118");
  EXPECT_EQ(c.AdrPostalStreetAddress, "113 Main St");
  EXPECT_EQ(c.Birthday, EncodeDate(1912, 6, 23));
}

// --- LDIF ---

TEST(CardSamples, LdifAccountingEntriesMergeIntoOneItem) {
  TVCard card;
  card.LoadFromFile(SharedSample("ldif/openldap_its8667_accounting.ldif"));
  ASSERT_EQ(card.Count(), 1);
  auto& c = ContactAt(card, 0);
  EXPECT_NE(dynamic_cast<TLDifItem*>(&c), nullptr);
  EXPECT_EQ(c.FirstName, " Ann");
  EXPECT_EQ(c.LastName, " Tully");
  EXPECT_EQ(c.Email, "May_Gaul@example.com; Ann_Tully@example.com");
  EXPECT_EQ(c.TelWorkFax, " +1 213 206-5551");
  EXPECT_EQ(c.TelHomeCellular, " +1 213 889-1457");
}

TEST(CardSamples, LdifBase64AndFoldedValues) {
  TVCard card;
  card.LoadFromFile(SharedSample("ldif/openldap_test.ldif"));
  ASSERT_EQ(card.Count(), 1);
  auto& c = ContactAt(card, 0);
  EXPECT_EQ(c.FormattedName(), " Ursula Hampster");
  EXPECT_EQ(c.Email.substr(0, 26), "bjensen@mailgw.example.com");
  EXPECT_EQ(c.Role, " Secretary, UM Alumni Association");

  TVCard modify;
  modify.LoadFromFile(SharedSample("ldif/openldap_test-modify.ldif"));
  EXPECT_EQ(ContactAt(modify, 0).NickName, " gjensen");
}

}  // namespace
