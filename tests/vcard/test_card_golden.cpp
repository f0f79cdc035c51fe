// Golden files: every tests/data/vcard/NAME.input, NAME.vcf and NAME.vcs, and every public vCard
// and LDIF sample (tests/data/samples/vcard, .../ldif; expected files in tests/data/vcard/samples)
// is read and its items' fields are compared with NAME.expected ("Field=value" lines, CR and LF
// shown as \r and \n). A load that stops with an error gives the error and the number of items
// read instead. What each own file pins is listed in tests/data/vcard/README.md. Set
// VELA_UPDATE_GOLDEN=1 to rewrite the expected files after a deliberate change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CardTestSupport.h"
#include "rtl/DateUtils.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string DumpCard(TCustomCard& card) {
  std::string out;
  if (auto* cal = dynamic_cast<TVCalendar*>(&card)) {
    out += "[envelope] version=" + std::to_string(cal->Version()) +
           " prodid=" + cal->BaseData().ProductID +
           " tz=" + std::to_string(cal->BaseData().TimeZoneBias) + "\n";
  }
  if (auto* vc = dynamic_cast<TVCard*>(&card))
    out += std::string("[card] version=") + (vc->VCardVersion() == vcv30 ? "3.0" : "2.1") + "\n";
  for (int i = 0; i < card.Count(); ++i) {
    TCustomCardItem& item = card.Items()[i];
    out += "[item " + std::to_string(i) + "] " + item.ClassType()->ClassName + "\n";
    for (const TCardProperty& p : item.ClassType()->Properties()) {
      if (item.IsFieldEmpty(p)) continue;
      // Local-time views depend on the machine's zone; the stored values are shown.
      if (std::string_view(p.Name).starts_with("Local")) continue;
      Variant v = card.GetValues(item, card.GetFieldIndexByName(p.Name));
      std::string text;
      if (v.kind() == Variant::Kind::Interface)
        text = "<value>";
      else if (v.IsDateTime())
        text = DateToISO8601(v.GetDateTime());
      else
        text = VarToStr(v);
      out += std::string(p.Name) + "=" + Escaped(text) + "\n";
    }
  }
  return out;
}

std::string ReadAndDump(const std::string& input) {
  std::unique_ptr<TCustomCard> card;
  if (input.find("BEGIN:VCALENDAR") != std::string::npos)
    card = std::make_unique<TVCalendar>();
  else
    card = std::make_unique<TVCard>();
  try {
    card->SetAsString(input);
  } catch (const Exception& e) {
    return "[error] " + std::string(e.ClassName()) + ": " + e.Message() + "\n[items read] " +
           std::to_string(card->Count()) + "\n";
  }
  return DumpCard(*card);
}

const char* const kGoldenFolders[] = {"vcard", "samples/vcard", "samples/ldif"};

// The input files below tests/data, by folder; a missing folder gives one case that fails naming
// it.
std::vector<std::string> GoldenCases() {
  std::vector<std::string> names;
  for (const std::string folder : kGoldenFolders) {
    const size_t before = names.size();
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(VELA_TEST_DATA_DIR "/" + folder, ec)) {
      const auto ext = entry.path().extension();
      if (ext == ".input" || ext == ".vcf" || ext == ".vcs" || ext == ".ldif")
        names.push_back(folder + "/" + entry.path().filename().string());
    }
    if (names.size() == before) names.push_back(folder + "/missing_folder");
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CardGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(CardGolden, FieldsMatchExpected) {
  const std::string inputPath = VELA_TEST_DATA_DIR "/" + GetParam();
  ASSERT_DATA_FILE(inputPath);
  const std::string input = ReadBytes(inputPath);
  const std::string actual = ReadAndDump(input);
  const std::string expectedPath = std::string(VELA_TEST_DATA_DIR "/vcard/") +
                                   (GetParam().starts_with("samples/") ? "samples/" : "") +
                                   std::filesystem::path(GetParam()).stem().string() + ".expected";
  if (const char* update = std::getenv("VELA_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream(expectedPath, std::ios::binary) << actual;
    GTEST_SKIP() << "rewrote " << expectedPath;
  }
  ASSERT_DATA_FILE(expectedPath);
  EXPECT_EQ(actual, ReadBytes(expectedPath));

  // The same input with LF-only line ends reads the same (CR LF inputs are converted).
  if (input.find("\r\n") != std::string::npos) {
    std::string lf;
    for (size_t i = 0; i < input.size(); ++i)
      if (!(input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n')) lf += input[i];
    EXPECT_EQ(ReadAndDump(lf), actual);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, CardGolden, ::testing::ValuesIn(GoldenCases()),
                         [](const auto& info) {
                           std::string name = std::filesystem::path(info.param).stem().string();
                           std::replace_if(
                               name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                               '_');
                           return name;
                         });

// The photo's bytes, which the field dump only shows as present: the first of two PHOTO lines
// with ENCODING=b fills it; the second finds no empty definition and is dropped.
TEST(CardGoldenPhoto, FirstOfTwoImagesIsKept) {
  TVCard card;
  card.LoadFromFile(OwnData("photo_encoding_b.vcf"));
  ASSERT_EQ(card.Count(), 1);
  const std::string photo = VCardAt(card, 0).Photo.Data();
  ASSERT_EQ(photo.size(), 73u);
  EXPECT_EQ(photo.substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(photo.substr(16, 8), std::string("\0\0\0\2\0\0\0\2", 8));  // 2 x 2, not 3 x 1
}

}  // namespace
