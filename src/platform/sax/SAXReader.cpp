#include "platform/sax/SAXReader.h"

// The library is built with DTD support (which the amplification limits belong to); its public
// header declares them only when told so.
#include <expat_config.h>
#include <expat.h>

#include <cstring>
#include <exception>
#include <memory>

namespace vela {

namespace {

std::string ParseErrorMessage(const std::string& SourceName, int Line, int Column,
                              const std::string& Reason) {
  std::string m;
  if (!SourceName.empty()) m = SourceName + ":";
  return m + std::to_string(Line) + ":" + std::to_string(Column) + ": " + Reason;
}

// One parse: the expat parser and what the callbacks need to hand events on or stop.
class TParse {
 public:
  TParse(TSAXContentHandler& Handler, std::string_view SourceName)
      : FHandler(Handler), FSourceName(SourceName), FParser(XML_ParserCreate(nullptr)) {
    if (!FParser) throw std::bad_alloc();
    XML_SetUserData(FParser, this);
    XML_SetElementHandler(FParser, &StartEl, &EndEl);
    XML_SetCharacterDataHandler(FParser, &Chars);
    XML_SetEntityDeclHandler(FParser, &EntityDecl);
#if defined(XML_DTD) && \
    (XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4))
    // A second guard behind the refused entity declarations: no document may expand by more
    // than 100 times its size once past 1 MiB of output.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(FParser, 100.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(FParser, 1024 * 1024);
#endif
  }
  ~TParse() {
    XML_ParserFree(FParser);
  }
  TParse(const TParse&) = delete;
  TParse& operator=(const TParse&) = delete;

  // Parses one block (Final for the last, possibly empty one). Returns false when the handler
  // asked to stop; raises the handler's exception or the parse error.
  bool Feed(int Length, bool Final) {
    XML_Status st = XML_ParseBuffer(FParser, Length, Final);
    if (FError) std::rethrow_exception(FError);
    if (FHandler.StopRequested()) return false;
    if (st == XML_STATUS_ERROR) {
      if (FReason.empty()) {
        FLine = static_cast<int>(XML_GetCurrentLineNumber(FParser));
        FColumn = static_cast<int>(XML_GetCurrentColumnNumber(FParser)) + 1;
        FReason = XML_ErrorString(XML_GetErrorCode(FParser));
      }
      throw ESAXParseError(FSourceName, FLine, FColumn, FReason);
    }
    return true;
  }

  void* Buffer(size_t Size) {
    void* buf = XML_GetBuffer(FParser, static_cast<int>(Size));
    if (!buf) throw std::bad_alloc();
    return buf;
  }

 private:
  // Calls into the handler unless the parse is already ending; an exception or a stop request
  // aborts expat after the event.
  template <class F>
  static void Deliver(void* UserData, F&& Event) {
    auto* self = static_cast<TParse*>(UserData);
    if (self->FError || self->FHandler.StopRequested() || !self->FReason.empty()) return;
    try {
      Event(self->FHandler);
    } catch (...) {
      self->FError = std::current_exception();
    }
    if (self->FError || self->FHandler.StopRequested()) XML_StopParser(self->FParser, XML_FALSE);
  }

  static void StartEl(void* ud, const XML_Char* Name, const XML_Char** Atts) {
    Deliver(ud, [&](TSAXContentHandler& h) { h.StartElement(Name, TSAXAttributes(Atts)); });
  }
  static void EndEl(void* ud, const XML_Char* Name) {
    Deliver(ud, [&](TSAXContentHandler& h) { h.EndElement(Name); });
  }
  static void Chars(void* ud, const XML_Char* Text, int Len) {
    Deliver(ud, [&](TSAXContentHandler& h) {
      h.Characters(std::string_view(Text, static_cast<size_t>(Len)));
    });
  }
  // Entity declarations are refused: documents we exchange never need them, and refusing them
  // keeps entity expansion out of reach.
  static void EntityDecl(void* ud, const XML_Char* Name, int, const XML_Char*, int, const XML_Char*,
                         const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* self = static_cast<TParse*>(ud);
    if (!self->FReason.empty()) return;
    self->FLine = static_cast<int>(XML_GetCurrentLineNumber(self->FParser));
    self->FColumn = static_cast<int>(XML_GetCurrentColumnNumber(self->FParser)) + 1;
    self->FReason = std::string("entity declarations are not allowed (entity '") + Name + "')";
    XML_StopParser(self->FParser, XML_FALSE);
  }

  TSAXContentHandler& FHandler;
  std::string FSourceName;
  XML_Parser FParser;
  std::exception_ptr FError;
  // A refusal of our own, reported instead of expat's "parsing aborted".
  std::string FReason;
  int FLine = 0;
  int FColumn = 0;
};

}  // namespace

ESAXParseError::ESAXParseError(std::string SourceName, int Line, int Column, std::string Reason)
    : Exception(ParseErrorMessage(SourceName, Line, Column, Reason)),
      FSourceName(std::move(SourceName)),
      FLine(Line),
      FColumn(Column),
      FReason(std::move(Reason)) {}

size_t TSAXAttributes::Count() const noexcept {
  size_t n = 0;
  while (FAtts[2 * n])
    ++n;
  return n;
}

const char* TSAXAttributes::Find(std::string_view Name) const noexcept {
  for (const char** a = FAtts; *a; a += 2)
    if (Name == *a) return a[1];
  return nullptr;
}

std::string_view TSAXAttributes::Get(std::string_view Name,
                                     std::string_view Default) const noexcept {
  const char* v = Find(Name);
  return v ? std::string_view(v) : Default;
}

bool TSAXReader::Parse(TStream& Source, std::string_view SourceName) {
  const size_t block = BlockSize > 0 ? BlockSize : 1;
  FHandler.FStopRequested = false;
  TParse parse(FHandler, SourceName);
  FHandler.StartDocument();
  if (FHandler.FStopRequested) return false;
  for (;;) {
    void* buf = parse.Buffer(block);
    size_t n = Source.Read(buf, block);
    if (!parse.Feed(static_cast<int>(n), n == 0)) return false;
    if (n == 0) break;
  }
  FHandler.EndDocument();
  return true;
}

bool TSAXReader::ParseFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  return Parse(f, FileName);
}

}  // namespace vela
