// Reading XML as a stream of events: a content handler receives start and end of the document,
// start elements with their attributes, end elements and character data while the reader
// feeds the source to expat block by block. The whole document is never held in memory.
//
// What the reader guarantees:
// - Names are the qualified names as written (namespace processing is off).
// - Character data may arrive in several Characters calls for one run of text; CDATA sections
//   are delivered as character data. Entity and character references are resolved.
// - Entity declarations in a document type declaration are refused (a parse error), so entity
//   expansion cannot blow up; expat's amplification limits are set as a second guard.
// - Every malformed document raises ESAXParseError carrying the source's name (when known), the
//   line (from 1) and the column (from 1, in characters) of the offending construct.
// - A handler stops the parse early by calling StopParsing(): Parse then returns false and no
//   further events (not even EndDocument) are delivered. An exception thrown by a handler ends
//   the parse and passes to the caller of Parse unchanged.
// - With ReadAhead a worker thread parses ahead; what the handler sees does not change, except
//   that adjacent character data arrives joined more often.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

namespace vela {

// A malformed document. The message reads "NAME:LINE:COLUMN: reason", or "LINE:COLUMN: reason"
// when the source has no name; the parts are available on their own too.
class ESAXParseError : public Exception {
 public:
  ESAXParseError(std::string SourceName, int Line, int Column, std::string Reason);
  const char* ClassName() const noexcept override { return "ESAXParseError"; }

  const std::string& SourceName() const noexcept { return FSourceName; }
  int Line() const noexcept { return FLine; }
  int Column() const noexcept { return FColumn; }
  // The reason alone, without the position ("mismatched tag").
  const std::string& Reason() const noexcept { return FReason; }

 private:
  std::string FSourceName;
  int FLine;
  int FColumn;
  std::string FReason;
};

// The attributes of one start element, in document order. A view valid only during the
// StartElement call that receives it.
class TSAXAttributes {
 public:
  explicit TSAXAttributes(const char** Atts) noexcept : FAtts(Atts) {}
  // The same with the lengths of the texts known (name, value, name, ...), so that they are not
  // measured again.
  TSAXAttributes(const char** Atts, const uint32_t* Lengths) noexcept
      : FAtts(Atts), FLengths(Lengths) {}

  size_t Count() const noexcept;
  std::string_view Name(size_t Index) const noexcept { return Text(2 * Index); }
  std::string_view Value(size_t Index) const noexcept { return Text(2 * Index + 1); }
  // The value of the attribute with this exact name, or nullptr when there is none.
  const char* Find(std::string_view Name) const noexcept;
  // The value of the attribute, or Default when there is none.
  std::string_view Get(std::string_view Name, std::string_view Default = {}) const noexcept;

 private:
  std::string_view Text(size_t AIndex) const noexcept {
    return FLengths ? std::string_view(FAtts[AIndex], FLengths[AIndex])
                    : std::string_view(FAtts[AIndex]);
  }

  const char** FAtts;                  // name, value, name, value, ..., nullptr
  const uint32_t* FLengths = nullptr;  // their lengths, when known
};

// Receives the events of one parse. Every event does nothing unless overridden.
class TSAXContentHandler {
 public:
  virtual ~TSAXContentHandler() = default;

  virtual void StartDocument() {}
  virtual void EndDocument() {}
  virtual void StartElement(std::string_view Name, const TSAXAttributes& Atts) {
    (void)Name;
    (void)Atts;
  }
  virtual void EndElement(std::string_view Name) { (void)Name; }
  virtual void Characters(std::string_view Text) { (void)Text; }

  // Asks the reader to stop after the current event; Parse then returns false.
  void StopParsing() noexcept { FStopRequested = true; }
  bool StopRequested() const noexcept { return FStopRequested; }

 private:
  friend class TSAXReader;
  bool FStopRequested = false;
};

// Parses documents into a content handler. One reader parses one document at a time; it may
// be reused for further documents.
class TSAXReader {
 public:
  static constexpr size_t kDefaultBlockSize = 64 * 1024;

  explicit TSAXReader(TSAXContentHandler& Handler) noexcept : FHandler(Handler) {}

  // Bytes read from the source per step (at least 1).
  size_t BlockSize = kDefaultBlockSize;
  // Parses on a worker thread, a few blocks of events ahead of the handler, so that parsing and
  // the handler's work run at the same time. The handler still receives every event, in the same
  // order and with the same guarantees, on the thread that called Parse. The source is read on
  // the worker thread: nobody else may use it until Parse returns.
  bool ReadAhead = false;

  // Reads the source from its position to its end. SourceName names it in error messages.
  // Returns true when the document was read to its end, false when the handler stopped it.
  bool Parse(TStream& Source, std::string_view SourceName = {});
  // Reads a file; raises EFOpenError when it cannot be opened.
  bool ParseFile(const std::string& FileName);

 private:
  bool ParseDirect(TStream& Source, std::string_view SourceName);
  bool ParseAhead(TStream& Source, std::string_view SourceName);

  TSAXContentHandler& FHandler;
};

}  // namespace vela
