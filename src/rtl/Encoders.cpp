#include "rtl/Encoders.h"

#include <algorithm>
#include <climits>

#include <openssl/evp.h>
#include <zlib.h>

#include "rtl/Exceptions.h"

namespace vela {

namespace {

// EVP_EncodeBlock/EVP_DecodeBlock take int lengths: work in slices well below INT_MAX that
// keep the 3-byte / 4-character groups whole.
constexpr size_t kEncodeSlice = size_t{3} << 24;
constexpr size_t kDecodeSlice = size_t{4} << 24;

void EncodeInto(std::string_view data, char* out) {
  auto* dst = reinterpret_cast<unsigned char*>(out);
  const auto* src = reinterpret_cast<const unsigned char*>(data.data());
  size_t left = data.size();
  while (left > 0) {
    const size_t n = std::min(left, kEncodeSlice);
    dst += EVP_EncodeBlock(dst, src, static_cast<int>(n));
    src += n;
    left -= n;
  }
}

bool IsBase64Char(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

[[noreturn]] void RaiseInvalidBase64() {
  throw EConvertError("Invalid Base64 data");
}

}  // namespace

std::string Base64Encode(std::string_view data) {
  std::string out((data.size() + 2) / 3 * 4, '\0');
  EncodeInto(data, out.data());
  return out;
}

std::string Base64Encode(std::string_view data, size_t lineLength) {
  std::string flat = Base64Encode(data);
  if (lineLength == 0 || flat.size() <= lineLength) return flat;
  const size_t lines = (flat.size() + lineLength - 1) / lineLength;
  std::string out;
  out.reserve(flat.size() + 2 * (lines - 1));
  for (size_t pos = 0; pos < flat.size(); pos += lineLength) {
    if (pos > 0) out.append("\r\n");
    out.append(flat, pos, lineLength);
  }
  return out;
}

std::string Base64EncodeMime(std::string_view data) {
  return Base64Encode(data, 76);
}

std::string Base64Decode(std::string_view text) {
  // Keep the alphabet, skip white space, and check the padding: at most two "=" and only at the
  // end. EVP_DecodeBlock then decodes whole groups.
  std::string clean;
  clean.reserve(text.size() + 3);
  size_t padding = 0;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') continue;
    if (c == '=') {
      ++padding;
    } else if (padding > 0 || !IsBase64Char(c)) {
      RaiseInvalidBase64();
    }
    clean.push_back(ch);
  }
  if (padding > 2 || clean.size() % 4 == 1) RaiseInvalidBase64();
  if (padding > 0 && clean.size() % 4 != 0) RaiseInvalidBase64();
  while (clean.size() % 4 != 0) {  // unpadded input
    clean.push_back('=');
    ++padding;
  }
  std::string out(clean.size() / 4 * 3, '\0');
  auto* dst = reinterpret_cast<unsigned char*>(out.data());
  const auto* src = reinterpret_cast<const unsigned char*>(clean.data());
  size_t left = clean.size(), written = 0;
  while (left > 0) {
    const size_t n = std::min(left, kDecodeSlice);
    const int r = EVP_DecodeBlock(dst + written, src, static_cast<int>(n));
    if (r < 0) RaiseInvalidBase64();
    written += static_cast<size_t>(r);
    src += n;
    left -= n;
  }
  out.resize(written - padding);
  return out;
}

std::string TextToHex(std::string_view data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(data.size() * 2, '\0');
  char* p = out.data();
  for (char ch : data) {
    const unsigned char c = static_cast<unsigned char>(ch);
    *p++ = kDigits[c >> 4];
    *p++ = kDigits[c & 15];
  }
  return out;
}

std::string HexToText(std::string_view hex) {
  auto value = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  auto fail = [&]() {
    const std::string_view shown = hex.substr(0, 64);
    throw EConvertError("'" + std::string(shown) + (shown.size() < hex.size() ? "..." : "") +
                        "' is not a valid hexadecimal text");
  };
  if (hex.size() % 2 != 0) fail();
  std::string out(hex.size() / 2, '\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const int hi = value(hex[2 * i]), lo = value(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) fail();
    out[i] = static_cast<char>(hi << 4 | lo);
  }
  return out;
}

namespace {

// zlib counts in uInt: feed big inputs in slices.
constexpr size_t kZSlice = size_t{1} << 30;

}  // namespace

namespace {

// One compressor per thread, reset between calls: setting up and freeing the state of a level-9
// stream (a few hundred KiB) costs far more than compressing a short value, and values are
// compressed one by one. A reset stream gives the same bytes as a new one.
struct TDeflater {
  z_stream Stream{};
  int Level = 0;
  bool Ready = false;
  ~TDeflater() {
    if (Ready) deflateEnd(&Stream);
  }
  z_stream& For(int level) {
    if (Ready && Level == level) {
      if (deflateReset(&Stream) == Z_OK) return Stream;
    }
    if (Ready) deflateEnd(&Stream);
    Ready = false;
    Stream = z_stream{};
    if (deflateInit(&Stream, level) != Z_OK) throw EConvertError("Invalid compression level");
    Ready = true;
    Level = level;
    return Stream;
  }
};

}  // namespace

std::string CompressString(std::string_view data, int level) {
  thread_local TDeflater deflater;
  z_stream& zs = deflater.For(level);
  std::string out;
  out.resize(deflateBound(&zs, static_cast<uLong>(data.size())));
  size_t used = 0, fed = 0;
  int rc = Z_OK;
  do {
    if (zs.avail_in == 0 && fed < data.size()) {
      const size_t n = std::min(data.size() - fed, kZSlice);
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + fed));
      zs.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    if (used == out.size()) out.resize(out.size() * 2 + 64);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zs.avail_out = static_cast<uInt>(std::min(out.size() - used, kZSlice));
    const uInt before = zs.avail_out;
    rc = deflate(&zs, fed == data.size() && zs.avail_in == 0 ? Z_FINISH : Z_NO_FLUSH);
    used += before - zs.avail_out;
  } while (rc == Z_OK || rc == Z_BUF_ERROR);
  if (rc != Z_STREAM_END) throw EConvertError("Compression failed");
  out.resize(used);
  return out;
}

