// Variant: a dynamically typed value with the runtime's conversion rules, used for field values
// between sources, the record buffer and the database layer.
//
// Kinds: Empty (unassigned), Null, Boolean, Int32, Int64, UInt64, Double, String (UTF-8),
// DateTime, Bytes (array of byte) and Interface. Copying is cheap for scalars; strings and byte
// arrays are copied, interfaces reference-counted. Conversions:
//   - strings become numbers through StrToInt64/StrToFloat with the process's FormatSettings and
//     dates through StrToDateTime;
//   - Boolean is -1/0 as a number and "True"/"False" as a string;
//   - numbers become integers by rounding (half to even);
//   - DateTime becomes a string through DateTimeToStr;
//   - Empty is 0, "" and False; Null cannot be converted (VarToStr gives "" for it);
//   - failures raise EVariantTypeCastError
//     "Could not convert variant of type (<from>) into type (<to>)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "rtl/DateUtils.h"
#include "rtl/Exceptions.h"
#include "rtl/Interfaces.h"

namespace vela {

// Type codes as VarType reports them.
using TVarType = uint16_t;
inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varDispatch = 0x0009;
inline constexpr TVarType varError = 0x000A;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varUnknown = 0x000D;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varUInt32 = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varUInt64 = 0x0015;
inline constexpr TVarType varString = 0x0100;   // the runtime's 8-bit string
inline constexpr TVarType varUString = 0x0102;  // the runtime's string: what our String reports
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;
inline constexpr TVarType varByRef = 0x4000;

// The runtime's name of a type code: "Empty", "Null", "Integer", "Double", "Date", "Boolean",
// "Unknown", "Int64", "UInt64", "String", "Array of Byte", ...
std::string VarTypeAsText(TVarType vt);

class Variant {
 public:
  using Bytes = std::vector<uint8_t>;
  enum class Kind : uint8_t {
    Empty,
    Null,
    Boolean,
    Int32,
    Int64,
    UInt64,
    Double,
    String,
    DateTime,
    Bytes,
    Interface
  };

  // Empty (unassigned).
  Variant() noexcept = default;
  Variant(bool v) noexcept : FValue(v) {}
  // Integers: signed up to 32 bits and unsigned up to 16 bits become Int32, uint32_t and 64-bit
  // signed types Int64, 64-bit unsigned types UInt64.
  template <class T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) Variant(T v)
  noexcept {
    if constexpr (std::is_signed_v<T> ? sizeof(T) <= 4 : sizeof(T) <= 2)
      FValue = static_cast<int32_t>(v);
    else if constexpr (std::is_signed_v<T> || sizeof(T) <= 4)
      FValue = static_cast<int64_t>(v);
    else
      FValue = static_cast<uint64_t>(v);
  }
  Variant(double v) noexcept : FValue(v) {}
  Variant(float v) noexcept : FValue(static_cast<double>(v)) {}
  Variant(const char* s) : FValue(std::string(s ? s : "")) {}
  Variant(std::string s) noexcept : FValue(std::move(s)) {}
  Variant(std::string_view s) : FValue(std::string(s)) {}
  Variant(Bytes b) noexcept : FValue(std::move(b)) {}
  Variant(IPtr<IInterface> intf) noexcept : FValue(std::move(intf)) {}
  template <class T>
  requires(!std::is_same_v<T, IInterface> && std::is_convertible_v<T*, IInterface*>)
      Variant(const IPtr<T>& intf)
  noexcept : FValue(IPtr<IInterface>(intf)) {}
  // No implicit pointer-to-bool conversions.
  template <class T>
  Variant(T*) = delete;

  static Variant MakeNull() noexcept {
    Variant v;
    v.FValue = NullTag{};
    return v;
  }
  // TDateTime is a double, so dates are made explicitly.
  static Variant FromDateTime(TDateTime dt) noexcept {
    Variant v;
    v.FValue = DateTag{dt};
    return v;
  }
  static Variant FromBytes(std::string_view bytes) {
    return Variant(Bytes(bytes.begin(), bytes.end()));
  }

