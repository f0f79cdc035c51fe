#include "rtl/Variants.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

// Rounds half to even; false when the value does not fit an int64.
bool RoundToInt64(double d, int64_t& out) {
  if (!std::isfinite(d)) return false;
  const double r = std::nearbyint(d);
  if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
  out = static_cast<int64_t>(r);
  return true;
}

int CompareNumbers(double a, double b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

TVariantRelationship FromOrder(int c) {
  return c < 0 ? TVariantRelationship::vrLessThan
               : (c > 0 ? TVariantRelationship::vrGreaterThan : TVariantRelationship::vrEqual);
}

}  // namespace

std::string VarTypeAsText(TVarType vt) {
  std::string prefix;
  if (vt & varArray) prefix = "Array of ";
  switch (vt & varTypeMask) {
    case varEmpty:
      return prefix + "Empty";
    case varNull:
      return prefix + "Null";
    case varSmallint:
      return prefix + "Smallint";
    case varInteger:
      return prefix + "Integer";
    case varSingle:
      return prefix + "Single";
    case varDouble:
      return prefix + "Double";
    case varCurrency:
      return prefix + "Currency";
    case varDate:
      return prefix + "Date";
    case varOleStr:
      return prefix + "OleStr";
    case varDispatch:
      return prefix + "Dispatch";
    case varError:
      return prefix + "Error";
    case varBoolean:
      return prefix + "Boolean";
    case varVariant:
      return prefix + "Variant";
    case varUnknown:
      return prefix + "Unknown";
    case varShortInt:
      return prefix + "ShortInt";
    case varByte:
      return prefix + "Byte";
    case varWord:
      return prefix + "Word";
    case varUInt32:
      return prefix + "LongWord";
    case varInt64:
      return prefix + "Int64";
    case varUInt64:
      return prefix + "UInt64";
    case varString:
    case varUString:
      return prefix + "String";
    default:
      return prefix + "Unknown";
  }
}

TVarType Variant::VarType() const noexcept {
  switch (kind()) {
    case Kind::Empty:
      return varEmpty;
    case Kind::Null:
      return varNull;
    case Kind::Boolean:
      return varBoolean;
    case Kind::Int32:
      return varInteger;
    case Kind::Int64:
      return varInt64;
    case Kind::UInt64:
      return varUInt64;
    case Kind::Double:
      return varDouble;
    case Kind::String:
      return varUString;
    case Kind::DateTime:
      return varDate;
    case Kind::Bytes:
      return varArray | varByte;
    case Kind::Interface:
      return varUnknown;
  }
  return varEmpty;
}

bool Variant::IsClear() const noexcept {
  switch (kind()) {
    case Kind::Empty:
    case Kind::Null:
      return true;
    case Kind::Interface:
      return !GetInterface();
    default:
      return false;
  }
}

bool Variant::IsNumeric() const noexcept {
  switch (kind()) {
    case Kind::Int32:
    case Kind::Int64:
    case Kind::UInt64:
    case Kind::Double:
      return true;
    default:
      return false;
  }
}

void Variant::CastError(TVarType target) const {
  throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(VarType()) +
                              ") into type (" + VarTypeAsText(target) + ")");
}

