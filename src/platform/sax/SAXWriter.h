// Writing XML as a stream: the caller opens elements, adds attributes to the element just
// opened, writes text and CDATA and closes elements; the writer escapes and buffers and passes
// full buffers to the destination stream. It holds only the buffer, the open start tag's state
// and the names of the open elements.
//
// Input is UTF-8. What the writer emits so that any XML 1.0 reader gets the same text back:
// - text: & < > as entity references, CR as "&#13;" (a reader would turn a literal CR into LF);
// - attribute values: also " as "&quot;", and TAB, LF, CR as character references (a reader
//   would turn them into spaces);
// - U+007F to U+009F as character references everywhere they are allowed;
// - characters the declared encoding cannot hold as character references (ISO-8859-1 and
//   US-ASCII);
// - CDATA sections split around "]]>" ("a]]>b" becomes "<![CDATA[a]]]]><![CDATA[>b]]>") and
//   around characters that need a reference (CR, characters beyond the encoding).
// Characters XML 1.0 does not allow at all (C0 controls other than TAB, LF, CR; U+FFFE, U+FFFF)
// and invalid UTF-8 raise ESAXWriteError, as do malformed names and calls out of order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

namespace vela {

VELA_DECLARE_EXCEPTION(ESAXWriteError, Exception);

class TSAXWriter {
 public:
  static constexpr size_t kDefaultBufferSize = 64 * 1024;

  explicit TSAXWriter(TStream& Dest, size_t BufferSize = kDefaultBufferSize);
  // Writes what is still buffered; errors at this point are lost (call EndDocument or Flush).
  ~TSAXWriter();
  TSAXWriter(const TSAXWriter&) = delete;
  TSAXWriter& operator=(const TSAXWriter&) = delete;

  // Writes the XML declaration. Encoding is "UTF-8" (the default), "ISO-8859-1" or "US-ASCII"
  // (any letter case); others raise ESAXWriteError.
  void StartDocument(std::string_view Encoding = "UTF-8");
  // Closes every open element and flushes the buffer into the stream.
  void EndDocument();

  void StartElement(std::string_view Name);
  // Adds an attribute to the element opened last; only before its content.
  void Attribute(std::string_view Name, std::string_view Value);
  void Characters(std::string_view Text);
  // One CDATA section (more when the text needs splitting).
  void CData(std::string_view Text);
  // Closes the innermost open element; one without content is written as "<name/>".
  void EndElement();

  // Passes the buffered output to the stream.
  void Flush();
  // Bytes written but not yet passed to the stream.
  size_t Buffered() const noexcept { return FBuf.size(); }
  // Number of open elements.
  size_t Depth() const noexcept { return FDepth; }

 private:
  void CloseStartTag() {
    if (FTagOpen) {
      FBuf += '>';
      FTagOpen = false;
    }
  }
  void CheckName(std::string_view Name) const;
  // Names with non-ASCII bytes, and names that fail: kept apart from the usual short path.
  [[gnu::noinline]] void CheckOtherName(std::string_view Name) const;
  // Appends Text escaped for element content (Attr false) or a quoted attribute value.
  void PutEscaped(std::string_view Text, bool Attr);
  // Appends one code point as it stands in the output encoding.
  void PutChar(char32_t Cp, std::string_view Utf8);
  void PutReference(char32_t Cp);
  void FlushIfFull() {
    if (FBuf.size() >= FBufferSize) Flush();
  }

  TStream& FDest;
  size_t FBufferSize;
  std::string FBuf;
  std::vector<std::string> FOpen;  // names of the open elements: [0, FDepth) in use
  size_t FDepth = 0;
  bool FTagOpen = false;
  bool FStarted = false;
  // Highest code point written as it stands: 0x10FFFF (UTF-8), 0xFF (ISO-8859-1), 0x7F.
  char32_t FMaxChar = 0x10FFFF;
  // Non-ASCII names that the XML reader was asked about and accepted.
  mutable std::unordered_set<std::string> FCheckedNames;
};

}  // namespace vela
