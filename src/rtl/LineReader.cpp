#include "rtl/LineReader.h"

#include <algorithm>
#include <cstring>

#include "rtl/CodePages.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

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

// Code pages in which every byte stands for one character on its own, with ASCII below 0x80: a
// line converts byte by byte through a table. Left out: 1255 and 1258, whose conversion combines
// a letter with the accent that follows it.
bool IsSingleByteCodePage(int cp) {
  return (cp >= 1250 && cp <= 1257 && cp != 1255) || (cp >= 28591 && cp <= 28605) ||
         (cp >= 437 && cp <= 869) || cp == 874 || cp == 10000 || cp == 20866 || cp == 21866;
}

}  // namespace

TLineReader::TLineReader(TStream& AStream, int AFallbackCodePage, size_t ABlockSize,
                         TLineReaderMode AMode, TLineEnds AEnds)
    : FStream(AStream),
      FCodePage(AFallbackCodePage != 0 ? AFallbackCodePage : SystemAnsiCodePage()),
      FBlockSize(std::max<size_t>(ABlockSize, 1)),
      FMode(AMode),
      FEnds(AEnds) {}

size_t TLineReader::ReadRaw(char* dest, size_t count) {
  size_t total = 0;
  while (total < count && !FStreamEnd) {
    const size_t got = FStream.Read(dest + total, count - total);
    if (got == 0) FStreamEnd = true;
    total += got;
  }
  return total;
}

void TLineReader::Start() {
  FStarted = true;
  FBuf.resize(std::max<size_t>(FBlockSize, 4));
  FBuf.resize(ReadRaw(FBuf.data(), FBuf.size()));
  const TTextBOM bom = DetectBOM(FBuf);
  FPos = BOMLength(bom);
  switch (bom) {
    case TTextBOM::Utf8:
      FEncoding = TTextLineEncoding::Utf8Bom;
      break;
    case TTextBOM::Utf16LE:
    case TTextBOM::Utf16BE:
      FEncoding =
          bom == TTextBOM::Utf16LE ? TTextLineEncoding::Utf16LE : TTextLineEncoding::Utf16BE;
      FRaw.assign(FBuf, FPos);
      FBuf.clear();
      FPos = 0;
      DecodeUtf16(FStreamEnd);
      break;
    default: {
      const size_t tail = FStreamEnd ? 0 : IncompleteUtf8Tail(FBuf);
      if (IsValidUtf8(std::string_view(FBuf).substr(0, FBuf.size() - tail))) {
        FEncoding = TTextLineEncoding::Utf8;
        FValidatedEnd = FBuf.size() - tail;
      } else {
        FEncoding = TTextLineEncoding::CodePage;
      }
    }
  }
}

void TLineReader::DecodeUtf16(bool atEnd) {
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

bool TLineReader::Fill() {
  FBufStart += FBuf.size();
  FBuf.clear();
  FPos = 0;
  FLfKnown = false;
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

bool TLineReader::Eof() {
  if (!FStarted) Start();
  return FPos >= FBuf.size() && !Fill();
}

bool TLineReader::ReadLine(std::string& Line) {
  Line.clear();
  if (Eof()) return false;
  ++FLineNumber;
  FLineEnded = true;
  for (;;) {
    const char* b = FBuf.data() + FPos;
    const size_t avail = FBuf.size() - FPos;
    // The next LF is searched once per LF and block: with CR line ends a search per line would
    // run to the block's end for every line.
    if (!FLfKnown || FLfAt < FPos) {
      const void* lf = std::memchr(b, '\n', avail);
      FLfAt =
          lf ? static_cast<size_t>(static_cast<const char*>(lf) - FBuf.data()) : std::string::npos;
      FLfKnown = true;
    }
    const char* nl = FLfAt == std::string::npos ? nullptr : FBuf.data() + FLfAt;
    const size_t scan = nl ? static_cast<size_t>(nl - b) : avail;
    const auto* cr =
        FEnds == TLineEnds::Any ? static_cast<const char*>(std::memchr(b, '\r', scan)) : nullptr;
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
      // With LF-only line ends the CR of a CR LF pair, which may have come with the block before.
      if (FEnds == TLineEnds::LfOnly && !Line.empty() && Line.back() == '\r') Line.pop_back();
      break;
    }
    Line.append(b, avail);
    FPos = FBuf.size();
    if (!Fill()) {  // the last line has no line end
      FLineEnded = false;
      break;
    }
  }
  if (FMode == TLineReaderMode::Text) FixLineEncoding(Line);
  return true;
}

void TLineReader::FixLineEncoding(std::string& Line) {
  switch (FEncoding) {
    case TTextLineEncoding::Utf8:
    case TTextLineEncoding::Utf8Bom:
      // Lines within the validated leading chunk need no check.
      if (FBufStart + FPos <= FValidatedEnd || IsAscii(Line)) return;
      if (!IsValidUtf8(Line)) CodePageLineToUtf8(Line);
      return;
    case TTextLineEncoding::CodePage:
      if (!IsAscii(Line)) CodePageLineToUtf8(Line);
      return;
    default:
      return;  // UTF-16 is decoded to valid UTF-8 already
  }
}

void TLineReader::BuildCharMap() {
  FCharMapState = TCharMapState::LineByLine;
  if (!IsSingleByteCodePage(FCodePage)) return;
  for (size_t i = 0; i < 128; ++i) {
    const char byte = static_cast<char>(0x80 + i);
    const std::string utf8 = CodePageToUtf8(std::string_view(&byte, 1), FCodePage);
    if (utf8.empty() || utf8.size() > 4) return;
    std::memcpy(FCharMap.data() + i * 4, utf8.data(), utf8.size());
    FCharLen[i] = static_cast<uint8_t>(utf8.size());
  }
  FCharMapState = TCharMapState::InUse;
}

void TLineReader::CodePageLineToUtf8(std::string& Line) {
  if (FCharMapState == TCharMapState::NotBuilt) BuildCharMap();
  if (FCharMapState != TCharMapState::InUse) {
    Line = CodePageToUtf8(Line, FCodePage);
    return;
  }
  FConverted.clear();
  for (const char c : Line) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      FConverted.push_back(c);
    } else {
      const size_t i = b - 0x80u;
      FConverted.append(FCharMap.data() + i * 4, FCharLen[i]);
    }
  }
  Line.swap(FConverted);
}

}  // namespace vela
