#include "rtl/Format.h"

#include <algorithm>
#include <charconv>

#include "rtl/Exceptions.h"

namespace vela {

namespace {

using TKind = TVarRec::TKind;

[[noreturn]] void RaiseFormatError(std::string_view fmt) {
  std::string msg;
  msg.reserve(fmt.size() + 48);
  msg.append("Format '").append(fmt).append("' invalid or incompatible with argument");
  throw EConvertError(std::move(msg));
}

bool IsInteger(const TVarRec& a) {
  return a.Kind == TKind::Integer || a.Kind == TKind::Int64 || a.Kind == TKind::UInt64;
}

// Appends the digits of an unsigned magnitude with at least minDigits digits.
void AppendDigits(std::string& out, uint64_t v, int base, int minDigits) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  const int len = static_cast<int>(r.ptr - buf);
  if (minDigits > len) out.append(static_cast<size_t>(minDigits - len), '0');
  for (char* p = buf; p != r.ptr; ++p)
    *p = (*p >= 'a' && *p <= 'f') ? char(*p - 32) : *p;
  out.append(buf, r.ptr);
}

// Byte offset after the first count code points of s.
size_t CodePointPrefix(std::string_view s, size_t count) {
  size_t i = 0;
  while (i < s.size() && count > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
      ++i;
    --count;
  }
  return i;
}

class TFormatter {
 public:
  TFormatter(std::string_view fmt, const TVarRec* args, size_t count, const TFormatSettings& fs)
      : FFmt(fmt), FArgs(args), FCount(count), FSettings(fs) {}

  std::string Run() {
    std::string out;
    out.reserve(FFmt.size() + 16 * FCount);
    size_t i = 0;
    while (i < FFmt.size()) {
      const size_t pct = FFmt.find('%', i);
      if (pct == std::string_view::npos) {
        out.append(FFmt.substr(i));
        break;
      }
      out.append(FFmt.substr(i, pct - i));
      i = pct + 1;
      if (i < FFmt.size() && FFmt[i] == '%') {
        out.push_back('%');
        ++i;
        continue;
      }
      i = Specifier(i, out);
    }
    return out;
  }

 private:
  const TVarRec& NextArg() {
    if (FArgIndex >= FCount) RaiseFormatError(FFmt);
    return FArgs[FArgIndex++];
  }

  // A number or "*" (taken from the next argument); -1 when there is none.
  int Number(size_t& i) {
    if (i < FFmt.size() && FFmt[i] == '*') {
      ++i;
      const TVarRec& a = NextArg();
      if (a.Kind != TKind::Integer && a.Kind != TKind::Int64) RaiseFormatError(FFmt);
      return static_cast<int>(std::clamp<int64_t>(a.VInt, 0, 1 << 20));
    }
    int v = -1;
    while (i < FFmt.size() && FFmt[i] >= '0' && FFmt[i] <= '9') {
      v = (v < 0 ? 0 : v) * 10 + (FFmt[i] - '0');
      if (v > (1 << 20)) RaiseFormatError(FFmt);
      ++i;
    }
    return v;
  }

  char At(size_t i) const { return i < FFmt.size() ? FFmt[i] : '\0'; }

  size_t Specifier(size_t i, std::string& out) {
    int width = Number(i);
    if (width >= 0 && At(i) == ':') {
      FArgIndex = static_cast<size_t>(width);
      ++i;
      width = -1;
    }
    bool left = false;
    if (At(i) == '-') {
      left = true;
      ++i;
    }
    if (width < 0) width = Number(i);
    int prec = -1;
    if (At(i) == '.') {
      ++i;
      prec = std::max(Number(i), 0);
    }
    if (i >= FFmt.size()) RaiseFormatError(FFmt);
    const char type = static_cast<char>(FFmt[i] & ~0x20);  // upper case for letters
    ++i;
    const TVarRec& a = NextArg();

    FBuf.clear();
    Convert(type, a, prec);
    const size_t len = width > 0 ? Utf8Length(FBuf) : 0;  // width counts characters
    const size_t pad = static_cast<size_t>(std::max(width, 0)) > len ? width - len : 0;
    if (!left) out.append(pad, ' ');
    out.append(FBuf);
    if (left) out.append(pad, ' ');
    return i;
  }