int64_t Variant::AsInt64() const {
  int64_t r = 0;
  switch (kind()) {
    case Kind::Empty:
      return 0;
    case Kind::Boolean:
      return GetBoolean() ? -1 : 0;
    case Kind::Int32:
      return GetInt32();
    case Kind::Int64:
      return GetInt64();
    case Kind::UInt64:
      if (GetUInt64() <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return static_cast<int64_t>(GetUInt64());
      break;
    case Kind::Double:
      if (RoundToInt64(GetDouble(), r)) return r;
      break;
    case Kind::DateTime:
      if (RoundToInt64(GetDateTime(), r)) return r;
      break;
    case Kind::String: {
      if (TryStrToInt64(GetString(), r)) return r;
      double d;
      if (TryStrToFloat(GetString(), d, FormatSettings) && RoundToInt64(d, r)) return r;
      break;
    }
    default:
      break;
  }
  CastError(varInt64);
}

int32_t Variant::AsInteger() const {
  int64_t v;
  try {
    v = AsInt64();
  } catch (const EVariantTypeCastError&) {
    CastError(varInteger);
  }
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    CastError(varInteger);
  return static_cast<int32_t>(v);
}

uint64_t Variant::AsUInt64() const {
  if (kind() == Kind::UInt64) return GetUInt64();
  if (kind() == Kind::Double && GetDouble() >= 9223372036854775808.0 &&
      GetDouble() < 18446744073709551616.0)
    return static_cast<uint64_t>(std::nearbyint(GetDouble()));
  int64_t v;
  try {
    v = AsInt64();
  } catch (const EVariantTypeCastError&) {
    CastError(varUInt64);
  }
  if (v < 0 && kind() != Kind::Boolean) CastError(varUInt64);
  return static_cast<uint64_t>(v);
}

double Variant::AsDouble() const {
  switch (kind()) {
    case Kind::Empty:
      return 0;
    case Kind::Boolean:
      return GetBoolean() ? -1 : 0;
    case Kind::Int32:
      return GetInt32();
    case Kind::Int64:
      return static_cast<double>(GetInt64());
    case Kind::UInt64:
      return static_cast<double>(GetUInt64());
    case Kind::Double:
      return GetDouble();
    case Kind::DateTime:
      return GetDateTime();
    case Kind::String: {
      double d;
      if (TryStrToFloat(GetString(), d, FormatSettings)) return d;
      break;
    }
    default:
      break;
  }
  CastError(varDouble);
}

bool Variant::AsBoolean() const {
  switch (kind()) {
    case Kind::Empty:
      return false;
    case Kind::Boolean:
      return GetBoolean();
    case Kind::Int32:
      return GetInt32() != 0;
    case Kind::Int64:
      return GetInt64() != 0;
    case Kind::UInt64:
      return GetUInt64() != 0;
    case Kind::Double:
      return GetDouble() != 0;
    case Kind::DateTime:
      return GetDateTime() != 0;
    case Kind::String: {
      bool b;
      if (TryStrToBool(GetString(), b)) return b;
      double d;
      if (TryStrToFloat(GetString(), d, FormatSettings)) return d != 0;
      break;
    }
    default:
      break;
  }
  CastError(varBoolean);
}

std::string Variant::AsString() const {
  switch (kind()) {
    case Kind::Empty:
      return {};
    case Kind::Boolean:
      return GetBoolean() ? "True" : "False";
    case Kind::Int32:
      return IntToStr(GetInt32());
    case Kind::Int64:
      return IntToStr(GetInt64());
    case Kind::UInt64:
      return UIntToStr(GetUInt64());
    case Kind::Double:
      return FloatToStr(GetDouble(), FormatSettings);
    case Kind::String:
      return GetString();
    case Kind::DateTime:
      return DateTimeToStr(GetDateTime(), FormatSettings);
    default:
      break;
  }
  CastError(varUString);
}

TDateTime Variant::AsDateTime() const {
  switch (kind()) {
    case Kind::Empty:
      return 0;
    case Kind::Boolean:
      return GetBoolean() ? -1 : 0;
    case Kind::Int32:
    case Kind::Int64:
    case Kind::UInt64:
    case Kind::Double:
      return AsDouble();
    case Kind::DateTime:
      return GetDateTime();
    case Kind::String: {
      TDateTime dt;
      if (TryStrToDateTime(GetString(), dt, FormatSettings)) return dt;
      break;
    }
    default:
      break;
  }
  CastError(varDate);
}

Variant::Bytes Variant::AsBytes() const {
  switch (kind()) {
    case Kind::Empty:
      return {};
    case Kind::Bytes:
      return GetBytes();
    case Kind::String:
      return Bytes(GetString().begin(), GetString().end());
    default:
      break;
  }
  CastError(varArray | varByte);
}

IPtr<IInterface> Variant::AsInterface() const {
  switch (kind()) {
    case Kind::Empty:
    case Kind::Null:
      return nullptr;
    case Kind::Interface:
      return GetInterface();
    default:
      break;
  }
  CastError(varUnknown);
}

std::string VarToStr(const Variant& v) {
  return v.IsNull() ? std::string() : v.AsString();
}

std::string VarToStrDef(const Variant& v, std::string_view def) {
  return v.IsNull() || v.IsEmpty() ? std::string(def) : v.AsString();
}

TDateTime VarToDateTime(const Variant& v) {
  return v.AsDateTime();
}

Variant VarAsType(const Variant& v, TVarType vt) {
  switch (vt) {
    case varEmpty:
      return Variant();
    case varNull:
      return Null();
    case varBoolean:
      return Variant(v.AsBoolean());
    case varSmallint:
    case varShortInt:
    case varByte:
    case varWord:
    case varInteger:
      return Variant(v.AsInteger());
    case varUInt32:
    case varInt64:
      return Variant(v.AsInt64());
    case varUInt64:
      return Variant(v.AsUInt64());
    case varSingle:
    case varCurrency:
    case varDouble:
      return Variant(v.AsDouble());
    case varDate:
      return Variant::FromDateTime(v.AsDateTime());
    case varOleStr:
    case varString:
    case varUString:
      return Variant(v.AsString());
    case varArray | varByte:
      return Variant(v.AsBytes());
    case varUnknown:
    case varDispatch:
      return Variant(v.AsInterface());
    default:
      break;
  }
  throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(v.VarType()) +
                              ") into type (" + VarTypeAsText(vt) + ")");
}

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
  using K = Variant::Kind;
  const K ka = a.kind(), kb = b.kind();
  if ((ka == K::Null && kb == K::Null) || (ka == K::Empty && kb == K::Empty))
    return TVariantRelationship::vrEqual;
  if (ka == K::Null || kb == K::Null || ka == K::Empty || kb == K::Empty)
    return TVariantRelationship::vrNotEqual;
  if (ka == K::Interface || kb == K::Interface) {
    if (ka == kb && a.GetInterface().get() == b.GetInterface().get())
      return TVariantRelationship::vrEqual;
    return TVariantRelationship::vrNotEqual;
  }
  const bool textA = ka == K::String || ka == K::Bytes;
  const bool textB = kb == K::String || kb == K::Bytes;
  if (textA && textB) {
    std::string_view sa = ka == K::String
                              ? std::string_view(a.GetString())
                              : std::string_view(reinterpret_cast<const char*>(a.GetBytes().data()),
                                                 a.GetBytes().size());
    std::string_view sb = kb == K::String
                              ? std::string_view(b.GetString())
                              : std::string_view(reinterpret_cast<const char*>(b.GetBytes().data()),
                                                 b.GetBytes().size());
    return FromOrder(sa.compare(sb));
  }
  if (ka == K::Bytes || kb == K::Bytes) return TVariantRelationship::vrNotEqual;
  // Integers compare exactly; anything with a fraction or a string compares as a double.
  auto integral = [](K k) { return k == K::Boolean || k == K::Int32 || k == K::Int64; };
  if (integral(ka) && integral(kb)) {
    const int64_t x = a.AsInt64(), y = b.AsInt64();
    return FromOrder(x < y ? -1 : (x > y ? 1 : 0));
  }
  if (ka == K::UInt64 && kb == K::UInt64) {
    const uint64_t x = a.GetUInt64(), y = b.GetUInt64();
    return FromOrder(x < y ? -1 : (x > y ? 1 : 0));
  }
  if ((ka == K::UInt64 && integral(kb)) || (kb == K::UInt64 && integral(ka))) {
    const bool aU = ka == K::UInt64;
    const uint64_t u = aU ? a.GetUInt64() : b.GetUInt64();
    const int64_t s = aU ? b.AsInt64() : a.AsInt64();
    int c = (s < 0 || u > static_cast<uint64_t>(s)) ? 1 : (u == static_cast<uint64_t>(s) ? 0 : -1);
    return FromOrder(aU ? c : -c);
  }
  return FromOrder(CompareNumbers(a.AsDouble(), b.AsDouble()));
}

bool VarSameValue(const Variant& a, const Variant& b) {
  using K = Variant::Kind;
  const K ka = a.kind(), kb = b.kind();
  if (ka == K::Null || kb == K::Null) return ka == kb;
  if (ka == K::Empty || kb == K::Empty) {
    if (ka == kb) return true;
    const Variant& other = ka == K::Empty ? b : a;
    switch (other.kind()) {
      case K::String:
        return other.GetString().empty();
      case K::Bytes:
        return other.GetBytes().empty();
      case K::Interface:
        return !other.GetInterface();
      default:
        return other.AsDouble() == 0;
    }
  }
  try {
    return VarCompareValue(a, b) == TVariantRelationship::vrEqual;
  } catch (const EVariantError&) {
    return false;
  } catch (const EConvertError&) {
    return false;
  }
}

bool operator==(const Variant& a, const Variant& b) {
  return VarSameValue(a, b);
}

}  // namespace vela
