#include "vcard/VCardItem.h"

#include <algorithm>
#include <cstring>

#include "rtl/CodePages.h"
#include "rtl/Encoders.h"
#include "rtl/Exceptions.h"
#include "rtl/Guid.h"
#include "rtl/SysUtils.h"
#include "vcard/VCalendarItem.h"
#include "vcard/VCardConsts.h"
#include "vcard/VCardProps.h"

namespace vela {

namespace {

bool IsQuotedPrintable(std::string_view encoding) {
  return SameName(encoding, "QUOTED-PRINTABLE");
}
bool IsBase64(std::string_view encoding) {
  return SameName(encoding, "BASE64") || SameName(encoding, "B");
}

// The lines of text into the list as TStringList::SetText cuts them: at CR LF, LF or CR, with no
// line for a final line end.
void SetListText(TStringList& list, std::string_view text) {
  list.Clear();
  size_t p = 0;
  while (p < text.size()) {
    const void* hit = std::memchr(text.data() + p, '\n', text.size() - p);
    size_t lf =
        hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
    const void* cr = std::memchr(text.data() + p, '\r', lf - p);
    if (cr) {
      const size_t r = static_cast<size_t>(static_cast<const char*>(cr) - text.data());
      list.Add(std::string(text.substr(p, r - p)));
      p = r + 1 == lf ? lf + 1 : r + 1;
      continue;
    }
    list.Add(std::string(text.substr(p, lf - p)));
    p = lf + 1;
  }
}

void ReplaceAllInPlace(std::string& s, std::string_view from, std::string_view to) {
  size_t pos = s.find(from);
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  size_t start = 0;
  while (pos != std::string::npos) {
    out.append(s, start, pos - start);
    out.append(to);
    start = pos + from.size();
    pos = s.find(from, start);
  }
  out.append(s, start);
  s.swap(out);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Text to UTF-8 by a named charset; an unknown charset falls back to the card's file text.
std::string DecodeByCharset(std::string_view bytes, std::string_view charset,
                            const TCustomCard* owner) {
  try {
    return CharsetToUtf8(bytes, charset);
  } catch (const EEncodingError&) {
    return owner ? owner->DecodeFileText(bytes) : DecodeText(bytes);
  }
}

std::string EncodeByCharset(std::string_view utf8, std::string_view charset,
                            const TCustomCard* owner) {
  if (charset.empty())
    return owner ? owner->EncodeFileText(utf8) : Utf8ToCodePage(utf8, SystemAnsiCodePage());
  try {
    return Utf8ToCharset(utf8, charset);
  } catch (const EEncodingError&) {
    return owner ? owner->EncodeFileText(utf8) : std::string(utf8);
  }
}

}  // namespace

// --- quoted-printable ---

std::string TCardEncoderQuotedPrintable::Encode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  // At most nine characters for one input byte (a line break), plus a soft break for every 68
  // written: the text is built in a kept buffer of that size.
  thread_local std::string buffer;
  if (const size_t need = bytes.size() * 9 + bytes.size() / 22 + 16; buffer.size() < need)
    buffer.resize(need);
  char* const begin = buffer.data();
  char* out = begin;
  size_t column = 0;
  size_t start = 0;
  bool firstLine = true;
  while (start <= bytes.size()) {
    size_t lf = bytes.find('\n', start);
    size_t end = lf == std::string_view::npos ? bytes.size() : lf;
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!firstLine) {
      std::memcpy(out, "=0D=0A=\r\n", 9);
      out += 9;
      column = 0;
    }
    firstLine = false;
    for (size_t i = 0; i < line.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      bool last = i + 1 == line.size();
      if (c > 32 && c < 127 && c != '=' && !(c == '.' && column == 0)) {
        *out++ = static_cast<char>(c);
        ++column;
      } else if ((c == ' ' || c == '\t') && !last) {
        *out++ = static_cast<char>(c);
        ++column;
      } else {
        out[0] = '=';
        out[1] = kHex[c >> 4];
        out[2] = kHex[c & 15];
        out += 3;
        column += 3;
      }
      if (column >= 70) {
        std::memcpy(out, "=\r\n", 3);
        out += 3;
        column = 0;
      }
    }
    if (lf == std::string_view::npos) break;
    start = lf + 1;
  }
  return std::string(begin, out);
}

std::string CardDecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '=' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]);
      int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += c;
  }
  return out;
}

// --- TCustomCardItem ---

TCustomCardItem::TCustomCardItem(TCustomCard* owner, TCardItemClass itemClass)
    : FOwner(owner), FClass(itemClass), FFieldDefs(&CardFieldDefs(itemClass)) {}

void TCustomCardItem::ParseCardItem(std::string_view text) {
  TStringList lines;
  lines.SetText(text);
  ParseCardLines(lines.Lines());
}

bool TCustomCardItem::IsFieldEmpty(const TCardProperty& prop) const {
  auto& self = const_cast<TCustomCardItem&>(*this);
  switch (prop.Type) {
    case TCardFieldType::cftString:
      return prop.Text ? prop.TextOf(*this).empty() : prop.Get(*this).GetString().empty();
    case TCardFieldType::cftInteger:
    case TCardFieldType::cftEnumeration:
      return prop.Get(*this).AsInteger() == 0;
    case TCardFieldType::cftBoolean:
      return !prop.Get(*this).AsBoolean();
    case TCardFieldType::cftDate:
    case TCardFieldType::cftDateTime:
    case TCardFieldType::cftTime:
      return !(prop.Get(*this).AsDateTime() > MinDateTime);
    case TCardFieldType::cftStringList:
      return prop.List(self)->Count() == 0;
    case TCardFieldType::cftItemValue:
      return prop.Object(self)->IsEmpty();
    case TCardFieldType::cftVariant:
      return prop.Get(*this).IsNull();
  }
  return true;
}

