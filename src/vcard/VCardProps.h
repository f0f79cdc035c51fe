// Internal helpers of the card library: the macros that build the static field tables of the
// item classes, and the compact date writer of the text items.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "vcard/VCard.h"

namespace vela {

// A string field stored in a public member.
#define VC_STR_FIELD(C, Name)                                                            \
  TCardProperty {                                                                        \
#Name, TCardFieldType::cftString, "string",                                            \
        [](const TCustomCardItem& i) { return Variant(static_cast<const C&>(i).Name); },   \
        [](TCustomCardItem& i, const Variant& v) { static_cast<C&>(i).Name = v.AsString(); }, \
        nullptr, nullptr,                                                                  \
        [](TCustomCardItem& i) -> std::string& { return static_cast<C&>(i).Name; } \
  }

// A string field with a getter expression and a setter method.
#define VC_STR_PROP(C, Name, Getter, Setter)                                                \
  TCardProperty {                                                                           \
#Name, TCardFieldType::cftString, "string",                                               \
        [](const TCustomCardItem& i) { return Variant(static_cast<const C&>(i).Getter); },    \
        [](TCustomCardItem& i, const Variant& v) { static_cast<C&>(i).Setter(v.AsString()); }, \
        nullptr, nullptr \
  }

#define VC_LIST_FIELD(C, Name)                                                                 \
  TCardProperty {                                                                              \
#Name, TCardFieldType::cftStringList, "TStringList", nullptr, nullptr,                     \
        [](TCustomCardItem & i) -> TStringList* { return &static_cast<C&>(i).Name; }, nullptr, \
                                                                                   nullptr     \
  }

#define VC_DATE_FIELD(C, Name, Type, TypeName)                                                \
  TCardProperty {                                                                             \
#Name, TCardFieldType::Type, TypeName,                                                      \
        [](const TCustomCardItem& i) {                                                          \
          return Variant::FromDateTime(static_cast<const C&>(i).Name);                          \
        },                                                                                      \
        [](TCustomCardItem& i, const Variant& v) { static_cast<C&>(i).Name = v.AsDateTime(); }, \
        nullptr, nullptr \
  }

// A date-time field with a getter and a setter method.
#define VC_DATE_PROP(C, Name, Getter, Setter)                                                  \
  TCardProperty {                                                                              \
#Name, TCardFieldType::cftDateTime, "TDateTime",                                             \
        [](const TCustomCardItem& i) {                                                           \
          return Variant::FromDateTime(static_cast<const C&>(i).Getter());                       \
        },                                                                                       \
        [](TCustomCardItem& i, const Variant& v) { static_cast<C&>(i).Setter(v.AsDateTime()); }, \
        nullptr, nullptr \
  }

#define VC_INT_FIELD(C, Name)                                                                \
  TCardProperty {                                                                            \
#Name, TCardFieldType::cftInteger, "Integer",                                              \
        [](const TCustomCardItem& i) { return Variant(static_cast<const C&>(i).Name); },       \
        [](TCustomCardItem& i, const Variant& v) { static_cast<C&>(i).Name = v.AsInteger(); }, \
        nullptr, nullptr \
  }

#define VC_BOOL_FIELD(C, Name)                                                               \
  TCardProperty {                                                                            \
#Name, TCardFieldType::cftBoolean, "Boolean",                                              \
        [](const TCustomCardItem& i) { return Variant(static_cast<const C&>(i).Name); },       \
        [](TCustomCardItem& i, const Variant& v) { static_cast<C&>(i).Name = v.AsBoolean(); }, \
        nullptr, nullptr \
  }

#define VC_ENUM_FIELD(C, Name, EnumType)                                                \
  TCardProperty {                                                                       \
#Name, TCardFieldType::cftEnumeration, #EnumType,                                     \
        [](const TCustomCardItem& i) {                                                    \
          return Variant(static_cast<int>(static_cast<const C&>(i).Name));                \
        },                                                                                \
        [](TCustomCardItem& i, const Variant& v) {                                        \
          static_cast<C&>(i).Name = static_cast<EnumType>(v.AsInteger());                 \
        },                                                                                \
        nullptr, nullptr \
  }

#define VC_OBJ_FIELD(C, Name, TypeName)                                              \
  TCardProperty {                                                                    \
#Name, TCardFieldType::cftItemValue, TypeName, nullptr, nullptr, nullptr,        \
        [](TCustomCardItem &                                                         \
           i) -> TCustomCardItemValue* { return &static_cast<C&>(i).Name; }, nullptr \
  }

// SameText for the short names of property lines (tags, types, parameters), inline as it runs
// several times for every line read.
inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i], y = b[i];
    if (x != y && ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z')) return false;
  }
  return true;
}

// True when line contains pattern, letter case ignored. Only the places of the line's colons are
// compared with the pattern's colon, as the item boundary tests run on every line read.
inline bool ContainsBoundaryText(std::string_view line, std::string_view pattern) {
  const size_t k = pattern.find(':');
  if (k == std::string_view::npos) return PosText(pattern, line) != std::string_view::npos;
  const size_t tail = pattern.size() - k;
  for (size_t from = k; from < line.size();) {
    const void* hit = std::memchr(line.data() + from, ':', line.size() - from);
    if (!hit) return false;
    const size_t p = static_cast<size_t>(static_cast<const char*>(hit) - line.data());
    if (p + tail > line.size()) return false;
    if (SameName(line.substr(p - k, pattern.size()), pattern)) return true;
    from = p + 1;
  }
  return false;
}

// The compact date-time form of the text items: "YYYYMMDD", with withTime "YYYYMMDDThhnnss",
// and with asUTC a trailing "Z". Empty for no date. Reads back through ISO 8601.
inline std::string CardDateTimeToYYYYMMDDFmt(TDateTime value, bool withTime, bool asUTC) {
  if (!(value > MinDateTime)) return {};
  std::string s = DateToYYYYMMDD(value, withTime);
  if (withTime && asUTC) s += 'Z';
  return s;
}

}  // namespace vela
