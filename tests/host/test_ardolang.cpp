#include <gtest/gtest.h>

#include "host/ArdoLang.h"
#include "host/Session.h"
#include "rtl/Exceptions.h"

namespace vela {
namespace {

TEST(ArdoLang, TextsByKeyAndLanguage) {
  TArdoLang lang;
  RegisterDataImportTexts(lang);
  const struct {
    const char* key;
    TArdoLanguage lang;
    const char* expected;
  } cases[] = {
      {"IDS_ImpCntNew", TArdoLanguage::German, "Neue Datensätze: %s"},
      {"IDS_CastError", TArdoLanguage::English,
       "Cant't convert value '%2:s' of import field '%0:s' to required datatype for database "
       "field '%1:s'. (Message: %3:s)"},
      {"ids_csqlerr", TArdoLanguage::German, "Fehler im Datenbankobjekt: '%s'"},  // any case
      // French and Italian are empty and fall back to English.
      {"IDS_ImpDone", TArdoLanguage::French, "Import finished"},
      {"IDS_processedSUCCESS", TArdoLanguage::Italian, "Successfully"},
      // Unknown keys show themselves.
      {"IDS_DoesNotExist", TArdoLanguage::German, "IDS_DoesNotExist"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lang.GetText(c.key, c.lang), c.expected) << c.key;
  // Line break markers become line breaks.
  EXPECT_EQ(lang.GetText("IDS_CANTWRFILE", TArdoLanguage::English).substr(0, 38),
            "Can not write/create file '%s'!\n\nError");
  // German is the design language; the language can be named.
  EXPECT_EQ(lang.GetText("IDS_ImpStart"), "Import gestartet");
  lang.SetLanguage(TArdoLanguage::English);
  EXPECT_EQ(lang.GetText("IDS_ImpStart"), "Import started");
  EXPECT_EQ(lang.GetText("IDS_ImpStart", " German "), "Import gestartet");
}

TEST(ArdoLang, LanguageNames) {
  EXPECT_EQ(LanguageFromName("de"), TArdoLanguage::German);
  EXPECT_EQ(LanguageFromName("EN"), TArdoLanguage::English);
  EXPECT_EQ(LanguageFromName("xx", TArdoLanguage::Italian), TArdoLanguage::Italian);
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
