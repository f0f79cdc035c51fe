// The host's JSON document model: a parsed JSON text as a tree of values that keeps everything
// the converters and content objects need to see.
//
// What the model guarantees:
// - Object members stay in document order; duplicate names are all kept (lookups by name find
//   the first).
// - Value kinds: null, boolean, integer, float, string, array, object. A number written without
//   fraction or exponent that fits a signed 64-bit integer is an integer; every other number is
//   a float. An integer literal beyond the signed 64-bit range becomes a float (its nearest
//   double) and keeps its text, so writing the document back reproduces the digits exactly.
//   Parsed floats keep their text too.
// - Strings are unescaped to UTF-8 (\uXXXX escapes including surrogate pairs); a lone surrogate
//   or invalid UTF-8 in the input is a parse error.
// - Nesting is limited to 1024 levels of arrays and objects; deeper documents are refused.
// - Every malformed text raises EJsonParserException with the line, column and byte offset of
//   the offending construct (where a construct such as a string starts, when it is never closed).
//
// Path lookup (Find): members separated by ".", array items by "[index]" (from 0), for example
// "order.positions[2].sku" or "[0].name" on a top-level array. An empty path is the value itself.
// A backslash takes the next character literally, so "a\.b" names the member "a.b" and "x\[1\]"
// the member "x[1]". A path that does not match the document gives nullptr; a path that is not
// well formed (an unclosed "[", an index that is not a number, a trailing backslash, an empty
// member name) raises EJsonException.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/Exceptions.h"

namespace vela {

VELA_DECLARE_EXCEPTION(EJsonException, Exception);

// A JSON text that does not parse. The message reads "JSON LINE:COLUMN (byte OFFSET): reason";
// line and column count from 1, the column in bytes, the offset from 0.
class EJsonParserException : public EJsonException {
 public:
  EJsonParserException(int Line, int Column, size_t Offset, std::string Reason);
  const char* ClassName() const noexcept override { return "EJsonParserException"; }

  int Line() const noexcept { return FLine; }
  int Column() const noexcept { return FColumn; }
  size_t Offset() const noexcept { return FOffset; }
  const std::string& Reason() const noexcept { return FReason; }

 private:
  int FLine;
  int FColumn;
  size_t FOffset;
  std::string FReason;
};

enum class TJsonKind : uint8_t { Null, Boolean, Integer, Float, String, Array, Object };

class TJsonValue;
using TJsonMember = std::pair<std::string, TJsonValue>;

class TJsonValue {
 public:
  // null.
  TJsonValue() noexcept = default;
  TJsonValue(bool v) noexcept : FKind(TJsonKind::Boolean), FBool(v) {}
  TJsonValue(int v) noexcept : FKind(TJsonKind::Integer), FInt(v) {}
  TJsonValue(int64_t v) noexcept : FKind(TJsonKind::Integer), FInt(v) {}
  TJsonValue(double v) noexcept : FKind(TJsonKind::Float), FFloat(v) {}
  TJsonValue(std::string v) noexcept : FKind(TJsonKind::String), FText(std::move(v)) {}
  TJsonValue(std::string_view v) : FKind(TJsonKind::String), FText(v) {}
  TJsonValue(const char* v) : TJsonValue(std::string_view(v ? v : "")) {}
  // No implicit pointer-to-bool conversions.
  template <class T>
  TJsonValue(T*) = delete;

  static TJsonValue MakeArray() {
    TJsonValue v;
    v.FKind = TJsonKind::Array;
    return v;
  }
  static TJsonValue MakeObject() {
    TJsonValue v;
    v.FKind = TJsonKind::Object;
    return v;
  }
  // A float that keeps the text it was written with (used by the parser and for exact digits).
  static TJsonValue MakeNumber(double value, std::string text);

  // Parses a whole JSON text (any value at the top, surrounded by white space only).
  static TJsonValue Parse(std::string_view text);

  TJsonKind Kind() const noexcept { return FKind; }
  bool IsNull() const noexcept { return FKind == TJsonKind::Null; }
  bool IsArray() const noexcept { return FKind == TJsonKind::Array; }
  bool IsObject() const noexcept { return FKind == TJsonKind::Object; }

  // Direct access; raise EJsonException when the kind does not match (AsFloat accepts integers).
  bool AsBoolean() const;
  int64_t AsInteger() const;
  double AsFloat() const;
  const std::string& AsString() const;
  // The number as written in the parsed text (empty for numbers built in code).
  const std::string& NumberText() const noexcept { return FText; }

  // Arrays: the items; objects: none.
  const std::vector<TJsonValue>& Items() const;
  // Objects: the members in document order.
  const std::vector<TJsonMember>& Members() const;
  // Items of an array, members of an object, 0 for anything else.
  size_t Count() const noexcept;
  // Appends to an array / an object; returns the new value.
  TJsonValue& Add(TJsonValue value);
  TJsonValue& Add(std::string name, TJsonValue value);
  // The first member of that name (names compare exactly), or nullptr.
  const TJsonValue* Member(std::string_view name) const noexcept;
  // See the path syntax above.
  const TJsonValue* Find(std::string_view path) const;

  // The value as JSON text: compact, or indented by two blanks per level with CR LF line breaks.
  // Strings escape '"', '\\' and control characters; other characters stay UTF-8. Numbers keep
  // their parsed text; floats built in code are written in the shortest form that reads back to
  // the same double, with ".0" added to whole values so that they stay floats. NaN and infinities
  // have no JSON form and are written as null.
  std::string ToJSON(bool indented = false) const;

 private:
  void WriteTo(std::string& out, bool indented, int level) const;

  TJsonKind FKind = TJsonKind::Null;
  bool FBool = false;
  int64_t FInt = 0;
  double FFloat = 0;
  std::string FText;  // string value, or the written text of a number
  std::vector<TJsonValue> FItems;
  std::vector<TJsonMember> FMembers;
};

}  // namespace vela
