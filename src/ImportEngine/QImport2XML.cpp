#include "ImportEngine/QImport2XML.h"

#include <expat.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

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

class TPacketReader {
 public:
  TPacketReader(std::vector<std::string>& Names, bool HeaderOnly)
      : FNames(Names), FHeaderOnly(HeaderOnly) {}

  std::function<void()> OnColumns;
  std::function<bool(const std::vector<std::string>&)> OnRow;

  void Run(FILE* f, const std::string& FileName) {
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> p(XML_ParserCreate(nullptr),
                                                                   &XML_ParserFree);
    FParser = p.get();
    XML_SetUserData(FParser, this);
    XML_SetElementHandler(FParser, &StartEl, &EndEl);
    for (;;) {
      void* buf = XML_GetBuffer(FParser, 65536);
      if (!buf) throw EQImportError("Out of memory reading '" + FileName + "'");
      size_t n = std::fread(buf, 1, 65536, f);
      bool last = n < 65536;
      XML_Status st = XML_ParseBuffer(FParser, static_cast<int>(n), last);
      if (FError) std::rethrow_exception(FError);
      if (FStopped) return;
      if (st == XML_STATUS_ERROR)
        throw EQImportError("XML error in '" + FileName + "' at line " +
                            std::to_string(XML_GetCurrentLineNumber(FParser)) + ": " +
                            XML_ErrorString(XML_GetErrorCode(FParser)));
      if (last) break;
    }
    if (!FColumnsSent) throw EQImportError("'" + FileName + "' is not an XML data packet");
  }

 private:
  static void StartEl(void* ud, const XML_Char* name, const XML_Char** atts) {
    auto* self = static_cast<TPacketReader*>(ud);
    try {
      self->Start(name, atts);
    } catch (...) {
      self->FError = std::current_exception();
      XML_StopParser(self->FParser, XML_FALSE);
    }
  }
  static void EndEl(void* ud, const XML_Char* name) {
    auto* self = static_cast<TPacketReader*>(ud);
    try {
      if (std::strcmp(name, "METADATA") == 0) self->SendColumns();
    } catch (...) {
      self->FError = std::current_exception();
      XML_StopParser(self->FParser, XML_FALSE);
    }
  }

  void Stop() {
    FStopped = true;
    XML_StopParser(FParser, XML_FALSE);
  }

  void SendColumns() {
    if (FColumnsSent) return;
    FColumnsSent = true;
    OnColumns();
    FValues.resize(FNames.size());
    if (FHeaderOnly) Stop();
  }

  void Start(const char* name, const char** atts) {
    if (!FColumnsSent && std::strcmp(name, "FIELD") == 0) {
      std::string_view attr, type;
      for (const char** a = atts; *a; a += 2) {
        if (std::strcmp(a[0], "attrname") == 0)
          attr = a[1];
        else if (std::strcmp(a[0], "fieldtype") == 0)
          type = a[1];
      }
      if (attr.empty()) return;
      FNames.emplace_back(attr);
      FTypes.push_back(PacketType(type));
      return;
    }
    if (std::strcmp(name, "ROW") != 0) return;
    if (!FColumnsSent) SendColumns();
    if (FStopped) return;
    for (std::string& v : FValues)
      v.clear();
    // Attributes usually come in field order: search from the field after the last match.
    const size_t n = FNames.size();
    size_t hint = 0;
    for (const char** a = atts; *a && n > 0; a += 2) {
      for (size_t k = 0; k < n; ++k) {
        size_t i = (hint + k) % n;
        if (FNames[i] != a[0]) continue;
        Render(FTypes[i], a[1], FValues[i]);
        hint = i + 1;
        break;
      }
    }
    if (!OnRow(FValues)) Stop();
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
  XML_Parser FParser = nullptr;
  bool FColumnsSent = false;
  bool FStopped = false;
  std::exception_ptr FError;
};

struct TFileCloser {
  void operator()(FILE* f) const noexcept { std::fclose(f); }
};

}  // namespace

void TQImport2XML::DoExecute(bool HeaderOnly) {
  std::unique_ptr<FILE, TFileCloser> f(std::fopen(FileName.c_str(), "rb"));
  if (!f) throw EQImportError("Cannot open XML data packet '" + FileName + "'");
  std::vector<std::string> names;
  TPacketReader reader(names, HeaderOnly);
  reader.OnColumns = [&] { SetColumns(names); };
  reader.OnRow = [&](const std::vector<std::string>& values) { return DeliverRow(values); };
  reader.Run(f.get(), FileName);
}

}  // namespace vela
