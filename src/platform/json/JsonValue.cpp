// Parsing goes through simdjson's on-demand front end, which visits every value once in document
// order (so member order and duplicates survive) and leaves numbers to us as raw tokens: that is
// how integers beyond 64 bits keep their digits instead of failing the whole document.
#include "platform/json/JsonValue.h"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "rtl/CodePages.h"

namespace vela {

namespace od = simdjson::ondemand;

EJsonParserException::EJsonParserException(int Line, int Column, size_t Offset, std::string Reason)
    : EJsonException("JSON " + std::to_string(Line) + ":" + std::to_string(Column) + " (byte " +
                     std::to_string(Offset) + "): " + Reason),
      FLine(Line),
      FColumn(Column),
      FOffset(Offset),
      FReason(std::move(Reason)) {}

namespace {

constexpr size_t kMaxDepth = 1024;

// Our own wording for the errors a user can cause; anything else keeps simdjson's text.
std::string ReasonText(simdjson::error_code code) {
  switch (code) {
    case simdjson::EMPTY:
      return "no JSON value in the text";
    case simdjson::DEPTH_ERROR:
      return "nesting deeper than " + std::to_string(kMaxDepth) + " levels";
    case simdjson::UNCLOSED_STRING:
      return "string is not closed";
    case simdjson::UNESCAPED_CHARS:
      return "control character inside a string (it must be escaped)";
    case simdjson::UTF8_ERROR:
      return "invalid UTF-8";
    case simdjson::STRING_ERROR:
      return "invalid escape sequence in a string";
    case simdjson::T_ATOM_ERROR:
    case simdjson::F_ATOM_ERROR:
    case simdjson::N_ATOM_ERROR:
      return "misspelt true, false or null";
    case simdjson::NUMBER_ERROR:
      return "invalid number";
    case simdjson::TAPE_ERROR:
    case simdjson::INCORRECT_TYPE:
      return "unexpected character";
    case simdjson::INCOMPLETE_ARRAY_OR_OBJECT:
      return "array or object is not closed";
    case simdjson::TRAILING_CONTENT:
      return "text after the JSON value";
    default:
      return simdjson::error_message(code);
  }
}

[[noreturn]] void RaiseAt(std::string_view text, size_t offset, std::string reason) {
  if (offset > text.size()) offset = text.size();
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  throw EJsonParserException(line, static_cast<int>(offset - lineStart) + 1, offset,
                             std::move(reason));
}

// The first byte at which the text stops being valid UTF-8.
size_t FirstInvalidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size() || !IsValidUtf8(s.substr(i, len))) return i;
    i += len;
  }
  return s.size();
}

// Where a string problem found in the first pass begins: the opening quote of the string that
// is never closed, or the first raw control character inside a string.
size_t LocateStringError(std::string_view s, simdjson::error_code code) {
  bool inString = false;
  size_t start = s.size();
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (!inString) {
      if (c == '"') {
        inString = true;
        start = i;
      }
    } else if (c == '\\') {
      ++i;
    } else if (c == '"') {
      inString = false;
    } else if (code == simdjson::UNESCAPED_CHARS && static_cast<unsigned char>(c) < 0x20) {
      return i;
    }
  }
  return inString ? start : s.size();
}

// True when an out-of-range number text is tiny rather than huge (a negative exponent).
bool SmallMagnitude(std::string_view t) {
  const size_t e = t.find_first_of("eE");
  return e != std::string_view::npos && e + 1 < t.size() && t[e + 1] == '-';
}

// JSON's number grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsJsonNumber(std::string_view t, bool& integral) {
  size_t i = 0;
  auto digits = [&] {
    const size_t from = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
      ++i;
    return i > from;
  };
  if (i < t.size() && t[i] == '-') ++i;
  if (i < t.size() && t[i] == '0')
    ++i;
  else if (!digits())
    return false;
  integral = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    integral = false;
    if (!digits()) return false;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    integral = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == t.size();
}

class TParser {
 public:
  explicit TParser(std::string_view text) : FText(text), FPadded(text) {}

