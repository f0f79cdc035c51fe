// The runtime's Format: "%" [index ":"] ["-"] [width] ["." precision] type, with the types
// d u e f g n m p s x (either case) and "%%". Index, width and precision may be "*" (taken from
// the next argument). An unindexed specifier takes the argument after the one used last, also
// after an indexed one. Surplus arguments are ignored; a missing or unfitting argument raises
// EConvertError "Format '<fmt>' invalid or incompatible with argument".
//
//   Format("%s: %5.1f%%", name, ratio)      Format("%2:s %0:s %s", a, b, c) == "c a b"
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

namespace vela {

// One argument of Format. Strings are referenced, not copied: a TVarRec lives only for the call.
struct TVarRec {
  enum class TKind { Integer, Int64, UInt64, Extended, Boolean, Char, String, Pointer };

  TKind Kind;
  union {
    int64_t VInt;
    uint64_t VUInt;
    double VFloat;
    bool VBool;
    char VChar;
    const void* VPointer;
  };
  std::string_view VString;

  // Signed integers up to 32 bits are the runtime's Integer (%u and %x show them as 32 bits).
  template <std::signed_integral T>
  requires(!std::same_as<T, char>) TVarRec(T v)
      : Kind(sizeof(T) <= 4 ? TKind::Integer : TKind::Int64), VInt(v) {}
  template <std::unsigned_integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) TVarRec(T v)
      : Kind(TKind::UInt64), VUInt(v) {}
  template <std::floating_point T>
  TVarRec(T v) : Kind(TKind::Extended), VFloat(static_cast<double>(v)) {}
  // Booleans fit no format type: passing one raises the format error.
  TVarRec(bool v) : Kind(TKind::Boolean), VBool(v) {}
  TVarRec(char v) : Kind(TKind::Char), VChar(v) {}
  TVarRec(const char* v) : Kind(TKind::String), VInt(0), VString(v ? v : "") {}
  TVarRec(std::string_view v) : Kind(TKind::String), VInt(0), VString(v) {}
  TVarRec(const std::string& v) : Kind(TKind::String), VInt(0), VString(v) {}
  TVarRec(const void* v) : Kind(TKind::Pointer), VPointer(v) {}
};

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args);
std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args,
                   const TFormatSettings& fs);
// Array form for callers that collect their arguments at run time.
std::string FormatArgs(std::string_view fmt, const TVarRec* args, size_t count,
                       const TFormatSettings& fs = FormatSettings);

// Convenience: Format("%d of %d", i, n) and Format(settings, "%n", x).
template <class... A>
std::string Format(std::string_view fmt, const A&... args) {
  const TVarRec recs[] = {TVarRec(args)..., TVarRec(0)};
  return FormatArgs(fmt, recs, sizeof...(A), FormatSettings);
}
template <class... A>
std::string Format(const TFormatSettings& fs, std::string_view fmt, const A&... args) {
  const TVarRec recs[] = {TVarRec(args)..., TVarRec(0)};
  return FormatArgs(fmt, recs, sizeof...(A), fs);
}

}  // namespace vela
