// Sequential, buffered reading of text line by line: the one line reader behind the text import,
// the delimited text files and the card library.
//
// Encoding: a UTF-8 byte-order mark means UTF-8; a UTF-16 byte-order mark (LE or BE) means
// UTF-16, decoded to UTF-8 on the fly; a mark is never part of a line. Without a mark the leading
// block decides: valid UTF-8 there means UTF-8, anything else means 8-bit text in the fallback
// code page. A line that turns out not to be valid UTF-8 later on is taken from the fallback code
// page on its own. In byte mode UTF-8 and 8-bit lines are handed on as they are, for callers that
// decode by rules of their own (UTF-16 is still decoded).
//
// Line ends: CR LF, LF and CR each end a line, also when a CR LF pair is split between two
// blocks; with LF-only line ends a CR right before an LF is dropped and any other CR stays part
// of the line. A line end at the very end of the data adds no empty line; empty data has no
// lines.
//
// The data is never held as a whole: one block and the current line, in buffers that are reused
// from line to line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vela {

class TStream;

enum class TTextLineEncoding { Unknown, Utf8, Utf8Bom, Utf16LE, Utf16BE, CodePage };

// What ReadLine makes of text that is not UTF-16.
enum class TLineReaderMode {
  Text,  // UTF-8; 8-bit lines are converted from the fallback code page
  Bytes  // the bytes as they are
};

// Which bytes end a line.
enum class TLineEnds {
  Any,    // CR LF, LF and CR
  LfOnly  // LF (and CR LF); a lone CR is part of the line
};

class TLineReader {
 public:
  static constexpr size_t kDefaultBlockSize = 64 * 1024;

  // AFallbackCodePage 0 stands for the system's ANSI code page. ABlockSize is the size of each
  // read from the stream and of the leading chunk that decides the encoding (that one at least
  // 4 bytes, so that a byte-order mark is always seen); 0 counts as 1.
  explicit TLineReader(TStream& AStream, int AFallbackCodePage = 0,
                       size_t ABlockSize = kDefaultBlockSize,
                       TLineReaderMode AMode = TLineReaderMode::Text,
                       TLineEnds AEnds = TLineEnds::Any);
  TLineReader(const TLineReader&) = delete;
  TLineReader& operator=(const TLineReader&) = delete;

  // Replaces Line by the next line without its line end. False (and an empty Line) when no line
  // is left.
  bool ReadLine(std::string& Line);
  // True when no further line can be read.
  bool Eof();
  // The encoding decided from the start of the data (Unknown before the first read).
  TTextLineEncoding Encoding() const noexcept { return FEncoding; }
  // The physical line (1-based) of the line last read; 0 before the first. A caller that joins
  // lines into one record takes it after the record's first line to tell where the record began.
  int64_t LineNumber() const noexcept { return FLineNumber; }
  // False when the line last read ran to the end of the data without a line end.
  bool LineEnded() const noexcept { return FLineEnded; }

 private:
  void Start();
  // Replaces the consumed buffer by the next decoded block; false at the end of the data.
  bool Fill();
  size_t ReadRaw(char* dest, size_t count);
  // Decodes FRaw (UTF-16) into FBuf, keeping an incomplete unit or pair for the next block.
  void DecodeUtf16(bool atEnd);
  void FixLineEncoding(std::string& Line);
  void CodePageLineToUtf8(std::string& Line);
  void BuildCharMap();

  TStream& FStream;
  int FCodePage;
  size_t FBlockSize;
  TLineReaderMode FMode;
  TLineEnds FEnds;
  TTextLineEncoding FEncoding = TTextLineEncoding::Unknown;
  bool FStarted = false;
  bool FStreamEnd = false;
  bool FLineEnded = false;
  int64_t FLineNumber = 0;
  std::string FBuf;  // decoded bytes (UTF-8, or 8-bit in code page mode)
  size_t FPos = 0;   // read position in FBuf
  size_t FLfAt = 0;  // offset of the next LF in FBuf (npos: none), when FLfKnown
  bool FLfKnown = false;
  uint64_t FBufStart = 0;      // offset of FBuf[0] in the decoded data
  uint64_t FValidatedEnd = 0;  // decoded data before this offset is known to be valid UTF-8
  std::string FRaw;            // UTF-16 bytes not yet decoded
  std::string FConverted;      // the line being converted from the code page
  // UTF-8 of the bytes 0x80..0xFF of a single-byte fallback code page (FCharLen[i] bytes at
  // FCharMap[i * 4]), built on the first 8-bit line.
  enum class TCharMapState : uint8_t { NotBuilt, InUse, LineByLine };
  TCharMapState FCharMapState = TCharMapState::NotBuilt;
  std::array<char, 128 * 4> FCharMap{};
  std::array<uint8_t, 128> FCharLen{};
};

}  // namespace vela
