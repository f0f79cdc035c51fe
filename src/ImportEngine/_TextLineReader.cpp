#include "ImportEngine/_TextLineReader.h"

#include <algorithm>
#include <cstring>

#include "rtl/CodePages.h"
#include "rtl/SysUtils.h"
#include "rtl/Streams.h"

namespace vela {

namespace {

// Length of a UTF-8 sequence that is cut off at the end of s (0 when the end is complete), so
// that a leading chunk that ends inside a character can still count as valid.
size_t IncompleteUtf8Tail(std::string_view s) {
  const size_t n = s.size();
  for (size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto b = static_cast<unsigned char>(s[n - back]);
    if ((b & 0xC0) == 0x80) continue;  // continuation byte: look further back
    size_t need = 0;
    if ((b & 0xE0) == 0xC0)
      need = 2;
    else if ((b & 0xF0) == 0xE0)
      need = 3;
    else if ((b & 0xF8) == 0xF0)
      need = 4;
    return need > back ? back : 0;
  }
  return 0;
}

}  // namespace

TTextLineReader::TTextLineReader(TStream& AStream, int AFallbackCodePage, size_t ABlockSize)
    : FStream(AStream),
      FCodePage(AFallbackCodePage != 0 ? AFallbackCodePage : SystemAnsiCodePage()),
      FBlockSize(std::max<size_t>(ABlockSize, 1)) {}

size_t TTextLineReader::ReadRaw(char* dest, size_t count) {
  size_t total = 0;
  while (total < count && !FStreamEnd) {
    const size_t got = FStream.Read(dest + total, count - total);
    if (got == 0) FStreamEnd = true;
    total += got;
  }
  return total;
}

void TTextLineReader::Start() {
  FStarted = true;
  // The leading chunk: one block, at least 4 bytes so that a byte-order mark is always seen.
  std::string head(std::max<size_t>(FBlockSize, 4), '\0');
  head.resize(ReadRaw(head.data(), head.size()));
  const TTextBOM bom = DetectBOM(head);
  const std::string_view body = std::string_view(head).substr(BOMLength(bom));
  switch (bom) {
    case TTextBOM::Utf8:
      FEncoding = TTextLineEncoding::Utf8Bom;
      FBuf.assign(body);
      break;
    case TTextBOM::Utf16LE:
    case TTextBOM::Utf16BE:
      FEncoding =
          bom == TTextBOM::Utf16LE ? TTextLineEncoding::Utf16LE : TTextLineEncoding::Utf16BE;
      FRaw.assign(body);
      DecodeUtf16(FStreamEnd);
      break;
    default: {
      const size_t tail = FStreamEnd ? 0 : IncompleteUtf8Tail(body);
      if (IsValidUtf8(body.substr(0, body.size() - tail))) {
        FEncoding = TTextLineEncoding::Utf8;
        FValidatedEnd = body.size() - tail;
      } else {
        FEncoding = TTextLineEncoding::CodePage;
      }
      FBuf.assign(body);
    }
  }
}

void TTextLineReader::DecodeUtf16(bool atEnd) {
  const bool le = FEncoding == TTextLineEncoding::Utf16LE;
  const auto* p = reinterpret_cast<const unsigned char*>(FRaw.data());
  const size_t n = FRaw.size();
  size_t i = 0;
  auto unitAt = [&](size_t k) -> uint32_t {
    return le ? (p[k] | (p[k + 1] << 8)) : ((p[k] << 8) | p[k + 1]);
  };
  while (i + 2 <= n) {
    const uint32_t u = unitAt(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 4 > n) {
        if (!atEnd) break;  // the low half comes with the next block
        AppendUtf8(FBuf, 0xFFFD);
        i += 2;
        continue;
      }
      const uint32_t lo = unitAt(i + 2);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(FBuf, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 4;
      } else {
        AppendUtf8(FBuf, 0xFFFD);
        i += 2;
      }
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(FBuf, 0xFFFD);
      i += 2;
    } else {
      AppendUtf8(FBuf, u);
      i += 2;
    }
  }
  if (atEnd) i = n;  // a lone odd byte at the end is dropped
  FRaw.erase(0, i);
}

bool TTextLineReader::Fill() {
  FBufStart += FBuf.size();
  FBuf.clear();
  FPos = 0;
  const bool utf16 =
      FEncoding == TTextLineEncoding::Utf16LE || FEncoding == TTextLineEncoding::Utf16BE;
  while (FBuf.empty() && !FStreamEnd) {
    if (utf16) {
      const size_t keep = FRaw.size();
      FRaw.resize(keep + FBlockSize);
      FRaw.resize(keep + ReadRaw(FRaw.data() + keep, FBlockSize));
      DecodeUtf16(FStreamEnd);
    } else {
      FBuf.resize(FBlockSize);
      FBuf.resize(ReadRaw(FBuf.data(), FBlockSize));
    }
  }
  return !FBuf.empty();
}

bool TTextLineReader::Eof() {
  if (!FStarted) Start();
  return FPos >= FBuf.size() && !Fill();
}

bool TTextLineReader::ReadLine(std::string& Line) {
  Line.clear();
  if (Eof()) return false;
  for (;;) {
    const char* b = FBuf.data() + FPos;
    const size_t avail = FBuf.size() - FPos;
    const auto* nl = static_cast<const char*>(std::memchr(b, '\n', avail));
    const size_t scan = nl ? static_cast<size_t>(nl - b) : avail;
    const auto* cr = static_cast<const char*>(std::memchr(b, '\r', scan));
    if (cr) {
      Line.append(b, cr);
      FPos += static_cast<size_t>(cr - b) + 1;
      // CR LF is one line end, also when the LF starts the next block.
      if (FPos < FBuf.size() || Fill()) {
        if (FBuf[FPos] == '\n') ++FPos;
      }
      break;
    }
    if (nl) {
      Line.append(b, nl);
      FPos += scan + 1;
      break;
    }
    Line.append(b, avail);
    FPos = FBuf.size();
    if (!Fill()) break;  // the last line has no line end
  }
  FixLineEncoding(Line);
  return true;
}

void TTextLineReader::FixLineEncoding(std::string& Line) const {
  switch (FEncoding) {
    case TTextLineEncoding::Utf8:
    case TTextLineEncoding::Utf8Bom:
      // Lines within the validated leading chunk need no check.
      if (FBufStart + FPos <= FValidatedEnd || IsAscii(Line)) return;
      if (!IsValidUtf8(Line)) Line = CodePageToUtf8(Line, FCodePage);
      return;
    case TTextLineEncoding::CodePage:
      if (!IsAscii(Line)) Line = CodePageToUtf8(Line, FCodePage);
      return;
    default:
      return;  // UTF-16 is decoded to valid UTF-8 already
  }
}

}  // namespace vela
