// Byte encodings of the runtime: MIME Base64, hexadecimal text and zlib compression.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vela {

// Base64 (RFC 2045 alphabet, "=" padding) on one line.
std::string Base64Encode(std::string_view data);
// Base64 broken into lines of lineLength characters joined by CRLF (no break after the last
// line); 0 means one line.
std::string Base64Encode(std::string_view data, size_t lineLength);
// Base64 in MIME lines of 76 characters.
std::string Base64EncodeMime(std::string_view data);
// Decodes Base64; white space and line breaks anywhere are skipped, missing padding is
// tolerated. Anything else raises EConvertError.
std::string Base64Decode(std::string_view text);

// Two upper-case hex digits per byte.
std::string TextToHex(std::string_view data);
// The reverse (either case); odd lengths and non-hex characters raise EConvertError.
std::string HexToText(std::string_view hex);

inline constexpr size_t DefaultMaxDecompressedSize = size_t{256} << 20;

// zlib format (RFC 1950). level: 0..9, -1 = zlib's default.
std::string CompressString(std::string_view data, int level = -1);
// Inflates zlib data, growing the output as it goes. Raises EDecompressionError when the data
// are corrupt or truncated, or when the output would exceed maxSize (a decompression bomb).
std::string DecompressString(std::string_view data, size_t maxSize = DefaultMaxDecompressedSize);

}  // namespace vela
