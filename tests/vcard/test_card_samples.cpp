// The public sample files: vCards from several writers, LDIF files and vCalendar files.
#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "rtl/CodePages.h"
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

TEST(CardSamples, LowerCaseNetscapeAndNoVersion) {
  TVCard card;
  LoadVCard(card, "kcontacts_vcard3.vcf");
  auto& c = VCardAt(card, 0);
  EXPECT_EQ(c.LastName, "geiser");
  EXPECT_EQ(c.FirstName, "ian");
  EXPECT_EQ(c.Email3, "geiseri@yahoo.com");
  EXPECT_EQ(c.Organization, "Source eXtreme");

  TVCard card7;
  LoadVCard(card7, "kcontacts_vcard7.vcf");
  auto& l = VCardAt(card7, 0);
  EXPECT_EQ(l.LabelWork.Text(),
            "401 Park Drive  3 West\r\nBoston, MA 02215\r\nUSA\r\nHerecomesyetanotherline\r\n");
  EXPECT_EQ(l.UID, "pas-id-3E136F9B00000000");
}

TEST(CardSamples, Utf8FoldedInsideCharacters) {
  TVCard card;
  LoadVCard(card, "kcontacts_vcard9.vcf");
  auto& c = VCardAt(card, 0);
  EXPECT_TRUE(IsValidUtf8(c.LastName));
  EXPECT_EQ(c.LastName.substr(0, 3), "123");
  EXPECT_NE(c.Notes.Text().find("\xD0\x94\xD0\xBB\xD0\xB8\xD0\xBD"), std::string::npos);  // Длин
}

TEST(CardSamples, QuotedPrintableBlocksDoNotSwallowFollowingLines) {
  TVCard card;
  LoadVCard(card, "kcontacts_vcard10.vcf");
  ASSERT_EQ(card.Count(), 5);
  EXPECT_EQ(VCardAt(card, 0).FormattedName(), "Bike Shop");
  EXPECT_EQ(VCardAt(card, 1).Url, "http://some-webseite.com");
  EXPECT_EQ(VCardAt(card, 1).AdrHomeCity, "Urt");
  EXPECT_EQ(VCardAt(card, 3).Greeting, "Dr. med.");
  EXPECT_EQ(VCardAt(card, 4).UID, "941b057d-e959-4644-b41f-e122b26c3807");
}

TEST(CardSamples, GammuFiles) {
  TVCard qp;
  LoadVCard(qp, "gammu_quoted-printable-new-line.vcf");
  EXPECT_EQ(VCardAt(qp, 0).FirstName, "\xD0\x9F\xD0\x9E\xD0\xA0\xD0\x9A\xD0\xA1");  // ПОРКС
  EXPECT_EQ(VCardAt(qp, 0).TelHomeVoice, "+222222222222");

  TVCard se;
  LoadVCard(se, "gammu_se-1.vcf");
  auto& s = VCardAt(se, 0);
  EXPECT_EQ(s.AdrWorkCity, "Saint Martin d'H\xC3\xA8res");
  EXPECT_EQ(s.Email3, "Yves.Laurent@ujf-grenoble.fr");
  EXPECT_EQ(s.Email, "Yvalb.Laurent@free.fr");
  EXPECT_EQ(s.Birthday, EncodeDate(1954, 4, 21));

  TVCard cont;
  LoadVCard(cont, "gammu_line-continuation.vcf");
  EXPECT_EQ(VCardAt(cont, 0).FirstName, "Nikdovic");
  EXPECT_EQ(VCardAt(cont, 0).Notes[0], "This ends with equal sign=");
  EXPECT_EQ(VCardAt(cont, 0).TelHomeVoice, "55554444");

  TVCard utf;
  LoadVCard(utf, "gammu_vcard3-utf-8.vcf");
  EXPECT_EQ(VCardAt(utf, 0).LastName, "Bod\xC3\xB8 likningskontor");
  EXPECT_EQ(VCardAt(utf, 0).Notes.Count(), 2);

  // Several NOTE lines: the last one overwrites; its backslashes stay where no escape applies.
  TVCard esc;
  LoadVCard(esc, "gammu_char-escaping.vcf");
  EXPECT_EQ(VCardAt(esc, 0).Notes[0], "let's try also some invalid escape sequence\\M\\N\\");
}

