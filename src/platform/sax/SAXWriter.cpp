#include "platform/sax/SAXWriter.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include <expat.h>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the UTF-8 sequence at s[i] and advances i past it; kInvalid for a malformed, overlong
// or surrogate sequence (i then advances by one).
char32_t DecodeUtf8(std::string_view s, size_t& i) noexcept {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  size_t len;
  char32_t cp, min;
  if (c < 0x80) {
    ++i;
    return c;
  } else if (c >= 0xC2 && c <= 0xDF) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return kInvalid;
  }
  if (i + len > s.size()) {
    ++i;
    return kInvalid;
  }
  for (size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) {
      ++i;
      return kInvalid;
    }
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kInvalid;
  }
  i += len;
  return cp;
}

// Bytes that content (index 0) or attribute values (index 1) take as they stand.
constexpr std::array<std::array<bool, 256>, 2> MakePlain() {
  std::array<std::array<bool, 256>, 2> t{};
  for (int attr = 0; attr < 2; ++attr) {
    for (int c = 0x20; c < 0x7F; ++c)
      t[attr][c] = c != '&' && c != '<' && c != '>' && (c != '"' || !attr);
    t[attr]['\t'] = t[attr]['\n'] = !attr;
  }
  return t;
}
constexpr auto kPlain = MakePlain();

[[noreturn]] void RaiseBadChar(char32_t Cp) {
  if (Cp == kInvalid) throw ESAXWriteError("Invalid UTF-8 in XML output");
  char hex[16];
  std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(Cp));
  throw ESAXWriteError(std::string("Character ") + hex + " cannot be written in XML");
}

bool Forbidden(char32_t Cp) noexcept {
  return Cp == kInvalid || (Cp < 0x20 && Cp != '\t' && Cp != '\n' && Cp != '\r') || Cp == 0xFFFE ||
         Cp == 0xFFFF;
}

// Name bytes: bit 1 where a name may start with the byte, bit 2 where it may go on with it.
constexpr std::array<uint8_t, 256> MakeNameBytes() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    const bool start =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
    const bool rest = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
    t[c] = static_cast<uint8_t>((start ? 1 : 0) | (rest ? 2 : 0));
  }
  return t;
}
constexpr auto kNameBytes = MakeNameBytes();

bool IsNameByte(unsigned char c, bool First) noexcept {
  return (kNameBytes[c] & (First ? 1 : 2)) != 0;
}

// Bytes that stand in a CDATA section as they are: printable ASCII except ']'.
constexpr std::array<bool, 256> MakeCDataPlain() {
  std::array<bool, 256> t{};
  for (int c = 0x20; c < 0x80; ++c)
    t[c] = c != ']';
  return t;
}
constexpr auto kCDataPlain = MakeCDataPlain();

// Whether the XML reader takes Name as an element name. Which non-ASCII letters XML names may
// hold depends on the Unicode version behind the reader's tables, so the reader itself decides:
// what the writer writes must read back.
bool ReaderAcceptsName(std::string_view Name) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  if (parser == nullptr) return false;
  const std::string doc = "<" + std::string(Name) + "/>";
  const bool ok =
      XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

}  // namespace

TSAXWriter::TSAXWriter(TStream& Dest, size_t BufferSize)
    : FDest(Dest), FBufferSize(BufferSize > 0 ? BufferSize : 1) {
  FBuf.reserve(FBufferSize + 256);
}

TSAXWriter::~TSAXWriter() {
  try {
    Flush();
  } catch (...) {
  }
}

void TSAXWriter::StartDocument(std::string_view Encoding) {
  if (FStarted || FDepth > 0) throw ESAXWriteError("The XML document has already begun");
  const char* name;
  if (SameText(Encoding, "UTF-8") || SameText(Encoding, "UTF8")) {
    name = "UTF-8", FMaxChar = 0x10FFFF;
  } else if (SameText(Encoding, "ISO-8859-1") || SameText(Encoding, "latin1")) {
    name = "ISO-8859-1", FMaxChar = 0xFF;
  } else if (SameText(Encoding, "US-ASCII") || SameText(Encoding, "ASCII")) {
    name = "US-ASCII", FMaxChar = 0x7F;
  } else {
    throw ESAXWriteError("XML output encoding '" + std::string(Encoding) + "' is not supported");
  }
  FStarted = true;
  FBuf += "<?xml version=\"1.0\" encoding=\"";
  FBuf += name;
  FBuf += "\"?>\n";
}

void TSAXWriter::EndDocument() {
  while (FDepth > 0)
    EndElement();
  Flush();
}

void TSAXWriter::CheckName(std::string_view Name) const {
  // The usual case: an ASCII name, checked by table.
  if (!Name.empty() && (kNameBytes[static_cast<unsigned char>(Name[0])] & 1) != 0 &&
      static_cast<unsigned char>(Name[0]) < 0x80) {
    size_t i = 1;
    while (i < Name.size() && static_cast<unsigned char>(Name[i]) < 0x80 &&
           (kNameBytes[static_cast<unsigned char>(Name[i])] & 2) != 0)
      ++i;
    if (i == Name.size()) return;
  }
  CheckOtherName(Name);
}