  TJsonValue Run() {
    thread_local od::parser parser;
    // The parser's own depth limit lies beyond ours, so that ours is the one that answers.
    if (parser.max_depth() < kMaxDepth + 2) {
      if (auto err = parser.allocate(std::max<size_t>(FPadded.size(), 4096), kMaxDepth + 2))
        FirstPassError(err);
    }
    od::document doc;
    if (auto err = parser.iterate(FPadded).get(doc)) FirstPassError(err);
    bool scalar = false;
    Check(doc.is_scalar().get(scalar), doc);
    if (scalar) {
      // A scalar document is a single token; its raw text runs up to the next token, if any.
      const std::string_view token = RawToken(doc, doc);
      TJsonValue result = Scalar(doc, doc);
      const size_t end = static_cast<size_t>(token.data() - FPadded.data()) + token.size();
      if (end < FText.size()) RaiseAt(FText, end, ReasonText(simdjson::TRAILING_CONTENT));
      return result;
    }
    od::value root;
    Check(doc.get_value().get(root), doc);
    TJsonValue result = Container(root, doc);
    // Past the last token the location query fails; a location left means more text follows.
    const char* rest = nullptr;
    if (!doc.current_location().get(rest) && rest)
      RaiseAt(FText, static_cast<size_t>(rest - FPadded.data()),
              ReasonText(simdjson::TRAILING_CONTENT));
    return result;
  }

 private:
  [[noreturn]] void FirstPassError(simdjson::error_code err) {
    size_t offset = FText.size();
    if (err == simdjson::UTF8_ERROR)
      offset = FirstInvalidUtf8(FText);
    else if (err == simdjson::UNCLOSED_STRING || err == simdjson::UNESCAPED_CHARS)
      offset = LocateStringError(FText, err);
    RaiseAt(FText, offset, ReasonText(err));
  }

  [[noreturn]] void Fail(simdjson::error_code err, od::document& doc) {
    const char* loc = nullptr;
    size_t offset = FText.size();
    if (!doc.current_location().get(loc) && loc >= FPadded.data())
      offset = static_cast<size_t>(loc - FPadded.data());
    // Running into the end of the text inside an array or object: the innermost open one is
    // what is broken.
    if (offset >= FText.size() && !FOpen.empty())
      RaiseAt(FText, FOpen.back(),
              FText[FOpen.back()] == '[' ? "array is not closed" : "object is not closed");
    RaiseAt(FText, offset, ReasonText(err));
  }
  void Check(simdjson::error_code err, od::document& doc) {
    if (err) Fail(err, doc);
  }

  // Anything with type() and the typed getters: a value or the document itself.
  template <class V>
  TJsonValue Scalar(V& v, od::document& doc) {
    od::json_type type;
    Check(v.type().get(type), doc);
    switch (type) {
      case od::json_type::null: {
        bool isNull = false;
        Check(v.is_null().get(isNull), doc);
        if (!isNull) Fail(simdjson::N_ATOM_ERROR, doc);
        return TJsonValue();
      }
      case od::json_type::boolean: {
        bool b = false;
        Check(v.get_bool().get(b), doc);
        return TJsonValue(b);
      }
      case od::json_type::string: {
        std::string_view s;
        Check(v.get_string().get(s), doc);
        return TJsonValue(s);
      }
      case od::json_type::number:
        return Number(v, doc);
      default:
        Fail(simdjson::INCORRECT_TYPE, doc);
    }
  }

  std::string_view RawToken(od::value& v, od::document&) { return v.raw_json_token(); }
  std::string_view RawToken(od::document& v, od::document& doc) {
    std::string_view token;
    Check(v.raw_json_token().get(token), doc);
    return token;
  }

  template <class V>
  TJsonValue Number(V& v, od::document& doc) {
    std::string_view token = RawToken(v, doc);
    const size_t offset = static_cast<size_t>(token.data() - FPadded.data());
    while (!token.empty() && (token.back() == ' ' || token.back() == '\t' || token.back() == '\r' ||
                              token.back() == '\n'))
      token.remove_suffix(1);
    bool integral = false;
    if (!IsJsonNumber(token, integral)) RaiseAt(FText, offset, ReasonText(simdjson::NUMBER_ERROR));
    const char* end = token.data() + token.size();
    if (integral) {
      int64_t i = 0;
      if (std::from_chars(token.data(), end, i).ec == std::errc()) return TJsonValue(i);
    }
    // Fractions, exponents and integers beyond 64 bits. Too small for a double gives zero or a
    // denormal; too large has no value.
    double d = 0;
    if (std::from_chars(token.data(), end, d).ec == std::errc::result_out_of_range &&
        !SmallMagnitude(token))
      RaiseAt(FText, offset, "number out of range");
    return TJsonValue::MakeNumber(d, std::string(token));
  }