void TCustomCardItem::ResetField(const TCardProperty& prop) {
  switch (prop.Type) {
    case TCardFieldType::cftString:
      if (prop.Text)
        prop.Text(*this).clear();
      else
        prop.Set(*this, Variant(std::string()));
      break;
    case TCardFieldType::cftInteger:
    case TCardFieldType::cftEnumeration:
      prop.Set(*this, Variant(0));
      break;
    case TCardFieldType::cftBoolean:
      prop.Set(*this, Variant(false));
      break;
    case TCardFieldType::cftDate:
    case TCardFieldType::cftDateTime:
    case TCardFieldType::cftTime:
      prop.Set(*this, Variant::FromDateTime(MinDateTime));
      break;
    case TCardFieldType::cftStringList:
      prop.List(*this)->Clear();
      break;
    case TCardFieldType::cftItemValue:
      prop.Object(*this)->Clear();
      break;
    case TCardFieldType::cftVariant:
      prop.Set(*this, Null());
      break;
  }
}

// --- TCustomTextCardItem: reading ---

bool TCustomTextCardItem::SplitLine(std::string_view line, TPropertyLine& out) const {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view name = line.substr(0, colon);
  out.Value.assign(line.substr(colon + 1));
  size_t semi = name.find(';');
  std::string_view params;
  if (semi != std::string_view::npos) {
    params = name.substr(semi + 1);
    name = name.substr(0, semi);
  }
  // A group prefix ("item1.EMAIL") does not belong to the property name.
  if (size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(dot + 1);
  out.Name.assign(name);
  out.Params.assign(params);
  // Parameters: TYPE lists, CHARSET, ENCODING, NAME=TRUE and bare type names; PREF is dropped.
  size_t start = 0;
  while (start < params.size()) {
    size_t end = params.find(';', start);
    if (end == std::string_view::npos) end = params.size();
    std::string_view p = params.substr(start, end - start);
    start = end + 1;
    if (p.empty()) continue;
    size_t eq = p.find('=');
    if (eq == std::string_view::npos) {
      out.Types.emplace_back(p);
      // vCard 2.1 also names the encoding without "ENCODING=".
      if (out.Encoding.empty() && (IsQuotedPrintable(p) || SameName(p, "BASE64")))
        out.Encoding.assign(p);
      continue;
    }
    std::string_view pname = p.substr(0, eq);
    std::string_view pvalue = p.substr(eq + 1);
    if (SameName(pname, "TYPE")) {
      size_t s = 0;
      while (s <= pvalue.size()) {
        size_t comma = pvalue.find(',', s);
        if (comma == std::string_view::npos) comma = pvalue.size();
        if (comma > s) out.Types.emplace_back(pvalue.substr(s, comma - s));
        s = comma + 1;
      }
    } else if (SameName(pname, "CHARSET")) {
      out.Charset.assign(pvalue);
    } else if (SameName(pname, "ENCODING")) {
      out.Encoding.assign(pvalue);
    } else if (SameText(pvalue, "TRUE")) {
      out.Types.emplace_back(pname);
    }
  }
  std::erase_if(out.Types, [](const std::string& t) { return SameName(t, "PREF"); });
  return true;
}

bool TCustomTextCardItem::IsContinuationLine(std::string_view line) const {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

void TCustomTextCardItem::DecodeValue(const TPropertyLine& line, TCardValue& out) const {
  out.IsBytes = false;
  if (IsBase64(line.Encoding)) {
    out.Data = Base64Decode(line.Value);
    out.IsBytes = true;
    return;
  }
  std::string decoded;
  std::string_view bytes = line.Value;
  if (IsQuotedPrintable(line.Encoding)) {
    decoded = CardDecodeQuotedPrintable(line.Value);
    bytes = decoded;
  }
  if (!line.Charset.empty())
    out.Data = DecodeByCharset(bytes, line.Charset, FOwner);
  else if (IsAscii(bytes))
    out.Data.assign(bytes);  // the same in every charset
  else
    out.Data = FOwner ? FOwner->DecodeFileText(bytes) : DecodeText(bytes);
}

std::string TCustomTextCardItem::UnescapeText(std::string_view value) const {
  std::string s;
  UnescapeTo(value, s);
  return s;
}

void TCustomTextCardItem::UnescapeTo(std::string_view value, std::string& out) {
  out.assign(value);
  if (!HasTextEscapes(value)) return;
  // Without a doubled backslash and without "=0D=0A" every backslash stands alone, and the
  // replacements below come to the same as one pass over the text.
  if (out.find("\\\\") == std::string::npos && out.find("=0D=0A") == std::string::npos) {
    size_t w = 0;
    size_t r = 0;
    while (r < value.size()) {
      const void* hit = std::memchr(value.data() + r, '\\', value.size() - r);
      const size_t b =
          hit ? static_cast<size_t>(static_cast<const char*>(hit) - value.data()) : value.size();
      if (w != r && b > r) std::memcpy(out.data() + w, value.data() + r, b - r);
      w += b - r;
      if (b + 1 >= value.size()) {  // no backslash left, or one at the end that stays
        if (b < value.size()) out[w++] = '\\';
        break;
      }
      const char next = value[b + 1];
      if (next == 'n') {
        out[w++] = '\r';
        out[w++] = '\n';
      } else if (next == ';' || next == ',') {
        out[w++] = next;
      } else {
        out[w++] = '\\';
        out[w++] = next;
      }
      r = b + 2;
    }
    out.resize(w);
    return;
  }
  ReplaceAllInPlace(out, "\\n", "\r\n");
  ReplaceAllInPlace(out, "=0D=0A", "\r\n");
  ReplaceAllInPlace(out, "\\\\", "\\");
  ReplaceAllInPlace(out, "\\;", ";");
  ReplaceAllInPlace(out, "\\,", ",");
}

bool TCustomTextCardItem::HasTextEscapes(std::string_view value) {
  return value.find('\\') != std::string_view::npos ||
         value.find("=0D=0A") != std::string_view::npos;
}

void TCustomTextCardItem::ParseCardLines(std::span<const std::string> lines) {
  // The line and value buffers are kept for the next item parsed on this thread.
  thread_local TPropertyLine pl;
  thread_local TCardValue value;
  const size_t n = lines.size();
  size_t i = 0;
  while (i < n) {
    const std::string& raw = lines[i++];
    if (raw.empty() || raw[0] == ' ' || raw[0] == '\t') continue;
    pl.Types.clear();
    pl.Charset.clear();
    pl.Encoding.clear();
    pl.Base64 = false;
    if (!SplitLine(raw, pl)) continue;
    if (IsQuotedPrintable(pl.Encoding)) {
      // Soft line breaks: a value ending in "=" goes on with the whole next line.
      while (!pl.Value.empty() && pl.Value.back() == '=' && i < n) {
        pl.Value.pop_back();
        pl.Value += lines[i++];
      }
    }
    while (i < n && IsContinuationLine(lines[i])) {
      pl.Value.append(lines[i], 1, std::string::npos);
      ++i;
    }
    try {
      DecodeValue(pl, value);
    } catch (const EConvertError&) {
      continue;  // broken base64 data: the line is skipped like any malformed line
    }
    AssignLine(pl, value);
  }
  AfterParse();
}

const TFieldDef* TCustomTextCardItem::ChooseDefinition(const TPropertyLine& line) const {
  const std::span<const TFieldDef* const> defs = FFieldDefs->ByTag(line.Name);
  auto isEmpty = [this](const TFieldDef& def) {
    for (const TCardProperty* f : def.Fields)
      if (!IsFieldEmpty(*f)) return false;
    return true;
  };
  // Among the definitions whose types all stand on the line, the most specific one wins when its
  // fields are still empty; else the first definition of the tag whose fields are empty.
  const TFieldDef* typeFit = nullptr;
  for (const TFieldDef* def : defs)
    if ((!typeFit || def->Types.size() > typeFit->Types.size()) && def->TypesFit(line.Types))
      typeFit = def;
  if (typeFit && isEmpty(*typeFit)) return typeFit;
  for (const TFieldDef* def : defs)
    if (isEmpty(*def)) return def;
  return typeFit;
}

void TCustomTextCardItem::AssignLine(const TPropertyLine& line, const TCardValue& value) {
  const TFieldDef* def = ChooseDefinition(line);
  if (!def) return;
  if (def->Fields.empty()) {
    ReadSpecialTag(*def, value);
    return;
  }
  // Text without escapes goes to the field as it is; only escaped text is copied to unescape it.
  thread_local std::string unescaped;
  auto assignText = [this](const TCardProperty& prop, std::string_view text) {
    if (HasTextEscapes(text)) {
      UnescapeTo(text, unescaped);
      AssignFieldText(prop, unescaped, false);
    } else {
      AssignFieldText(prop, text, false);
    }
  };
  if (def->Fields.size() == 1 || value.IsBytes) {
    if (value.IsBytes)
      AssignFieldText(*def->Fields[0], value.Data, true);
    else
      assignText(*def->Fields[0], value.Data);
    return;
  }
  // The parts split at ";" that is not preceded by "\", one for each field.
  const std::string_view data = value.Data;
  const size_t count = def->Fields.size();
  size_t k = 0;
  size_t start = 0;
  for (size_t i = 0; i < data.size() && k < count; ++i) {
    if (data[i] == ';' && (i == 0 || data[i - 1] != '\\')) {
      assignText(*def->Fields[k++], data.substr(start, i - start));
      start = i + 1;
    }
  }
  if (k < count) assignText(*def->Fields[k], data.substr(start));
}

void TCustomTextCardItem::ReadSpecialTag(const TFieldDef& /*def*/, const TCardValue& /*value*/) {}

void TCustomTextCardItem::AssignFieldText(const TCardProperty& prop, std::string_view text,
                                          bool isBytes) {
  switch (prop.Type) {
    case TCardFieldType::cftDate:
    case TCardFieldType::cftDateTime:
    case TCardFieldType::cftTime: {
      TDateTime dt = MinDateTime;
      std::string t = Trim(text);
      if (!t.empty()) {
        dt = ISO8601ToDateDef(t, MinDateTime);
        if (dt == MinDateTime && !TryYYYYMMDDToDate(t, dt)) dt = MinDateTime;
      }
      prop.Set(*this, Variant::FromDateTime(dt));
      break;
    }
    case TCardFieldType::cftBoolean:
      prop.Set(*this, Variant(StrToIntDef(Trim(text), 0) == 1));
      break;
    case TCardFieldType::cftInteger:
    case TCardFieldType::cftEnumeration:
      prop.Set(*this, Variant(StrToIntDef(Trim(text), 0)));
      break;
    case TCardFieldType::cftStringList:
      SetListText(*prop.List(*this), text);
      break;
    case TCardFieldType::cftItemValue: {
      TCustomCardItemValue* obj = prop.Object(*this);
      Variant v = isBytes ? Variant::FromBytes(text) : Variant(std::string(text));
      if (auto intf = Supports<ICardItemValue>(obj))
        intf->SetValue(v);
      else
        obj->SetAsVariant(v);
      break;
    }
    case TCardFieldType::cftString:
      if (prop.Text) {
        prop.Text(*this).assign(text);
        break;
      }
      [[fallthrough]];
    case TCardFieldType::cftVariant:
      prop.Set(*this, Variant(std::string(text)));
      break;
  }
}

// --- TCustomTextCardItem: writing ---

std::string TCustomTextCardItem::WriteDate(TDateTime value, const TFieldDef& def) const {
  return WriteDateTime(value, def);
}

std::string TCustomTextCardItem::WriteDateTime(TDateTime value, const TFieldDef& /*def*/) const {
  if (!(value > MinDateTime)) return {};
  return DateToISO8601(value);
}

std::string TCustomTextCardItem::FieldText(const TCardProperty& prop, const TFieldDef& def) const {
  auto& self = const_cast<TCustomTextCardItem&>(*this);
  switch (prop.Type) {
    case TCardFieldType::cftDate:
      return WriteDate(prop.Get(*this).AsDateTime(), def);
    case TCardFieldType::cftDateTime:
    case TCardFieldType::cftTime:
      return WriteDateTime(prop.Get(*this).AsDateTime(), def);
    case TCardFieldType::cftBoolean:
      return WriteBoolean(prop.Get(*this).AsBoolean());
    case TCardFieldType::cftStringList:
      return prop.List(self)->Text();
    case TCardFieldType::cftItemValue:
      return prop.Object(self)->AsText();
    case TCardFieldType::cftString:
      return prop.Get(*this).GetString();
    default:
      return VarToStr(prop.Get(*this));
  }
}

std::string TCustomTextCardItem::EncodeValue(std::string_view value, const std::string& encoding,
                                             const std::string& charset) const {
  if (IsBase64(encoding)) {
    std::string b64 = Base64Encode(value);
    std::string out;
    out.reserve(b64.size() + b64.size() / 75 * 3 + 2);
    for (size_t pos = 0; pos < b64.size(); pos += 75) {
      if (pos) out += "\r\n ";
      out.append(b64, pos, 75);
    }
    out += "\r\n";
    return out;
  }
  // Escapes and, for unencoded text, line breaks in one pass: a CR LF pair, a lone LF or a lone
  // CR become one written line break.
  thread_local std::string buffer;
  const std::string_view trimmed = TrimView(value);
  if (const size_t need = trimmed.size() * 6; buffer.size() < need) buffer.resize(need);
  const bool breaks = encoding.empty();
  const std::string_view br = EscapesNewlines() ? "\\n" : "=0D=0A";
  char* const begin = buffer.data();
  char* out = begin;
  for (size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c == '\\' || c == ';' || c == ',') {
      *out++ = '\\';
      *out++ = c;
    } else if (breaks && (c == '\r' || c == '\n')) {
      out = std::copy(br.begin(), br.end(), out);
      if (c == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
    } else {
      *out++ = c;
    }
  }
  const std::string_view text(begin, static_cast<size_t>(out - begin));
  if (charset.empty() && FOwner && IsAscii(text)) {  // the same in every file charset
    if (IsQuotedPrintable(encoding)) return TCardEncoderQuotedPrintable::Encode(text);
    return std::string(text);
  }
  std::string bytes = EncodeByCharset(text, charset, FOwner);
  if (IsQuotedPrintable(encoding)) return TCardEncoderQuotedPrintable::Encode(bytes);
  return bytes;
}

std::string TCustomTextCardItem::TypeSuffix(const TFieldDef& def) const {
  if (def.Types.empty()) return {};
  return ";TYPE=" + def.TypesCommaText();
}

std::string TCustomTextCardItem::LinePrefix(const TFieldDef& def, const std::string& encoding,
                                            const std::string& charset) const {
  std::string s = def.Tag + TypeSuffix(def);
  if (!encoding.empty()) s += ";ENCODING=" + encoding;
  if (!charset.empty()) s += ";CHARSET=" + charset;
  return s;
}

void TCustomTextCardItem::WriteToDataBuffer(TCardFormatDataBuffer& buffer,
                                            const std::string& /*fileName*/, unsigned kinds) {
  BeforeWrite();
  const int first = buffer.Count();
  const std::string defaultEncoding = DefaultEncoding();
  // Text, lines and item values that are empty give an empty part; a line of such parts only is
  // left out, so it need not be encoded at all.
  auto writesNothing = [this](const TCardProperty* p) {
    const TCardProperty& f = *p;
    switch (f.Type) {
      case TCardFieldType::cftString:
        return f.Text != nullptr && f.TextOf(*this).empty();
      case TCardFieldType::cftStringList:
      case TCardFieldType::cftItemValue:
        return IsFieldEmpty(f);
      default:
        return false;
    }
  };
  std::vector<std::string> parts;
  std::string fieldText;
  for (const auto& defPtr : *FFieldDefs) {
    const TFieldDef& def = *defPtr;
    if (!(kinds & FieldDefKindBit(def.Kind))) continue;
    if (!def.Fields.empty() && std::all_of(def.Fields.begin(), def.Fields.end(), writesNothing))
      continue;
    const std::string& encoding = def.IsText ? defaultEncoding : def.Encoding;
    const std::string& charset = def.Charset;
    parts.clear();
    if (def.Fields.empty()) {
      parts.push_back(GetFixedTagValue(def));
    } else {
      for (const TCardProperty* f : def.Fields) {
        std::string_view text;
        if (f->Type == TCardFieldType::cftString && f->Text) {
          text = f->TextOf(*this);
        } else {
          fieldText = FieldText(*f, def);
          text = fieldText;
        }
        parts.push_back(EncodeValue(text, encoding, charset));
      }
    }
    if (std::all_of(parts.begin(), parts.end(),
                    [](const std::string& p) { return TrimView(p).empty(); }))
      continue;
    std::string line = LinePrefix(def, encoding, charset);
    line += ':';
    for (size_t k = 0; k < parts.size(); ++k) {
      if (k) line += ';';
      line += parts[k];
    }
    buffer.Add(std::move(line));
  }
  if (FoldsOutput()) FoldLines(buffer, first);
}

void TCustomTextCardItem::FoldLines(TCardFormatDataBuffer& buffer, int firstLine) const {
  const char prefix = ContinuationPrefix();
  for (int idx = firstLine; idx < buffer.Count(); ++idx) {
    std::string& entry = buffer[idx];
    if (entry.size() < 76) continue;
    std::string out;
    out.reserve(entry.size() + entry.size() / 25);
    size_t start = 0;
    while (start <= entry.size()) {
      size_t br = entry.find("\r\n", start);
      size_t end = br == std::string::npos ? entry.size() : br;
      std::string_view rest(entry.data() + start, end - start);
      bool firstPiece = true;
      while (true) {
        if (!firstPiece) out += prefix;
        size_t limit = firstPiece ? 75 : 74;
        if (rest.size() + (firstPiece ? 0 : 1) < 76) {
          out.append(rest);
          break;
        }
        // Cut after the 75th character, never inside a UTF-8 sequence.
        size_t cut = limit;
        size_t back = cut;
        while (back > cut - 3 && (static_cast<unsigned char>(rest[back]) & 0xC0) == 0x80)
          --back;
        if (back != cut && (static_cast<unsigned char>(rest[back]) & 0xC0) == 0xC0) cut = back;
        out.append(rest.substr(0, cut));
        out += "\r\n";
        rest.remove_prefix(cut);
        firstPiece = false;
      }
      if (br == std::string::npos) break;
      out += "\r\n";
      start = br + 2;
    }
    entry.swap(out);
  }
}

// --- TVCardImage ---

Variant TVCardImage::AsVariant() const {
  if (FData.empty()) return Null();
  return Variant::FromBytes(FData);
}

void TVCardImage::SetAsVariant(const Variant& value) {
  if (value.IsClear()) {
    FData.clear();
  } else if (value.kind() == Variant::Kind::Bytes) {
    const auto& b = value.GetBytes();
    FData.assign(b.begin(), b.end());
  } else if (value.kind() == Variant::Kind::Interface) {
    if (auto src = Supports<ICardItemValue>(value.GetInterface())) SetAsVariant(src->GetValue());
  } else {
    FData = VarToStr(value);
  }
}

// --- TCustomAddressCardItem ---

TCustomAddressCardItem::TCustomAddressCardItem(TCustomCard* owner, TCardItemClass itemClass)
    : TCustomTextFileNameCardItem(owner, itemClass) {}

bool TCustomAddressCardItem::Reset() {
  for (const TCardProperty& p : Properties())
    ResetField(p);
  FFileName.clear();
  return true;
}

std::string TCustomAddressCardItem::FormattedName() const {
  if (!FFormattedName.empty()) return FFormattedName;
  if (!FirstName.empty() || !LastName.empty()) return Trim(FirstName + " " + LastName);
  return Organization;
}

const TCardPropertyTable& TCustomAddressCardItem::Properties() {
  using C = TCustomAddressCardItem;
  static const TCardPropertyTable table = {
      VC_STR_FIELD(C, FirstName),
      VC_STR_FIELD(C, SecondFirstName),
      VC_STR_FIELD(C, LastName),
      VC_STR_FIELD(C, NickName),
      VC_STR_FIELD(C, Organization),
      VC_STR_PROP(C, FormattedName, FormattedName(), SetFormattedName),
      VC_STR_FIELD(C, Title),
      VC_STR_FIELD(C, Greeting),
      VC_STR_FIELD(C, NamePrefix),
      VC_STR_FIELD(C, Gender),
      VC_STR_FIELD(C, AdrHomeStreetAddress),
      VC_STR_FIELD(C, AdrHomeExtendedAddress),
      VC_STR_FIELD(C, AdrHomePostOfficeBox),
      VC_STR_FIELD(C, AdrHomeCity),
      VC_STR_FIELD(C, AdrHomeRegion),
      VC_STR_FIELD(C, AdrHomePostal),
      VC_STR_FIELD(C, AdrHomeCountry),
      VC_STR_FIELD(C, AdrWorkStreetAddress),
      VC_STR_FIELD(C, AdrWorkExtendedAddress),
      VC_STR_FIELD(C, AdrWorkPostOfficeBox),
      VC_STR_FIELD(C, AdrWorkCity),
      VC_STR_FIELD(C, AdrWorkRegion),
      VC_STR_FIELD(C, AdrWorkPostal),
      VC_STR_FIELD(C, AdrWorkCountry),
      VC_STR_FIELD(C, AdrPostalStreetAddress),
      VC_STR_FIELD(C, AdrPostalExtendedAddress),
      VC_STR_FIELD(C, AdrPostalPostOfficeBox),
      VC_STR_FIELD(C, AdrPostalCity),
      VC_STR_FIELD(C, AdrPostalRegion),
      VC_STR_FIELD(C, AdrPostalPostal),
      VC_STR_FIELD(C, AdrPostalCountry),
      VC_STR_FIELD(C, Role),
      VC_STR_FIELD(C, Email),
      VC_STR_FIELD(C, Email2),
      VC_STR_FIELD(C, Email3),
      VC_STR_FIELD(C, TelHomeVoice),
      VC_STR_FIELD(C, TelHomeCellular),
      VC_STR_FIELD(C, TelHomeFax),
      VC_STR_FIELD(C, TelWorkVoice),
      VC_STR_FIELD(C, TelWorkCellular),
      VC_STR_FIELD(C, TelWorkFax),
      VC_STR_FIELD(C, Url),
      VC_LIST_FIELD(C, Notes),
      VC_LIST_FIELD(C, LabelHome),
      VC_LIST_FIELD(C, LabelWork),
      VC_LIST_FIELD(C, LabelPostal),
      VC_DATE_FIELD(C, Birthday, cftDate, "TDate"),
      VC_OBJ_FIELD(C, Photo, "TVCardImage"),
      VC_STR_FIELD(C, UID),
      VC_STR_FIELD(C, AccessClass),
      VC_DATE_FIELD(C, Revision, cftDateTime, "TDateTime"),
  };
  return table;
}

// --- TVCardItem ---

const TCardItemClassInfo TVCardItem::ClassInfo = {
    "TVCardItem",
    &TCustomAddressCardItem::Properties,
    [](TCustomCard* owner) -> std::unique_ptr<TCustomCardItem> {
      return std::make_unique<TVCardItem>(owner);
    },
    &TVCardItem::GetIsHeaderStart,
    &TVCardItem::GetIsFooterEnd,
    &TVCardItem::BuildFieldDef,
};

TVCardItem::TVCardItem(TCustomCard* owner) : TCustomAddressCardItem(owner, &ClassInfo) {}

bool TVCardItem::GetIsHeaderStart(std::string_view line) {
  return ContainsBoundaryText(line, "BEGIN:VCARD");
}

bool TVCardItem::GetIsFooterEnd(std::string_view line) {
  return ContainsBoundaryText(line, "END:VCARD");
}

void TVCardItem::BuildFieldDef(TCardFieldDefList& l) {
  l.Add("BEGIN", "", fdkHeader, "VCARD", "");
  l.Add("VERSION", "", fdkData, "", "");
  l.Add("UID", "", fdkData, "", "UID");
  l.Add("FN", "", fdkData, "", "FormattedName", "", "", true);
  l.Add("EMAIL", "INTERNET,HOME", fdkData, "", "Email");
  l.Add("EMAIL", "INTERNET,WORK", fdkData, "", "Email2");
  l.Add("EMAIL", "INTERNET", fdkData, "", "Email3");
  l.Add("URL", "", fdkData, "", "Url");
  l.Add("N", "", fdkData, "", "LastName,FirstName,SecondFirstName,Greeting,NamePrefix", "", "",
        true);
  l.Add("NICKNAME", "", fdkData, "", "NickName", "", "", true);
  l.Add("ROLE", "", fdkData, "", "Role", "", "", true);
  l.Add("ORG", "", fdkData, "", "Organization", "", "", true);
  l.Add("NOTE", "", fdkData, "", "Notes", "", "", true);
  for (const char* kind : {"Home", "Work", "Postal"}) {
    std::string k(kind);
    std::string fields = "Adr" + k + "PostOfficeBox,Adr" + k + "ExtendedAddress,Adr" + k +
                         "StreetAddress,Adr" + k + "City,Adr" + k + "Region,Adr" + k +
                         "Postal,Adr" + k + "Country";
    l.Add("ADR", UpperCase(k), fdkData, "", fields, "", "", true);
  }
  l.Add("TEL", "HOME,VOICE", fdkData, "", "TelHomeVoice");
  l.Add("TEL", "HOME,FAX", fdkData, "", "TelHomeFax");
  l.Add("TEL", "HOME,CELL,VOICE", fdkData, "", "TelHomeCellular");
  l.Add("TEL", "WORK,VOICE", fdkData, "", "TelWorkVoice");
  l.Add("TEL", "WORK,FAX", fdkData, "", "TelWorkFax");
  l.Add("TEL", "WORK,CELL,VOICE", fdkData, "", "TelWorkCellular");
  l.Add("BDAY", "", fdkData, "", "Birthday");
  l.Add("LABEL", "HOME", fdkData, "", "LabelHome", "", "", true);
  l.Add("LABEL", "WORK", fdkData, "", "LabelWork", "", "", true);
  l.Add("LABEL", "POSTAL", fdkData, "", "LabelPostal", "", "", true);
  l.Add("PHOTO", "JPEG", fdkData, "", "Photo", "BASE64");
  l.Add("CLASS", "", fdkData, "", "AccessClass");
  l.Add("REV", "", fdkData, "", "Revision");
  l.Add("END", "", fdkFooter, "VCARD", "");
}

bool TVCardItem::Reset() {
  FVersion = vcv21;
  return TCustomAddressCardItem::Reset();
}

TVCardVersion TVCardItem::Version() const {
  if (auto* card = dynamic_cast<TVCard*>(FOwner)) return card->VCardVersion();
  return FVersion;
}

std::string TVCardItem::DefaultEncoding() const {
  return Version() == vcv21 ? "QUOTED-PRINTABLE" : "";
}

std::string TVCardItem::GetFixedTagValue(const TFieldDef& def) const {
  if (SameText(def.Tag, "VERSION")) return Version() == vcv30 ? "3.0" : "2.1";
  return def.FixedValue;
}

void TVCardItem::ReadSpecialTag(const TFieldDef& def, const TCardValue& value) {
  if (!SameText(def.Tag, "VERSION")) return;
  std::string v = Trim(value.Data);
  TVCardVersion version;
  if (v == "2.1")
    version = vcv21;
  else if (v == "3.0")
    version = vcv30;
  else
    return;
  FVersion = version;
  if (auto* card = dynamic_cast<TVCard*>(FOwner)) card->SetVCardVersion(version);
}

std::string TVCardItem::WriteDate(TDateTime value, const TFieldDef& /*def*/) const {
  if (!(value > MinDateTime)) return {};
  return DateToYYYYMMDD(value, false);
}

std::string TVCardItem::WriteDateTime(TDateTime value, const TFieldDef& def) const {
  return CardDateTimeToYYYYMMDDFmt(value, def.DateWithTime, def.DateAsUTC);
}

void TVCardItem::BeforeWrite() {
  if (AccessClass.empty()) AccessClass = "PUBLIC";
  if (Version() == vcv30 && UID.empty()) {
    std::string g = GUIDToString(CreateGUID());
    UID = g.substr(1, g.size() - 2);
  }
}

// --- TLDifItem ---

const TCardItemClassInfo TLDifItem::ClassInfo = {
    "TLDifItem",
    &TCustomAddressCardItem::Properties,
    [](TCustomCard* owner) -> std::unique_ptr<TCustomCardItem> {
      return std::make_unique<TLDifItem>(owner);
    },
    &TLDifItem::GetIsHeaderStart,
    &TLDifItem::GetIsFooterEnd,
    &TLDifItem::BuildFieldDef,
};

TLDifItem::TLDifItem(TCustomCard* owner) : TCustomAddressCardItem(owner, &ClassInfo) {}

bool TLDifItem::GetIsHeaderStart(std::string_view line) {
  return ContainsBoundaryText(line, "dn:");
}

void TLDifItem::BuildFieldDef(TCardFieldDefList& /*list*/) {}

bool TLDifItem::SplitLine(std::string_view line, TPropertyLine& out) const {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  out.Name.assign(line.substr(0, colon));
  out.Params.clear();
  size_t valueStart = colon + 1;
  if (valueStart < line.size() && line[valueStart] == ':') {
    out.Base64 = true;
    ++valueStart;
  }
  out.Value.assign(line.substr(valueStart));
  return true;
}

void TLDifItem::DecodeValue(const TPropertyLine& line, TCardValue& out) const {
  out.IsBytes = false;
  std::string bytes = line.Base64 ? Base64Decode(line.Value) : line.Value;
  if (!line.Charset.empty())
    out.Data = DecodeByCharset(bytes, line.Charset, FOwner);
  else
    out.Data = DecodeText(bytes);
}

namespace {

// Appends an LDIF value to a field: old "\n" new, trimmed, line breaks to ";", with a leading
// ";" and a lone trailing ";" removed.
void AppendLdifValue(std::string& field, std::string_view value) {
  std::string s = Trim(field + "\\n" + std::string(value));
  ReplaceAllInPlace(s, "\r\n", ";");
  ReplaceAllInPlace(s, "\\n", ";");
  if (!s.empty() && s.front() == ';') s.erase(0, 1);
  if (!s.empty() && s.back() == ';' && s.find(';') == s.size() - 1) s.pop_back();
  field = std::move(s);
}

}  // namespace

void TLDifItem::AssignLine(const TPropertyLine& line, const TCardValue& value) {
  const std::string name = UpperCase(line.Name);
  const std::string& v = value.Data;
  struct TSetRule {
    const char* Name;
    std::string TCustomAddressCardItem::*Field;
    bool Append;
  };
  static const TSetRule kRules[] = {
      {"CN", &TLDifItem::FFormattedName, false},
      {"MAIL", &TCustomAddressCardItem::Email, true},
      {"GIVENNAME", &TCustomAddressCardItem::FirstName, false},
      {"SN", &TCustomAddressCardItem::LastName, false},
      {"UID", &TCustomAddressCardItem::NickName, false},
      {"HOMEPOSTALADDRESS", &TCustomAddressCardItem::AdrHomeStreetAddress, true},
      {"HOMELOCATION", &TCustomAddressCardItem::AdrHomeCity, false},
      {"HOMEPOSTALCODE", &TCustomAddressCardItem::AdrHomePostal, false},
      {"HOMECOUNTRY", &TCustomAddressCardItem::AdrHomeCountry, false},
      {"HOMEPHONE", &TCustomAddressCardItem::TelHomeVoice, false},
      {"MOBILE", &TCustomAddressCardItem::TelHomeCellular, false},
      {"O", &TCustomAddressCardItem::Organization, false},
      {"STREETADDRESS", &TCustomAddressCardItem::AdrWorkStreetAddress, true},
      {"LOCATION", &TCustomAddressCardItem::AdrWorkCity, false},
      {"POSTALCODE", &TCustomAddressCardItem::AdrWorkPostal, false},
      {"C", &TCustomAddressCardItem::AdrWorkCountry, false},
      {"TITLE", &TCustomAddressCardItem::Role, false},
      {"TELEPHONENUMBER", &TCustomAddressCardItem::TelWorkVoice, false},
      {"FACSIMILETELEPHONENUMBER", &TCustomAddressCardItem::TelWorkFax, false},
  };
  for (const TSetRule& r : kRules) {
    if (name != r.Name) continue;
    if (r.Append)
      AppendLdifValue(this->*r.Field, v);
    else
      this->*r.Field = v;
    return;
  }
  if (name == "HOMEURL") {
    if (!v.empty()) Url = v;
  } else if (name == "URL") {
    if (!v.empty() && Url.empty()) Url = v;
  } else if (name == "DESCRIPTION") {
    Notes.SetText(v);
  }
}

namespace {

// The local time of writing an entry, formatted once for each second: the conversion to local
// time looks the time zone up on every call.
const std::string& LdifTimeStamp() {
  thread_local int64_t second = INT64_MIN;
  thread_local std::string stamp;
  const TDateTime utc = NowUTC();
  const int64_t now = DateTimeToMSecs(utc) / 1000;
  if (now != second) {
    stamp = FormatDateTime("yyyymmdd\"T\"hhnnss", UTCToLocal(utc));
    second = now;
  }
  return stamp;
}

// Plain when every character but the last lies between 32 and 127; otherwise base64 of UTF-8.
bool LdifPlain(std::string_view value) {
  size_t i = 0;
  while (i < value.size()) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    if (i + len >= value.size()) break;  // the last character is not looked at
    if (c < 32 || c > 127) return false;
    i += len;
  }
  return true;
}

}  // namespace

void TLDifItem::WriteToDataBuffer(TCardFormatDataBuffer& buffer, const std::string& fileName,
                                  unsigned /*kinds*/) {
  if (!fileName.empty()) FFileName = fileName;
  auto attr = [&](std::string_view name, std::string_view rawValue) {
    const std::string_view value = TrimView(rawValue);
    if (value.empty()) return;
    std::string line;
    line.reserve(name.size() + 3 + value.size());
    line.append(name);
    if (LdifPlain(value)) {
      line += ": ";
      if (FOwner && !IsAscii(value))
        line += FOwner->EncodeFileText(value);
      else
        line.append(value);
    } else {
      line += ":: ";
      line += Base64Encode(value);
    }
    buffer.Add(std::move(line));
  };
  const std::string fn = FormattedName();
  attr("version", "1");
  attr("dn", fn);
  attr("cn", fn);
  attr("mail", Email);
  attr("modifyTimeStamp", LdifTimeStamp());
  attr("givenName", FirstName);
  attr("sn", LastName);
  attr("uid", NickName);
  attr("homePostalAddress", AdrHomeStreetAddress);
  attr("homeLocation", AdrHomeCity);
  attr("homePostalCode", AdrHomePostal);
  attr("homeCountry", AdrHomeCountry);
  attr("homePhone", TelHomeVoice);
  attr("mobile", TelHomeCellular);
  attr("o", Organization);
  attr("streetAddress", AdrWorkStreetAddress);
  attr("location", AdrWorkCity);
  attr("postalCode", AdrWorkPostal);
  attr("c", AdrWorkCountry);
  attr("title", Role);
  attr("telephoneNumber", TelWorkVoice);
  attr("facsimileTelephoneNumber", TelWorkFax);
  attr("URL", Url);
  attr("comment", Notes.Text());
  attr("objectclass", "top");
  attr("objectclass", "person");
  buffer.Add(std::string());
}

// --- registry ---

void RegisterStandardCardItemClasses() {
  RegisterCardItemClass(&TVCardItem::ClassInfo);
  RegisterCardItemClass(&TLDifItem::ClassInfo);
  RegisterCardItemClass(&TVCalendarItem::ClassInfo);
}

}  // namespace vela