void TSAXWriter::CheckOtherName(std::string_view Name) const {
  bool ok = !Name.empty();
  bool ascii = true;
  for (size_t i = 0; ok && i < Name.size();) {
    const auto c = static_cast<unsigned char>(Name[i]);
    ok = IsNameByte(c, i == 0);
    if (c < 0x80) {
      ++i;
      continue;
    }
    ascii = false;
    // Non-ASCII name characters only where the encoding writes them as they stand.
    ok = ok && FMaxChar == 0x10FFFF && DecodeUtf8(Name, i) != kInvalid;
  }
  if (ok && !ascii && FCheckedNames.count(std::string(Name)) == 0) {
    ok = ReaderAcceptsName(Name);
    if (ok) FCheckedNames.emplace(Name);
  }
  if (!ok) throw ESAXWriteError("'" + std::string(Name) + "' is not a valid XML name");
}

void TSAXWriter::StartElement(std::string_view Name) {
  CheckName(Name);
  CloseStartTag();
  FBuf += '<';
  FBuf += Name;
  FTagOpen = true;
  // The names' strings are kept for the next elements at this depth.
  if (FDepth == FOpen.size())
    FOpen.emplace_back(Name);
  else
    FOpen[FDepth].assign(Name);
  ++FDepth;
  FlushIfFull();
}

void TSAXWriter::Attribute(std::string_view Name, std::string_view Value) {
  if (!FTagOpen)
    throw ESAXWriteError("Attribute '" + std::string(Name) + "' after the element's content");
  CheckName(Name);
  FBuf += ' ';
  FBuf += Name;
  FBuf += "=\"";
  PutEscaped(Value, true);
  FBuf += '"';
  FlushIfFull();
}

void TSAXWriter::Characters(std::string_view Text) {
  if (FDepth == 0) throw ESAXWriteError("Text outside the root element");
  CloseStartTag();
  PutEscaped(Text, false);
  FlushIfFull();
}

void TSAXWriter::EndElement() {
  if (FDepth == 0) throw ESAXWriteError("No open element to end");
  if (FTagOpen) {
    FBuf += "/>";
    FTagOpen = false;
  } else {
    FBuf += "</";
    FBuf += FOpen[FDepth - 1];
    FBuf += '>';
  }
  --FDepth;
  FlushIfFull();
}

void TSAXWriter::PutReference(char32_t Cp) {
  FBuf += "&#";
  FBuf += std::to_string(static_cast<unsigned>(Cp));
  FBuf += ';';
}

void TSAXWriter::PutChar(char32_t Cp, std::string_view Utf8) {
  if (Cp > FMaxChar)
    PutReference(Cp);
  else if (FMaxChar == 0x10FFFF)
    FBuf += Utf8;
  else
    FBuf += static_cast<char>(Cp);
}

void TSAXWriter::PutEscaped(std::string_view Text, bool Attr) {
  const auto& plain = kPlain[Attr ? 1 : 0];
  const bool utf8 = FMaxChar == 0x10FFFF;
  size_t run = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < Text.size();) {
    const auto c = static_cast<unsigned char>(Text[i]);
    if (plain[c]) {
      ++i;
      continue;
    }
    const size_t at = i;
    const char32_t cp = DecodeUtf8(Text, i);
    if (Forbidden(cp)) RaiseBadChar(cp);
    // Most non-ASCII characters stay in the run in UTF-8 output.
    if (cp > 0x9F && utf8) continue;
    FBuf.append(Text.data() + run, at - run);
    run = i;
    switch (cp) {
      case '&':
        FBuf += "&amp;";
        break;
      case '<':
        FBuf += "&lt;";
        break;
      case '>':
        FBuf += "&gt;";
        break;
      case '"':
        FBuf += "&quot;";
        break;
      default:
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
          PutReference(cp);
        else
          PutChar(cp, Text.substr(at, i - at));
    }
  }
  FBuf.append(Text.data() + run, Text.size() - run);
}

void TSAXWriter::CData(std::string_view Text) {
  if (FDepth == 0) throw ESAXWriteError("CDATA outside the root element");
  CloseStartTag();
  const bool utf8 = FMaxChar == 0x10FFFF;
  FBuf += "<![CDATA[";
  size_t run = 0;
  for (size_t i = 0; i < Text.size();) {
    while (i < Text.size() && kCDataPlain[static_cast<unsigned char>(Text[i])])
      ++i;
    if (i == Text.size()) break;
    const auto c = static_cast<unsigned char>(Text[i]);
    if (c == ']' && Text.substr(i, 3) == "]]>") {
      // End the section after "]]" and begin the next one with ">".
      i += 2;
      FBuf.append(Text.data() + run, i - run);
      FBuf += "]]><![CDATA[";
      run = i;
      continue;
    }
    if (c >= 0x20 && c < 0x80) {
      ++i;
      continue;
    }
    const size_t at = i;
    const char32_t cp = DecodeUtf8(Text, i);
    if (Forbidden(cp)) RaiseBadChar(cp);
    if (cp == '\t' || cp == '\n' || (utf8 && cp != '\r')) continue;
    FBuf.append(Text.data() + run, at - run);
    run = i;
    if (cp == '\r' || cp > FMaxChar) {
      // A reference cannot stand inside CDATA: close the section around it.
      FBuf += "]]>";
      PutReference(cp);
      FBuf += "<![CDATA[";
    } else {
      FBuf += static_cast<char>(cp);
    }
  }
  FBuf.append(Text.data() + run, Text.size() - run);
  FBuf += "]]>";
  FlushIfFull();
}

void TSAXWriter::Flush() {
  if (FBuf.empty()) return;
  FDest.WriteBuffer(FBuf.data(), FBuf.size());
  FBuf.clear();
}

}  // namespace vela