  TJsonValue Container(od::value v, od::document& doc) {
    const size_t start = static_cast<size_t>(v.raw_json_token().data() - FPadded.data());
    od::json_type type;
    Check(v.type().get(type), doc);
    // The on-demand front end does not bound nesting itself, and the recursion here must stay
    // within the stack.
    if ((type == od::json_type::object || type == od::json_type::array) &&
        FOpen.size() >= kMaxDepth)
      RaiseAt(FText, start, ReasonText(simdjson::DEPTH_ERROR));
    if (type == od::json_type::object) {
      FOpen.push_back(start);
      TJsonValue obj = TJsonValue::MakeObject();
      od::object o;
      Check(v.get_object().get(o), doc);
      for (auto field : o) {
        od::field f;
        Check(std::move(field).get(f), doc);
        std::string_view key;
        Check(f.unescaped_key().get(key), doc);
        std::string name(key);
        obj.Add(std::move(name), Container(f.value(), doc));
      }
      FOpen.pop_back();
      return obj;
    }
    if (type == od::json_type::array) {
      FOpen.push_back(start);
      TJsonValue arr = TJsonValue::MakeArray();
      od::array a;
      Check(v.get_array().get(a), doc);
      for (auto item : a) {
        od::value v;
        Check(std::move(item).get(v), doc);
        arr.Add(Container(v, doc));
      }
      FOpen.pop_back();
      return arr;
    }
    return Scalar(v, doc);
  }

  std::string_view FText;
  simdjson::padded_string FPadded;
  std::vector<size_t> FOpen;  // offsets of the arrays and objects being read
};

const char* KindName(TJsonKind kind) {
  switch (kind) {
    case TJsonKind::Null:
      return "null";
    case TJsonKind::Boolean:
      return "boolean";
    case TJsonKind::Integer:
      return "integer";
    case TJsonKind::Float:
      return "float";
    case TJsonKind::String:
      return "string";
    case TJsonKind::Array:
      return "array";
    case TJsonKind::Object:
      return "object";
  }
  return "?";
}

[[noreturn]] void KindError(TJsonKind have, const char* want) {
  throw EJsonException(std::string("JSON value is ") + KindName(have) + ", not " + want);
}

// One step of a path: a member name or an array index.
struct TPathStep {
  bool IsIndex = false;
  std::string Name;
  size_t Index = 0;
};

[[noreturn]] void PathError(std::string_view path, const char* reason) {
  throw EJsonException("invalid JSON path \"" + std::string(path) + "\": " + reason);
}

std::vector<TPathStep> SplitPath(std::string_view path) {
  std::vector<TPathStep> steps;
  size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '[') {
      const size_t close = path.find(']', i);
      if (close == std::string_view::npos) PathError(path, "\"[\" without \"]\"");
      TPathStep step;
      step.IsIndex = true;
      const std::string_view digits = path.substr(i + 1, close - i - 1);
      const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), step.Index);
      if (digits.empty() || res.ec != std::errc() || res.ptr != digits.data() + digits.size())
        PathError(path, "array index is not a number");
      steps.push_back(std::move(step));
      i = close + 1;
      if (i < path.size() && path[i] != '.' && path[i] != '[')
        PathError(path, "\".\" or \"[\" expected after \"]\"");
      if (i < path.size() && path[i] == '.') {
        ++i;
        if (i == path.size()) PathError(path, "empty member name");
      }
      continue;
    }
    TPathStep step;
    while (i < path.size() && path[i] != '.' && path[i] != '[') {
      if (path[i] == '\\') {
        if (++i == path.size()) PathError(path, "backslash at the end");
      }
      step.Name += path[i++];
    }
    if (step.Name.empty()) PathError(path, "empty member name");
    steps.push_back(std::move(step));
    if (i < path.size() && path[i] == '.') {
      ++i;
      if (i == path.size()) PathError(path, "empty member name");
    }
  }
  return steps;
}

void WriteString(std::string& out, std::string_view s) {
  static const char* const kHex = "0123456789abcdef";
  out += '"';
  for (const char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void WriteFloat(std::string& out, double d) {
  if (!std::isfinite(d)) {
    out += "null";
    return;
  }
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, d);
  const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  out += text;
  if (text.find_first_of(".eE") == std::string_view::npos) out += ".0";
}

void NewLine(std::string& out, int level) {
  out += "\r\n";
  out.append(static_cast<size_t>(level) * 2, ' ');
}

}  // namespace

