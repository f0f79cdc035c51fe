#include <gtest/gtest.h>

#include "rtl/Encoders.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

TEST(Base64, KnownVectors) {
  // RFC 4648, section 10.
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    SCOPED_TRACE(plain);
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), plain);
  }
  const std::string binary("\0\xFF\xFE\x01", 4);
  EXPECT_EQ(Base64Encode(binary), "AP/+AQ==");
  EXPECT_EQ(Base64Decode("AP/+AQ=="), binary);
}

TEST(Base64, LineBreaks) {
  const std::string data(100, 'x');  // 136 characters encoded
  const std::string mime = Base64EncodeMime(data);
  ASSERT_EQ(mime.size(), 136u + 2);
  EXPECT_EQ(mime.find("\r\n"), 76u);
  EXPECT_EQ(mime.rfind("\r\n"), 76u);
  EXPECT_NE(mime.substr(mime.size() - 2), "\r\n");
  EXPECT_EQ(Base64Encode(data).find('\r'), std::string::npos);

  const std::string short10 = Base64Encode("foobarfoobar", 10);  // 16 characters
  EXPECT_EQ(short10, "Zm9vYmFyZm\r\n9vYmFy");
  EXPECT_EQ(Base64Encode("foobar", 0), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode("foobar", 8), "Zm9vYmFy");  // exactly one line, no break

  EXPECT_EQ(Base64Decode(mime), data);
  EXPECT_EQ(Base64Decode(short10), "foobarfoobar");
  EXPECT_EQ(Base64Decode(" Zm9v\nYmFy \t"), "foobar");
  EXPECT_EQ(Base64Decode("Zm9vYg"), "foob");  // missing padding
}

TEST(Base64, InvalidInputRaises) {
  const char* bad[] = {"Zm9v!", "Zm=9v", "Z", "Zm9vY===", "Zg==Zg==", "Zm9\xC3\xA4"};
  for (const char* s : bad) {
    SCOPED_TRACE(s);
    EXPECT_THROW(Base64Decode(s), EConvertError);
  }
}

TEST(Hex, RoundTripAndErrors) {
  EXPECT_EQ(TextToHex(std::string("\0\x1F\xAB\xFF", 4)), "001FABFF");
  EXPECT_EQ(TextToHex(""), "");
  EXPECT_EQ(HexToText("001FABFF"), std::string("\0\x1F\xAB\xFF", 4));
  EXPECT_EQ(HexToText("abcdef"), "\xAB\xCD\xEF");
  for (const char* bad : {"0", "0G", "zz", "12 3"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(HexToText(bad), EConvertError);
  }
}

TEST(Zlib, RoundTrip) {
  std::string data;
  for (int i = 0; i < 20000; ++i)
    data += "line " + std::to_string(i % 97) + "\r\n";
  const std::string packed = CompressString(data);
  EXPECT_LT(packed.size(), data.size() / 4);
  EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x78);  // zlib header
  EXPECT_EQ(DecompressString(packed), data);
  EXPECT_EQ(DecompressString(CompressString("")), "");
  EXPECT_EQ(DecompressString(CompressString(data, 9), data.size()), data);  // exactly the limit

  // Written by another zlib user: "hello" at the default level.
  EXPECT_EQ(DecompressString(HexToText("789CCB48CDC9C90700062C0215")), "hello");
}

TEST(Zlib, BombIsRejected) {
  const std::string packed = CompressString(std::string(100u << 20, '\0'));
  EXPECT_LT(packed.size(), 200u * 1024);
  const std::string raised = RaisedText([&] { DecompressString(packed, 1u << 20); });
  EXPECT_EQ(raised.rfind("EDecompressionError: ", 0), 0u) << raised;
  EXPECT_NE(raised.find("1048576"), std::string::npos) << raised;
  EXPECT_THROW(DecompressString(CompressString("12345"), 4), EDecompressionError);
}

TEST(Zlib, CorruptOrTruncatedRaises) {
  const std::string packed = CompressString(std::string(5000, 'a') + "tail");
  EXPECT_THROW(DecompressString(packed.substr(0, packed.size() / 2)), EDecompressionError);
  std::string flipped = packed;
  flipped[flipped.size() - 1] ^= 0x55;  // the Adler-32 check sum
  EXPECT_THROW(DecompressString(flipped), EDecompressionError);
  EXPECT_THROW(DecompressString("not zlib at all"), EDecompressionError);
  EXPECT_THROW(DecompressString(""), EDecompressionError);
}

}  // namespace
}  // namespace vela