  void Convert(char type, const TVarRec& a, int prec) {
    switch (type) {
      case 'D':
      case 'U': {
        if (!IsInteger(a)) RaiseFormatError(FFmt);
        uint64_t magnitude = 0;
        if (a.Kind == TKind::UInt64) {
          magnitude = a.VUInt;
        } else if (type == 'U') {
          magnitude = a.Kind == TKind::Integer ? static_cast<uint32_t>(a.VInt)
                                               : static_cast<uint64_t>(a.VInt);
        } else if (a.VInt < 0) {
          FBuf.push_back('-');
          magnitude = 0 - static_cast<uint64_t>(a.VInt);
        } else {
          magnitude = static_cast<uint64_t>(a.VInt);
        }
        AppendDigits(FBuf, magnitude, 10, prec);
        return;
      }
      case 'X': {
        if (!IsInteger(a)) RaiseFormatError(FFmt);
        const uint64_t v = a.Kind == TKind::Integer ? static_cast<uint32_t>(a.VInt) : a.VUInt;
        AppendDigits(FBuf, v, 16, prec);
        return;
      }
      case 'P':
        if (a.Kind != TKind::Pointer) RaiseFormatError(FFmt);
        AppendDigits(FBuf, reinterpret_cast<uintptr_t>(a.VPointer), 16,
                     static_cast<int>(2 * sizeof(void*)));
        return;
      case 'S': {
        std::string_view s;
        if (a.Kind == TKind::String) {
          s = a.VString;
        } else if (a.Kind == TKind::Char) {
          s = std::string_view(&a.VChar, 1);
        } else {
          RaiseFormatError(FFmt);
        }
        if (prec >= 0) s = s.substr(0, CodePointPrefix(s, static_cast<size_t>(prec)));
        FBuf.append(s);
        return;
      }
      case 'E':
      case 'F':
      case 'G':
      case 'N':
      case 'M': {
        if (a.Kind != TKind::Extended) RaiseFormatError(FFmt);
        switch (type) {
          case 'E':
            FBuf = FloatToStrF(a.VFloat, ffExponent, prec < 0 ? 15 : prec, 3, FSettings);
            break;
          case 'F':
            FBuf = FloatToStrF(a.VFloat, ffFixed, 18, prec < 0 ? 2 : prec, FSettings);
            break;
          case 'G':
            FBuf = FloatToStrF(a.VFloat, ffGeneral, prec < 0 ? 15 : prec, 3, FSettings);
            break;
          case 'N':
            FBuf = FloatToStrF(a.VFloat, ffNumber, 18, prec < 0 ? 2 : prec, FSettings);
            break;
          default:
            FBuf = FloatToStrF(a.VFloat, ffCurrency, 18,
                               prec < 0 ? FSettings.CurrencyDecimals : prec, FSettings);
            break;
        }
        return;
      }
      default:
        RaiseFormatError(FFmt);
    }
  }

  std::string_view FFmt;
  const TVarRec* FArgs;
  size_t FCount;
  const TFormatSettings& FSettings;
  size_t FArgIndex = 0;
  std::string FBuf;
};

}  // namespace

std::string FormatArgs(std::string_view fmt, const TVarRec* args, size_t count,
                       const TFormatSettings& fs) {
  return TFormatter(fmt, args, count, fs).Run();
}

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args) {
  return FormatArgs(fmt, args.begin(), args.size(), FormatSettings);
}

std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args,
                   const TFormatSettings& fs) {
  return FormatArgs(fmt, args.begin(), args.size(), fs);
}

}  // namespace vela