TJsonValue TJsonValue::MakeNumber(double value, std::string text) {
  TJsonValue v(value);
  v.FText = std::move(text);
  return v;
}

TJsonValue TJsonValue::Parse(std::string_view text) {
  return TParser(text).Run();
}

bool TJsonValue::AsBoolean() const {
  if (FKind != TJsonKind::Boolean) KindError(FKind, "boolean");
  return FBool;
}

int64_t TJsonValue::AsInteger() const {
  if (FKind != TJsonKind::Integer) KindError(FKind, "integer");
  return FInt;
}

double TJsonValue::AsFloat() const {
  if (FKind == TJsonKind::Integer) return static_cast<double>(FInt);
  if (FKind != TJsonKind::Float) KindError(FKind, "float");
  return FFloat;
}

const std::string& TJsonValue::AsString() const {
  if (FKind != TJsonKind::String) KindError(FKind, "string");
  return FText;
}

const std::vector<TJsonValue>& TJsonValue::Items() const {
  if (FKind != TJsonKind::Array) KindError(FKind, "array");
  return FItems;
}

const std::vector<TJsonMember>& TJsonValue::Members() const {
  if (FKind != TJsonKind::Object) KindError(FKind, "object");
  return FMembers;
}

size_t TJsonValue::Count() const noexcept {
  return FKind == TJsonKind::Array    ? FItems.size()
         : FKind == TJsonKind::Object ? FMembers.size()
                                      : 0;
}

TJsonValue& TJsonValue::Add(TJsonValue value) {
  if (FKind != TJsonKind::Array) KindError(FKind, "array");
  return FItems.emplace_back(std::move(value));
}

TJsonValue& TJsonValue::Add(std::string name, TJsonValue value) {
  if (FKind != TJsonKind::Object) KindError(FKind, "object");
  return FMembers.emplace_back(std::move(name), std::move(value)).second;
}

const TJsonValue* TJsonValue::Member(std::string_view name) const noexcept {
  if (FKind != TJsonKind::Object) return nullptr;
  for (const TJsonMember& m : FMembers)
    if (m.first == name) return &m.second;
  return nullptr;
}

const TJsonValue* TJsonValue::Find(std::string_view path) const {
  const TJsonValue* current = this;
  for (const TPathStep& step : SplitPath(path)) {
    if (step.IsIndex) {
      if (current->FKind != TJsonKind::Array || step.Index >= current->FItems.size())
        return nullptr;
      current = &current->FItems[step.Index];
    } else {
      current = current->Member(step.Name);
      if (!current) return nullptr;
    }
  }
  return current;
}

std::string TJsonValue::ToJSON(bool indented) const {
  std::string out;
  WriteTo(out, indented, 0);
  return out;
}

void TJsonValue::WriteTo(std::string& out, bool indented, int level) const {
  switch (FKind) {
    case TJsonKind::Null:
      out += "null";
      break;
    case TJsonKind::Boolean:
      out += FBool ? "true" : "false";
      break;
    case TJsonKind::Integer:
      out += FText.empty() ? std::to_string(FInt) : FText;
      break;
    case TJsonKind::Float:
      if (FText.empty())
        WriteFloat(out, FFloat);
      else
        out += FText;
      break;
    case TJsonKind::String:
      WriteString(out, FText);
      break;
    case TJsonKind::Array:
      out += '[';
      for (size_t i = 0; i < FItems.size(); ++i) {
        if (i) out += ',';
        if (indented) NewLine(out, level + 1);
        FItems[i].WriteTo(out, indented, level + 1);
      }
      if (indented && !FItems.empty()) NewLine(out, level);
      out += ']';
      break;
    case TJsonKind::Object:
      out += '{';
      for (size_t i = 0; i < FMembers.size(); ++i) {
        if (i) out += ',';
        if (indented) NewLine(out, level + 1);
        WriteString(out, FMembers[i].first);
        out += indented ? ": " : ":";
        FMembers[i].second.WriteTo(out, indented, level + 1);
      }
      if (indented && !FMembers.empty()) NewLine(out, level);
      out += '}';
      break;
  }
}

}  // namespace vela
