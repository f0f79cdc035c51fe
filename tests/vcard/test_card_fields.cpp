// Field access by name with conversions by type, the definition guard and the captions.
#include <gtest/gtest.h>

#include <set>

#include "CardTestSupport.h"
#include "rtl/DateUtils.h"
#include "vcard/VCardConsts.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

TEST(CardRegistry, UnknownPropertyIsAnAssertionFailure) {
  TCardFieldDefList list(&TVCardItem::ClassInfo);
  try {
    list.Add("X", "", fdkData, "", "FirstName,NoSuchField");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Property NoSuchField not found! on class!"), std::string::npos);
  }
}

TEST(CardFields, GetAndSetValuesConvertByType) {
  TVCard card;
  auto& c = card.CreateCard();
  auto idx = [&](const char* n) { return card.GetFieldIndexByName(n); };
  ASSERT_GE(idx("formattedname"), 0);  // names ignore case
  EXPECT_EQ(card.GetFieldNames(idx("formattedname")), "FormattedName");
  EXPECT_EQ(idx("Nope"), -1);

  card.SetValues(c, idx("LastName"), Variant("Doe"));
  EXPECT_EQ(c.LastName, "Doe");
  EXPECT_EQ(VarToStr(card.GetValues(c, idx("FormattedName"))), "Doe");

  card.SetValues(c, idx("Notes"), Variant("a\r\nb"));
  EXPECT_EQ(c.Notes.Count(), 2);
  EXPECT_EQ(VarToStr(card.GetValues(c, idx("Notes"))), "a\r\nb\r\n");

  card.SetValues(c, idx("Birthday"), Variant::FromDateTime(EncodeDate(2000, 1, 2)));
  Variant bday = card.GetValues(c, idx("Birthday"));
  EXPECT_TRUE(bday.IsDateTime());
  EXPECT_EQ(bday.GetDateTime(), EncodeDate(2000, 1, 2));

  // Null resets to the empty value of the type.
  card.SetValues(c, idx("Birthday"), Null());
  EXPECT_EQ(c.Birthday, MinDateTime);
  card.SetValues(c, idx("LastName"), Null());
  EXPECT_EQ(c.LastName, "");
  card.SetValues(c, idx("Notes"), Null());
  EXPECT_EQ(c.Notes.Count(), 0);

  // The photo: its own variant when empty, the item-value interface when it holds bytes.
  EXPECT_TRUE(card.GetValues(c, idx("Photo")).IsNull());
  card.SetValues(c, idx("Photo"), Variant::FromBytes("JPEGDATA"));
  EXPECT_EQ(c.Photo.Data(), "JPEGDATA");
  Variant photo = card.GetValues(c, idx("Photo"));
  ASSERT_EQ(photo.kind(), Variant::Kind::Interface);
  auto intf = Supports<ICardItemValue>(photo.GetInterface());
  ASSERT_TRUE(intf);
  EXPECT_EQ(intf->GetValue().AsBytes().size(), 8u);
  // An interface value is taken through the item-value interface.
  auto& other = card.CreateCard();
  card.SetValues(other, idx("Photo"), photo);
  EXPECT_EQ(other.Photo.Data(), "JPEGDATA");
  card.SetValues(c, idx("Photo"), Null());
  EXPECT_TRUE(c.Photo.IsEmpty());
}

// Copying a field into an item of another card and class does what setting the read value does.
TEST(CardFields, CopyValueSetsWhatTheReadValueSets) {
  TVCard source, target;
  auto& c = source.CreateCard();
  c.FirstName = "Ann";  // the formatted name is worked out from the names
  c.Email2 = "a@x";
  c.Notes.Add("one");
  c.Notes.Add("two\rthree");  // a line with a break of its own comes back as two
  c.Birthday = EncodeDate(1990, 3, 4);
  c.Photo.SetData("JPEG");
  TLDifItem copied(&target), set(&target);
  for (int i = 0; i < source.FieldCount(); ++i) {
    source.CopyValue(c, i, target, copied, i);
    target.SetValues(set, i, source.GetValues(c, i));
  }
  for (int i = 0; i < target.FieldCount(); ++i) {
    if (target.GetFieldTypeInfo(i).Type == TCardFieldType::cftItemValue) continue;
    EXPECT_EQ(VarToStr(target.GetValues(copied, i)), VarToStr(target.GetValues(set, i)))
        << target.GetFieldNames(i);
  }
  EXPECT_EQ(copied.Notes.Count(), 3);
  EXPECT_EQ(copied.FormattedName(), "Ann");
  EXPECT_EQ(copied.Photo.Data(), "JPEG");
}

TEST(CardFields, CalendarValues) {
  TVCalendar cal;
  auto& e = cal.CreateEvent();
  auto idx = [&](const char* n) { return cal.GetFieldIndexByName(n); };
  cal.SetValues(e, idx("Priority"), Variant("3"));
  EXPECT_EQ(e.Priority, 3);
  cal.SetValues(e, idx("AllDayEvent"), Variant(true));
  EXPECT_TRUE(e.AllDayEvent);
  cal.SetValues(e, idx("BusyState"), Variant(2));
  EXPECT_EQ(e.BusyState, cbsBusy);
  EXPECT_EQ(cal.GetValues(e, idx("BusyState")).AsInteger(), 2);
  cal.SetValues(e, idx("Recurrence"), Variant("D2 #10"));
  EXPECT_EQ(e.Recurrence.Periodicity, 2);
  EXPECT_EQ(VarToStr(cal.GetValues(e, idx("Recurrence"))), "D2 #10");
  cal.SetValues(e, idx("Recurrence"), Null());
  EXPECT_FALSE(e.Recurrence.Enabled);
}

TEST(CardCaptions, EveryContactFieldHasBothCaptions) {
  const auto& captions = VCardFieldCaptions();
  std::set<std::string> names;
  for (const auto& [name, caption] : captions) {
    names.insert(std::string(name));
    EXPECT_FALSE(caption.De.empty()) << name;
    EXPECT_FALSE(caption.En.empty()) << name;
  }
  EXPECT_EQ(names.size(), captions.size());
  TVCard card;
  for (int i = 0; i < card.FieldCount(); ++i)
    EXPECT_TRUE(names.count(card.GetFieldNames(i))) << card.GetFieldNames(i);
  TVCalendar cal;
  for (int i = 0; i < cal.FieldCount(); ++i)
    EXPECT_TRUE(names.count(cal.GetFieldNames(i))) << cal.GetFieldNames(i);
}

}  // namespace
