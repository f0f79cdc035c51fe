#include "ImportEngine/QImport2ASCII.h"

#include <memory>

#include "rtl/LineReader.h"
#include "rtl/Streams.h"

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

// Splits one record starting with its first line; reads further lines while a quoted field is
// open. The lines come from the line reader, which decodes them to UTF-8.
class TRecordReader {
 public:
  TRecordReader(TStream& In, size_t BlockSize) : FIn(In, 0, BlockSize) {}

  // The first line, read ahead to choose the separator (nullptr when there is none); the next
  // record starts with it again.
  const std::string* PeekLine() {
    if (!FPeeked && !FIn.ReadLine(FLine)) return nullptr;
    FPeeked = true;
    return &FLine;
  }

  // Fields of the next non-empty record. False at the end of the input.
  bool Next(char Comma, char Quote, std::vector<std::string>& Fields) {
    do {
      if (FPeeked)
        FPeeked = false;
      else if (!FIn.ReadLine(FLine))
        return false;
    } while (FLine.empty());
    FRecordLine = FIn.LineNumber();
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
        if (!FIn.ReadLine(FLine)) break;
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

  int64_t RecordLine() const noexcept { return FRecordLine; }

 private:
  TLineReader FIn;
  std::string FLine;
  bool FPeeked = false;
  int64_t FRecordLine = 0;
};

}  // namespace

void TQImport2ASCII::DoExecute(bool HeaderOnly) {
  FRecordLine = 0;
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (const EFOpenError&) {
    throw EQImportError("Cannot open text file '" + FileName + "'");
  }
  TRecordReader reader(*file, BlockSize);
  std::vector<std::string> fields;
  char comma = Comma;
  if (comma == '\0') {
    const std::string* line = reader.PeekLine();
    if (!line) {
      SetColumns({});
      return;
    }
    comma = DetectComma(*line, Quote);
  }
  if (!reader.Next(comma, Quote, fields)) {
    SetColumns({});
    return;
  }
  SetColumns(fields);
  if (HeaderOnly) return;
  while (reader.Next(comma, Quote, fields)) {
    FRecordLine = reader.RecordLine();
    if (!DeliverRow(fields)) break;
  }
}

}  // namespace vela
