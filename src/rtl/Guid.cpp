#include "rtl/Guid.h"

#include <cstdio>
#include <random>

#include "rtl/Exceptions.h"

namespace vela {

bool TryStringToGUID(std::string_view s, TGUID& g) {
  return detail::ParseGUID(s, g);
}

TGUID StringToGUID(std::string_view s) {
  TGUID g;
  if (!detail::ParseGUID(s, g))
    throw EConvertError("'" + std::string(s) + "' is not a valid GUID value");
  return g;
}

std::string GUIDToString(const TGUID& g) {
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.D1, g.D2,
                g.D3, g.D4[0], g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
  return buf;
}

TGUID CreateGUID() {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  uint64_t a = rng(), b = rng();
  TGUID g;
  g.D1 = static_cast<uint32_t>(a >> 32);
  g.D2 = static_cast<uint16_t>(a >> 16);
  g.D3 = static_cast<uint16_t>((a & 0x0FFF) | 0x4000);
  for (int i = 0; i < 8; ++i)
    g.D4[i] = static_cast<uint8_t>(b >> (56 - 8 * i));
  g.D4[0] = static_cast<uint8_t>((g.D4[0] & 0x3F) | 0x80);
  return g;
}

}  // namespace vela
