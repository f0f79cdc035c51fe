#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

// Calls f(pos, n) for consecutive pieces of [0, total) whose sizes follow next(size) from 1.
template <class Next, class F>
void InPieces(size_t total, Next next, F f) {
  for (size_t pos = 0, step = 1; pos < total; pos += std::min(step, total - pos), step = next(step))
    f(pos, std::min(step, total - pos));
}

// Bytes 0..n-1 of a recognisable pattern.
std::string Pattern(size_t n, unsigned seed = 7) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 131 + seed + i / 251) & 0xFF);
  return s;
}

std::string ReadAll(TStream& s) {
  s.SetPosition(0);
  return s.ReadToEnd();
}

using StreamFiles = TempFolderTest;

TEST(MemoryStream, ReadWriteSeek) {
  TMemoryStream m;
  m.WriteString("hello world");
  EXPECT_EQ(std::pair(m.Size(), m.Position()), std::pair(int64_t{11}, int64_t{11}));
  m.Seek(-5, soEnd);
  char buf[16] = {};
  EXPECT_EQ(m.Read(buf, sizeof buf), 5u);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(m.Read(buf, 1), 0u);
  m.SetPosition(15);  // past the end: the gap is filled with zeros
  m.WriteString("!");
  EXPECT_EQ(ReadAll(m), std::string("hello world\0\0\0\0!", 16));
  m.SetSize(5);
  EXPECT_EQ(m.Position(), 5);
  EXPECT_EQ(ReadAll(m), "hello");
}

TEST(MemoryStream, ReadBufferFailsAtTheEnd) {
  TStringStream s("abc");
  char buf[4];
  EXPECT_EQ(RaisedText([&] { s.ReadBuffer(buf, 4); }), "EReadError: Stream read error");
  s.SetPosition(1);
  s.ReadBuffer(buf, 2);
  EXPECT_EQ(std::string(buf, 2), "bc");
}

TEST(StringStream, DataStringAndCopyFrom) {
  TStringStream src("0123456789");
  TStringStream dst;
  src.SetPosition(7);
  EXPECT_EQ(dst.CopyFrom(src, 0), 10);  // 0: everything from the start
  EXPECT_EQ(dst.DataString(), "0123456789");
  src.SetPosition(2);
  EXPECT_EQ(dst.CopyFrom(src, 3), 3);
  EXPECT_EQ(dst.DataString(), "0123456789234");
  EXPECT_THROW(dst.CopyFrom(src, 100), EReadError);
  src.SetPosition(4);
  EXPECT_EQ(src.ReadString(3), "456");
}

TEST_F(StreamFiles, FileModes) {
  const std::string name = Path("data.bin");
  Write("data.bin", "first");
  {
    TFileStream f(name, fmAppend);
    EXPECT_EQ(f.Position(), 5);
    f.WriteString("+more");
  }
  {
    TFileStream f(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(ReadAll(f), "first+more");
    char c = 'x';
    EXPECT_THROW(f.WriteBuffer(&c, 1), EWriteError);
  }
  {
    TFileStream f(name, fmOpenReadWrite);
    f.Seek(5, soBeginning);
    f.WriteString("-");
    f.SetSize(8);
  }
  EXPECT_EQ(FileSize(name), 8);
  EXPECT_EQ(TFileStream(name, fmCreate).Size(), 0);              // truncates
  TFileStream(Path("appended.txt"), fmAppend).WriteString("x");  // creates a missing file
  EXPECT_EQ(FileSize(Path("appended.txt")), 1);
}

TEST_F(StreamFiles, OpenAndCreateErrorsNameFileAndReason) {
  const std::string missing = Path("missing.txt");
  EXPECT_EQ(RaisedText([&] { TFileStream f(missing, fmOpenRead); }),
            "EFOpenError: Cannot open file \"" + missing + "\". No such file or directory");
  const std::string inMissingDir = Path("nodir/x.txt");
  EXPECT_EQ(
      RaisedText([&] { TFileStream f(inMissingDir, fmCreate); }),
      "EFCreateError: Cannot create file \"" + inMissingDir + "\". No such file or directory");
  EXPECT_THROW({ TFileStream dir(FDir, fmOpenRead); }, EFOpenError);
}

TEST_F(StreamFiles, BufferedFileStreamMatchesPlainAccess) {
  const std::string name = Path("buffered.bin");
  const std::string data = Pattern(100000);
  {
    TBufferedFileStream f(name, fmCreate);
    // Writes of many sizes, some smaller and some larger than the buffer.
    InPieces(
        data.size(), [](size_t s) { return s * 3 + 1; },
        [&](size_t pos, size_t n) { f.WriteBuffer(data.data() + pos, n); });
    EXPECT_EQ(f.Size(), static_cast<int64_t>(data.size()));
  }
  EXPECT_EQ(FileSize(name), static_cast<int64_t>(data.size()));
  {
    TBufferedFileStream f(name, fmOpenReadWrite);
    std::string back(data.size(), '\0');
    InPieces(
        back.size(), [](size_t s) { return s * 2 + 3; },
        [&](size_t pos, size_t n) { f.ReadBuffer(back.data() + pos, n); });
    EXPECT_EQ(back, data);
    // Overwrite in the middle, then read around the change without flushing first.
    f.Seek(50000, soBeginning);
    f.WriteString("PATCH");
    f.Seek(49998, soBeginning);
    char buf[9];
    f.ReadBuffer(buf, 9);
    EXPECT_EQ(std::string(buf, 9), data.substr(49998, 2) + "PATCH" + data.substr(50005, 2));
    f.Seek(0, soEnd);
    f.WriteString("tail");
    EXPECT_EQ(f.Size(), static_cast<int64_t>(data.size() + 4));
  }
  TFileStream plain(name, fmOpenRead);
  std::string expected = data + "tail";
  expected.replace(50000, 5, "PATCH");
  EXPECT_EQ(ReadAll(plain), expected);
}

TEST_F(StreamFiles, SwapStreamMovesToAFileBeyondItsLimit) {
  const std::string data = Pattern(10000, 3);
  std::string tempName;
  {
    TSwapStream s(4096, FDir);
    s.WriteBuffer(data.data(), 4000);
    EXPECT_TRUE(!s.Swapped() && s.TempFileName().empty());
    // Go back and write across the limit: the data written before must survive the switch.
    s.SetPosition(3000);
    s.WriteBuffer(data.data() + 3000, 2000);
    EXPECT_TRUE(s.Swapped());
    tempName = s.TempFileName();
    EXPECT_EQ(ExtractFilePath(tempName), FDir + "/");
    EXPECT_TRUE(FileExists(tempName));
    EXPECT_EQ(s.Position(), 5000);
    s.WriteBuffer(data.data() + 5000, data.size() - 5000);
    EXPECT_EQ(s.Size(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(ReadAll(s), data);
    s.SetPosition(4090);
    char buf[12];
    s.ReadBuffer(buf, sizeof buf);
    EXPECT_EQ(std::string(buf, sizeof buf), data.substr(4090, 12));
  }
  EXPECT_FALSE(FileExists(tempName));
}

TEST_F(StreamFiles, SwapStreamSetSizeAndSmallData) {
  TSwapStream small(100, FDir);
  small.WriteString("abc");
  EXPECT_EQ(ReadAll(small), "abc");
  EXPECT_FALSE(small.Swapped());
  small.SetSize(1000);
  EXPECT_TRUE(small.Swapped());
  EXPECT_EQ(small.Size(), 1000);
  EXPECT_EQ(ReadAll(small).substr(0, 4), std::string("abc\0", 4));
}

}  // namespace
}  // namespace vela