  Kind kind() const noexcept { return static_cast<Kind>(FValue.index()); }
  TVarType VarType() const noexcept;
  bool IsEmpty() const noexcept { return kind() == Kind::Empty; }
  bool IsNull() const noexcept { return kind() == Kind::Null; }
  // Empty, Null or a nil interface.
  bool IsClear() const noexcept;
  // Int32, Int64, UInt64, Double (not Boolean, not DateTime).
  bool IsNumeric() const noexcept;
  bool IsString() const noexcept { return kind() == Kind::String; }
  bool IsDateTime() const noexcept { return kind() == Kind::DateTime; }

  void Clear() noexcept { FValue = std::monostate{}; }
  // Make the value a string (a byte array) of these bytes, reusing the buffer of a value that
  // already is one: a row buffer refilled per record then does not allocate.
  void SetString(std::string_view s) {
    if (auto* p = std::get_if<std::string>(&FValue))
      p->assign(s);
    else
      FValue = std::string(s);
  }
  void SetBytes(std::string_view b) {
    if (auto* p = std::get_if<Bytes>(&FValue))
      p->assign(b.begin(), b.end());
    else
      FValue = Bytes(b.begin(), b.end());
  }

  // --- conversions by the runtime's rules (raise EVariantTypeCastError) ---
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  uint64_t AsUInt64() const;
  double AsDouble() const;
  bool AsBoolean() const;
  std::string AsString() const;
  TDateTime AsDateTime() const;
  // Bytes as they are; a string gives its bytes.
  Bytes AsBytes() const;
  // Interface (nil for Empty and Null).
  IPtr<IInterface> AsInterface() const;

  // --- direct access without conversion; valid only for the matching kind ---
  bool GetBoolean() const { return std::get<bool>(FValue); }
  int32_t GetInt32() const { return std::get<int32_t>(FValue); }
  int64_t GetInt64() const { return std::get<int64_t>(FValue); }
  uint64_t GetUInt64() const { return std::get<uint64_t>(FValue); }
  double GetDouble() const { return std::get<double>(FValue); }
  const std::string& GetString() const { return std::get<std::string>(FValue); }
  TDateTime GetDateTime() const { return std::get<DateTag>(FValue).Value; }
  const Bytes& GetBytes() const { return std::get<Bytes>(FValue); }
  const IPtr<IInterface>& GetInterface() const { return std::get<IPtr<IInterface>>(FValue); }

  // Loose equality: Null equals only Null; numbers (Boolean as -1/0, dates as their day count,
  // Empty as 0) compare by value; strings compare with strings exactly and with numbers by their
  // numeric value when they have one. Never raises: values that cannot be compared are unequal.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  struct DateTag {
    TDateTime Value;
  };
  std::variant<std::monostate, NullTag, bool, int32_t, int64_t, uint64_t, double, std::string,
               DateTag, Bytes, IPtr<IInterface>>
      FValue;

  [[noreturn]] void CastError(TVarType target) const;
};

// Null and Unassigned.
inline Variant Null() noexcept {
  return Variant::MakeNull();
}
inline Variant Unassigned() noexcept {
  return Variant();
}

inline TVarType VarType(const Variant& v) noexcept {
  return v.VarType();
}
inline bool VarIsNull(const Variant& v) noexcept {
  return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) noexcept {
  return v.IsEmpty();
}
inline bool VarIsClear(const Variant& v) noexcept {
  return v.IsClear();
}
inline bool VarIsNumeric(const Variant& v) noexcept {
  return v.IsNumeric();
}
inline bool VarIsStr(const Variant& v) noexcept {
  return v.IsString();
}
inline bool VarIsNullOrEmpty(const Variant& v) noexcept {
  return v.IsNull() || v.IsEmpty();
}
// The string of a value; "" for Null and Empty (raises for values without a text form).
std::string VarToStr(const Variant& v);
// def for Null and Empty.
std::string VarToStrDef(const Variant& v, std::string_view def);
// The date of a value; raises for Null.
TDateTime VarToDateTime(const Variant& v);
// The value converted to the kind of the type code (varInteger, varUString, varDate, ...).
Variant VarAsType(const Variant& v, TVarType vt);

enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };
// Orders two values (VarCompareValue): Null and Empty against anything else are
// vrNotEqual (Null = Null is vrEqual), strings against numbers compare numerically, strings against
// strings by bytes. Raises EVariantTypeCastError when a string has no numeric value.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
// Equal without raising (see operator==).
bool VarSameValue(const Variant& a, const Variant& b);

}  // namespace vela
