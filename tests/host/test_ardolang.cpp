#include <gtest/gtest.h>

#include "host/ArdoLang.h"
#include "host/Session.h"
#include "rtl/Exceptions.h"

namespace vela {
namespace {

struct LangCase {
  const char* key;
  TArdoLanguage lang;
  const char* expected;
};

class MessageTable : public ::testing::TestWithParam<LangCase> {};

TEST_P(MessageTable, TextsAsWritten) {
  TArdoLang lang;
  RegisterDataImportTexts(lang);
  const auto& c = GetParam();
  EXPECT_EQ(lang.GetText(c.key, c.lang), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    DataImport, MessageTable,
    ::testing::Values(
        LangCase{"IDS_ImpCntNew", TArdoLanguage::German, "Neue Datensätze: %s"},
        LangCase{"IDS_ImpCntNew", TArdoLanguage::English, "New records: %s"},
        LangCase{"IDS_SkipConHint", TArdoLanguage::English,
                 "Omitting record '%s' because of defined import rule!"},
        LangCase{"IDS_CastError", TArdoLanguage::English,
                 "Cant't convert value '%2:s' of import field '%0:s' to required datatype for "
                 "database field '%1:s'. (Message: %3:s)"},
        LangCase{"ids_csqlerr", TArdoLanguage::German, "Fehler im Datenbankobjekt: '%s'"},
        // French and Italian are empty and fall back to English.
        LangCase{"IDS_ImpDone", TArdoLanguage::French, "Import finished"},
        LangCase{"IDS_processedSUCCESS", TArdoLanguage::Italian, "Successfully"},
        LangCase{"IDS_processedDELETED", TArdoLanguage::German, "Gelöscht"},
        // Unknown keys show themselves.
        LangCase{"IDS_DoesNotExist", TArdoLanguage::German, "IDS_DoesNotExist"}));

TEST(ArdoLang, LineBreakMarkersBecomeLineBreaks) {
  TArdoLang lang;
  RegisterDataImportTexts(lang);
  std::string t = lang.GetText("IDS_CANTWRFILE", TArdoLanguage::English);
  EXPECT_EQ(t.find("⏎"), std::string::npos);
  EXPECT_EQ(t.substr(0, 38), "Can not write/create file '%s'!\n\nError");
}

TEST(ArdoLang, LanguageNamesAndCurrentLanguage) {
  EXPECT_EQ(LanguageFromName("de"), TArdoLanguage::German);
  EXPECT_EQ(LanguageFromName(" German "), TArdoLanguage::German);
  EXPECT_EQ(LanguageFromName("EN"), TArdoLanguage::English);
  EXPECT_EQ(LanguageFromName("xx", TArdoLanguage::Italian), TArdoLanguage::Italian);
  TArdoLang lang;
  RegisterDataImportTexts(lang);
  EXPECT_EQ(lang.GetText("IDS_ImpStart"), "Import gestartet");  // German is the design language
  lang.SetLanguage(TArdoLanguage::English);
  EXPECT_EQ(lang.GetText("IDS_ImpStart"), "Import started");
  EXPECT_EQ(lang.GetText("IDS_ImpStart", "de"), "Import gestartet");
}

TEST(Session, RightsDefaultToAllAndParseLists) {
  TVelaSession s;
  EXPECT_TRUE(s.HasRight(100));
  s.SetRightsText(" 100 , 5,");
  EXPECT_TRUE(s.HasRight(100));
  EXPECT_TRUE(s.HasRight(5));
  EXPECT_FALSE(s.HasRight(101));
  s.SetRightsText("");
  EXPECT_FALSE(s.HasRight(100));
  EXPECT_THROW(s.SetRightsText("100,x"), EConvertError);
  s.GrantAllRights();
  EXPECT_TRUE(s.HasRight(101));
}

}  // namespace
}  // namespace vela
