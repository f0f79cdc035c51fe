// GUIDs: the identities of interfaces, import formats, scheduler actions and plug-ins.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vela {

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  std::array<uint8_t, 8> D4{};

  friend constexpr bool operator==(const TGUID&, const TGUID&) = default;
  constexpr bool IsEmpty() const { return *this == TGUID{}; }
};

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; returns false on any deviation.
constexpr bool ParseGUID(std::string_view s, TGUID& g) {
  if (s.size() != 38 || s[0] != '{' || s[37] != '}' || s[9] != '-' || s[14] != '-' ||
      s[19] != '-' || s[24] != '-')
    return false;
  auto hex = [&](size_t pos, size_t len, uint64_t& out) {
    out = 0;
    for (size_t i = 0; i < len; ++i) {
      int d = HexDigit(s[pos + i]);
      if (d < 0) return false;
      out = out * 16 + static_cast<uint64_t>(d);
    }
    return true;
  };
  uint64_t v = 0;
  if (!hex(1, 8, v)) return false;
  g.D1 = static_cast<uint32_t>(v);
  if (!hex(10, 4, v)) return false;
  g.D2 = static_cast<uint16_t>(v);
  if (!hex(15, 4, v)) return false;
  g.D3 = static_cast<uint16_t>(v);
  const size_t pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!hex(pos[i], 2, v)) return false;
    g.D4[i] = static_cast<uint8_t>(v);
  }
  return true;
}
}  // namespace detail

// Compile-time GUID from its registry form; a malformed literal does not compile.
consteval TGUID MakeGUID(std::string_view s) {
  TGUID g;
  if (!detail::ParseGUID(s, g)) throw "malformed GUID literal";
  return g;
}

// Registry form with braces and upper-case digits. Raises EConvertError for a malformed text
// (surrounding blanks are not accepted).
TGUID StringToGUID(std::string_view s);
bool TryStringToGUID(std::string_view s, TGUID& g);
std::string GUIDToString(const TGUID& g);
// A new random (version 4) GUID.
TGUID CreateGUID();

}  // namespace vela

template <>
struct std::hash<vela::TGUID> {
  size_t operator()(const vela::TGUID& g) const noexcept {
    uint64_t a = (uint64_t(g.D1) << 32) | (uint64_t(g.D2) << 16) | g.D3;
    uint64_t b = 0;
    for (auto x : g.D4)
      b = (b << 8) | x;
    return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ULL ^ b);
  }
};
