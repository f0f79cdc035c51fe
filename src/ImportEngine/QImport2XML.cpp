#include "ImportEngine/QImport2XML.h"

#include <memory>

#include "platform/sax/SAXReader.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

enum TPacketType { ptText, ptNumber, ptDate, ptDateTime, ptTime, ptBoolean };

TPacketType PacketType(std::string_view t) {
  if (SameText(t, "i1") || SameText(t, "i2") || SameText(t, "i4") || SameText(t, "i8") ||
      SameText(t, "ui1") || SameText(t, "ui2") || SameText(t, "ui4") || SameText(t, "ui8") ||
      SameText(t, "r8") || SameText(t, "r4") || SameText(t, "fixed") || SameText(t, "fixedFMT"))
    return ptNumber;
  if (SameText(t, "date")) return ptDate;
  if (SameText(t, "dateTime") || SameText(t, "SQLdateTime")) return ptDateTime;
  if (SameText(t, "time")) return ptTime;
  if (SameText(t, "boolean")) return ptBoolean;
  return ptText;
}

int Digits(std::string_view s, size_t pos, size_t len) {
  int v = 0;
  for (size_t i = pos; i < pos + len && i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
  }
  return pos + len <= s.size() ? v : -1;
}

// "yyyymmdd" or "yyyy-mm-dd".
bool ParseDate(std::string_view s, TDateTime& dt) {
  if (s.size() >= 10 && s[4] == '-')
    return TryEncodeDate(Digits(s, 0, 4), Digits(s, 5, 2), Digits(s, 8, 2), dt);
  return s.size() >= 8 && TryEncodeDate(Digits(s, 0, 4), Digits(s, 4, 2), Digits(s, 6, 2), dt);
}

// "hh:nn:ss" with optional milliseconds ("hh:nn:sszzz" or "hh:nn:ss.zzz").
bool ParseTime(std::string_view s, TDateTime& dt) {
  if (s.size() < 8 || s[2] != ':' || s[5] != ':') return false;
  int ms = 0;
  std::string_view rest = s.substr(8);
  if (!rest.empty() && (rest[0] == '.' || rest[0] == ',')) rest.remove_prefix(1);
  if (rest.size() >= 3) ms = Digits(rest, 0, 3);
  return ms >= 0 && TryEncodeTime(Digits(s, 0, 2), Digits(s, 3, 2), Digits(s, 6, 2), ms, dt);
}

class TPacketReader : public TSAXContentHandler {
 public:
  TPacketReader(std::vector<std::string>& Names, bool HeaderOnly)
      : FNames(Names), FHeaderOnly(HeaderOnly) {}

  std::function<void()> OnColumns;
  std::function<bool(const std::vector<std::string>&)> OnRow;

  void Run(TStream& Source, const std::string& FileName) {
    TSAXReader reader(*this);
    try {
      if (!reader.Parse(Source, FileName)) return;
    } catch (const ESAXParseError& e) {
      throw EQImportError("XML error in '" + FileName + "' at line " + std::to_string(e.Line()) +
                          ", column " + std::to_string(e.Column()) + ": " + e.Reason());
    }
    if (!FColumnsSent) throw EQImportError("'" + FileName + "' is not an XML data packet");
  }

  void StartElement(std::string_view Name, const TSAXAttributes& Atts) override {
    if (!FColumnsSent && Name == "FIELD") {
      std::string_view attr = Atts.Get("attrname"), type = Atts.Get("fieldtype");
      if (attr.empty()) return;
      FNames.emplace_back(attr);
      FTypes.push_back(PacketType(type));
      return;
    }
    if (Name != "ROW") return;
    if (!FColumnsSent) SendColumns();
    if (StopRequested()) return;
    for (std::string& v : FValues)
      v.clear();
    // Attributes usually come in field order: search from the field after the last match.
    const size_t n = FNames.size();
    const size_t count = Atts.Count();
    size_t hint = 0;
    for (size_t a = 0; a < count && n > 0; ++a) {
      for (size_t k = 0; k < n; ++k) {
        size_t i = (hint + k) % n;
        if (FNames[i] != Atts.Name(a)) continue;
        Render(FTypes[i], Atts.Value(a), FValues[i]);
        hint = i + 1;
        break;
      }
    }
    if (!OnRow(FValues)) StopParsing();
  }

  void EndElement(std::string_view Name) override {
    if (Name == "METADATA") SendColumns();
  }

 private:
  void SendColumns() {
    if (FColumnsSent) return;
    FColumnsSent = true;
    OnColumns();
    FValues.resize(FNames.size());
    if (FHeaderOnly) StopParsing();
  }

  static void Render(TPacketType type, std::string_view v, std::string& out) {
    TDateTime dt = 0;
    switch (type) {
      case ptNumber:
        out = RenderNumberText(v);
        return;
      case ptDate:
        if (ParseDate(v, dt))
          out = RenderDate(dt);
        else
          out = v;
        return;
      case ptTime:
        if (ParseTime(v, dt))
          out = RenderTime(dt);
        else
          out = v;
        return;
      case ptDateTime: {
        TDateTime t = 0;
        size_t sep = v.find('T');
        if (ParseDate(v.substr(0, sep), dt) &&
            (sep == std::string_view::npos || ParseTime(v.substr(sep + 1), t)))
          out = RenderDateTime(dt + t);
        else
          out = v;
        return;
      }
      case ptBoolean:
        if (SameText(v, "TRUE") || v == "1")
          out = RenderBoolean(true);
        else if (SameText(v, "FALSE") || v == "0")
          out = RenderBoolean(false);
        else
          out = v;
        return;
      default:
        out = v;
        return;
    }
  }

  std::vector<std::string>& FNames;
  std::vector<TPacketType> FTypes;
  std::vector<std::string> FValues;
  bool FHeaderOnly;
  bool FColumnsSent = false;
};

}  // namespace

void TQImport2XML::DoExecute(bool HeaderOnly) {
  std::unique_ptr<TFileStream> f;
  try {
    f = std::make_unique<TFileStream>(FileName, fmOpenRead);
  } catch (const EFOpenError&) {
    throw EQImportError("Cannot open XML data packet '" + FileName + "'");
  }
  std::vector<std::string> names;
  TPacketReader reader(names, HeaderOnly);
  reader.OnColumns = [&] { SetColumns(names); };
  reader.OnRow = [&](const std::vector<std::string>& values) { return DeliverRow(values); };
  reader.Run(*f, FileName);
}

}  // namespace vela
