// Sequential, buffered reading of a text file line by line, as UTF-8, for the text import.
//
// Encoding: a UTF-8 byte-order mark means UTF-8; a UTF-16 byte-order mark (LE or BE) means
// UTF-16, decoded to UTF-8 on the fly. Without a mark the leading chunk decides: valid UTF-8
// there means UTF-8, anything else means 8-bit text in the fallback code page. A line that turns
// out not to be valid UTF-8 later on is taken from the fallback code page on its own. The file is
// never held as a whole.
//
// Line ends: CR LF, LF and CR each end a line. A line end at the very end of the data adds no
// empty line; an empty data source has no lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vela {

class TStream;

enum class TTextLineEncoding { Unknown, Utf8, Utf8Bom, Utf16LE, Utf16BE, CodePage };

class TTextLineReader {
 public:
  static constexpr size_t kDefaultBlockSize = 64 * 1024;

  // AFallbackCodePage 0 stands for the system's ANSI code page. ABlockSize is the size of each
  // read from the stream and of the leading chunk that decides the encoding (at least 4 bytes).
  explicit TTextLineReader(TStream& AStream, int AFallbackCodePage = 0,
                           size_t ABlockSize = kDefaultBlockSize);
  TTextLineReader(const TTextLineReader&) = delete;
  TTextLineReader& operator=(const TTextLineReader&) = delete;

  // Replaces Line by the next line without its line end, as UTF-8. False (and an empty Line)
  // when no line is left.
  bool ReadLine(std::string& Line);
  // True when no further line can be read.
  bool Eof();
  // The encoding decided from the start of the data (Unknown before the first read).
  TTextLineEncoding Encoding() const noexcept { return FEncoding; }

 private:
  void Start();
  // Replaces the consumed buffer by the next decoded block; false at the end of the data.
  bool Fill();
  size_t ReadRaw(char* dest, size_t count);
  // Decodes FRaw (UTF-16) into FBuf, keeping an incomplete unit or pair for the next block.
  void DecodeUtf16(bool atEnd);
  void FixLineEncoding(std::string& Line) const;

  TStream& FStream;
  int FCodePage;
  size_t FBlockSize;
  TTextLineEncoding FEncoding = TTextLineEncoding::Unknown;
  bool FStarted = false;
  bool FStreamEnd = false;
  std::string FBuf;            // decoded bytes (UTF-8, or 8-bit in code page mode)
  size_t FPos = 0;             // read position in FBuf
  uint64_t FBufStart = 0;      // offset of FBuf[0] in the decoded data
  uint64_t FValidatedEnd = 0;  // decoded data before this offset is known to be valid UTF-8
  std::string FRaw;            // UTF-16 bytes not yet decoded
};

}  // namespace vela