TEST(CardSamples, KContactsPhotos) {
  TVCard card;
  LoadVCard(card, "kcontacts_vcard12.vcf");
  auto& c = VCardAt(card, 0);
  EXPECT_EQ(c.FormattedName(), "Good Looking");
  ASSERT_FALSE(c.Photo.IsEmpty());
  EXPECT_EQ(c.Photo.Data().substr(1, 3), "PNG");
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

// --- vCalendar ---

TEST(CardSamples, CalendarRRuleAndTimes) {
  TVCalendar cal;
  cal.LoadFromFile(SharedSample("vcalendar/gammu_rrule-1.0.vcs"));
  ASSERT_EQ(cal.Count(), 1);
  auto& e = EventAt(cal, 0);
  EXPECT_EQ(e.Caption, "Tester");
  EXPECT_EQ(e.Location, "C/S/007");
  EXPECT_EQ(e.Start(), EncodeDateTime(2004, 1, 23, 12, 0, 0, 0));
  EXPECT_EQ(e.Finish(), EncodeDateTime(2004, 1, 23, 12, 30, 0, 0));
  EXPECT_FALSE(e.Transparency);
  EXPECT_EQ(e.Recurrence.Recurrence, calrWeekly);
  EXPECT_EQ(e.Recurrence.OccurDays, DaySet(dFriday));
  EXPECT_EQ(e.Recurrence.Count, 9);
}

TEST(CardSamples, CalendarEnvelopeTimeZoneAndEndDate) {
  TVCalendar cal;
  cal.LoadFromFile(SharedSample("vcalendar/gammu_outlook.vcs"));
  EXPECT_EQ(cal.BaseData().ProductID, "-//IRPS UCSD EDU//iCal 1.0//EN");
  EXPECT_EQ(cal.BaseData().TimeZoneBias, -420);
  auto& e = EventAt(cal, 0);
  EXPECT_EQ(e.Recurrence.Recurrence, calrDaily);
  EXPECT_EQ(e.Recurrence.Finish, EncodeDateTime(2010, 2, 28, 8, 30, 0, 0));
  EXPECT_NE(e.Description.find("Societies\xE2\x80\x99 35th"), std::string::npos);
}

TEST(CardSamples, CalendarByPositionUntilDate) {
  TVCalendar cal;
  cal.LoadFromFile(SharedSample("vcalendar/kcalendarcore_KOrganizer_vCalTestCase13.vcs"));
  auto& r = EventAt(cal, 0).Recurrence;
  EXPECT_EQ(r.Recurrence, calrMonthly);
  EXPECT_EQ(r.Periodicity, 3);
  EXPECT_EQ(r.DayNumber, 5);
  EXPECT_EQ(r.DayType, calThursday);
  EXPECT_EQ(r.Finish, EncodeDate(2006, 12, 31));
  EXPECT_EQ(EventAt(cal, 0).Priority, 5);

  TVCalendar p990;
  p990.LoadFromFile(SharedSample("vcalendar/gammu_p990.vcs"));
  EXPECT_EQ(EventAt(p990, 0).Recurrence.DayType, calThursday);
  EXPECT_EQ(EventAt(p990, 0).Recurrence.DayNumber, 1);

  TVCalendar k770;
  k770.LoadFromFile(SharedSample("vcalendar/gammu_k770.vcs"));
  ASSERT_EQ(k770.Count(), 2);
  EXPECT_EQ(EventAt(k770, 0).Recurrence.Recurrence, calrYearly);
}

TEST(CardSamples, KOrganizerExportStopsAtTheUnsupportedRule) {
  TVCalendar cal;
  try {
    cal.LoadFromFile(SharedSample("vcalendar/kcalendarcore_KOrganizer_3.4_all.vcs"));
    FAIL() << "expected the by-position rule error";
  } catch (const EUnsupportedRecurrenceException& e) {
    EXPECT_EQ(e.Message(),
              "Recurrence-Pattern \"MP3 2- FR #17\" contains a unsupported recurrence: Monthly "
              "recurrence by-position rule: from last only last day in month is supported!");
  }
  EXPECT_EQ(cal.Count(), 1);
  EXPECT_EQ(cal.BaseData().ProductID, "-//K Desktop Environment//NONSGML KOrganizer 3.4//EN");
}

}  // namespace
