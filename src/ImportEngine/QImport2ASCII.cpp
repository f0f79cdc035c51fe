#include "ImportEngine/QImport2ASCII.h"

#include <fstream>

#include "rtl/CodePages.h"

namespace vela {

char TQImport2ASCII::DetectComma(std::string_view Line, char Quote) {
  static constexpr char candidates[] = {';', ',', '\t', '|'};
  int counts[4] = {};
  bool quoted = false;
  for (char c : Line) {
    if (c == Quote) quoted = !quoted;
    if (quoted) continue;
    for (int i = 0; i < 4; ++i)
      if (c == candidates[i]) ++counts[i];
  }
  int best = 0;
  for (int i = 1; i < 4; ++i)
    if (counts[i] > counts[best]) best = i;
  return candidates[best];
}

namespace {

// Splits one record starting with Line; reads further lines while a quoted field is open.
// False at the end of the input.
class TRecordReader {
 public:
  explicit TRecordReader(std::istream& In) : FIn(In) {}

  bool NextLine(std::string& Line) {
    for (;;) {
      if (!std::getline(FIn, Line)) return false;
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      if (FFirst) {
        FFirst = false;
        if (Line.rfind("\xEF\xBB\xBF", 0) == 0) Line.erase(0, 3);
      }
      if (!IsValidUtf8(Line)) Line = CodePageToUtf8(Line, SystemAnsiCodePage());
      return true;
    }
  }

  // Fields of the next non-empty record.
  bool Next(char Comma, char Quote, std::vector<std::string>& Fields, std::string* FirstLine) {
    do {
      if (!NextLine(FLine)) return false;
    } while (FLine.empty());
    if (FirstLine) *FirstLine = FLine;
    size_t count = 0;
    auto field = [&]() -> std::string& {
      if (count == Fields.size()) Fields.emplace_back();
      std::string& f = Fields[count++];
      f.clear();
      return f;
    };
    std::string* cur = &field();
    bool quoted = false;
    size_t i = 0;
    for (;;) {
      if (i >= FLine.size()) {
        if (!quoted) break;
        // Line break inside quotes: part of the value.
        if (!NextLine(FLine)) break;
        cur->push_back('\n');
        i = 0;
        continue;
      }
      char c = FLine[i++];
      if (quoted) {
        if (c == Quote) {
          if (i < FLine.size() && FLine[i] == Quote) {
            cur->push_back(Quote);
            ++i;
          } else {
            quoted = false;
          }
        } else {
          cur->push_back(c);
        }
      } else if (c == Comma) {
        cur = &field();
      } else if (c == Quote && cur->empty()) {
        quoted = true;
      } else {
        cur->push_back(c);
      }
    }
    Fields.resize(count);
    return true;
  }

 private:
  std::istream& FIn;
  std::string FLine;
  bool FFirst = true;
};

}  // namespace

void TQImport2ASCII::DoExecute(bool HeaderOnly) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EQImportError("Cannot open text file '" + FileName + "'");
  TRecordReader reader(in);
  std::vector<std::string> fields;
  std::string firstLine;
  char comma = Comma;
  if (comma == '\0') {
    // Peek at the header line to choose the separator, then read it again.
    std::string line;
    TRecordReader peek(in);
    if (!peek.NextLine(line)) {
      SetColumns({});
      return;
    }
    comma = DetectComma(line, Quote);
    in.clear();
    in.seekg(0);
  }
  if (!reader.Next(comma, Quote, fields, nullptr)) {
    SetColumns({});
    return;
  }
  SetColumns(fields);
  if (HeaderOnly) return;
  while (reader.Next(comma, Quote, fields, nullptr))
    if (!DeliverRow(fields)) break;
}

}  // namespace vela