std::string DecompressString(std::string_view data, size_t maxSize) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw EDecompressionError("Cannot start decompression");
  struct TGuard {
    z_stream* Stream;
    ~TGuard() { inflateEnd(Stream); }
  } guard{&zs};

  std::string out;
  // A first guess from the input size; the buffer then doubles, never beyond the limit + 1
  // byte (the byte that proves the limit is exceeded).
  const size_t cap = maxSize == SIZE_MAX ? maxSize : maxSize + 1;
  out.resize(std::min(cap, std::max<size_t>(data.size() * 4, 4096)));
  size_t used = 0, fed = 0;
  for (;;) {
    if (zs.avail_in == 0 && fed < data.size()) {
      const size_t n = std::min(data.size() - fed, kZSlice);
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + fed));
      zs.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    if (used == out.size()) {
      if (out.size() >= cap) {
        throw EDecompressionError("Decompressed data exceed the limit of " +
                                  std::to_string(maxSize) + " bytes");
      }
      out.resize(std::min(cap, out.size() * 2));
    }
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zs.avail_out = static_cast<uInt>(std::min(out.size() - used, kZSlice));
    const uInt before = zs.avail_out;
    const int rc = inflate(&zs, Z_NO_FLUSH);
    used += before - zs.avail_out;
    if (used > maxSize) {
      throw EDecompressionError("Decompressed data exceed the limit of " + std::to_string(maxSize) +
                                " bytes");
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0 && fed == data.size() && zs.avail_out > 0)
      throw EDecompressionError("Compressed data are truncated");
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      throw EDecompressionError(std::string("Compressed data are corrupt") +
                                (zs.msg ? std::string(": ") + zs.msg : std::string()));
    }
  }
  out.resize(used);
  return out;
}

}  // namespace vela
