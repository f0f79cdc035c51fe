// Golden files: every tests/data/vcard/NAME.input is read and its items' fields are compared
// with NAME.expected ("Field=value" lines, CR and LF shown as \r and \n). Set
// VELA_UPDATE_GOLDEN=1 to rewrite the expected files after a deliberate change.
#include <gtest/gtest.h>

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
      int idx = card.GetFieldIndexByName(p.Name);
      Variant v = card.GetValues(item, idx);
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

std::vector<std::string> GoldenCases() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(OwnData("")))
    if (entry.path().extension() == ".input") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class CardGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(CardGolden, FieldsMatchExpected) {
  const std::string input = ReadBytes(OwnData(GetParam() + ".input"));
  std::unique_ptr<TCustomCard> card;
  if (input.find("BEGIN:VCALENDAR") != std::string::npos)
    card = std::make_unique<TVCalendar>();
  else
    card = std::make_unique<TVCard>();
  card->SetAsString(input);
  std::string actual = DumpCard(*card);
  const std::string expectedPath = OwnData(GetParam() + ".expected");
  if (const char* update = std::getenv("VELA_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream(expectedPath, std::ios::binary) << actual;
    GTEST_SKIP() << "rewrote " << expectedPath;
  }
  ASSERT_TRUE(std::filesystem::exists(expectedPath)) << expectedPath;
  EXPECT_EQ(actual, ReadBytes(expectedPath));

  // The same input with LF-only line ends reads the same (CR LF inputs are converted).
  if (input.find("\r\n") != std::string::npos) {
    std::string lf;
    for (size_t i = 0; i < input.size(); ++i)
      if (!(input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n')) lf += input[i];
    card->SetAsString(lf);
    EXPECT_EQ(DumpCard(*card), actual);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, CardGolden, ::testing::ValuesIn(GoldenCases()),
                         [](const auto& info) { return info.param; });

}  // namespace
