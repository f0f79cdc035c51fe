#include "ImportEngine/_XMLTextImport.h"

#include <algorithm>
#include <cstring>

#include "ImportEngine/_xmlTree.h"
#include "rtl/CodePages.h"
#include "rtl/DateUtils.h"
#include "rtl/LineReader.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

std::string CharToUtf8(char32_t c) {
  std::string out;
  AppendUtf8(out, c);
  return out;
}

using namespace textschema;

namespace {

constexpr const char* kDataTypeNames[] = {"idtUnknown", "idtString", "idtInteger", "idtFloat",
                                          "idtDate"};

// The first character of a UTF-8 text; Default when the text is empty.
char32_t FirstChar(std::string_view s, char32_t Default) noexcept {
  if (s.empty()) return Default;
  size_t i = 0;
  return NextUtf8CodePoint(s, i);
}

// Walks a line character by character (a character starts at every byte that is not a UTF-8
// continuation byte), so that fixed-width columns need no table of character offsets.
struct TCharCursor {
  size_t Char = 0;  // character number
  size_t Byte = 0;  // where it starts
};

// The byte offset of character Target, Line.size() when the line has fewer characters. The
// cursor moves forward; a target before it starts again from the beginning of the line.
size_t ByteOfChar(std::string_view Line, TCharCursor& Cursor, size_t Target) noexcept {
  const auto continuation = [&](size_t b) {
    return (static_cast<unsigned char>(Line[b]) & 0xC0) == 0x80;
  };
  if (Target < Cursor.Char || (Cursor.Char == 0 && Cursor.Byte == 0)) {
    Cursor = {};
    while (Cursor.Byte < Line.size() && continuation(Cursor.Byte))
      ++Cursor.Byte;
  }
  while (Cursor.Char < Target && Cursor.Byte < Line.size()) {
    ++Cursor.Byte;
    while (Cursor.Byte < Line.size() && continuation(Cursor.Byte))
      ++Cursor.Byte;
    ++Cursor.Char;
  }
  return Cursor.Char == Target ? Cursor.Byte : Line.size();
}

// Cuts a fixed-width line: per field the trimmed text from column StartOffset (1-based) of
// Length characters; columns beyond the line give shorter or empty values.
void CutFixedWidth(std::string_view Line, const TDataSchema& Schema, TImportValues& Values) {
  const bool ascii = IsAscii(Line);
  TCharCursor cursor;
  const TImportFieldsDef& fields = Schema.FieldsDef();
  for (int i = 0; i < fields.Count(); ++i) {
    const TImportFieldDef& f = *fields.Items(i);
    std::string& value = Values.Add();
    const int64_t start = std::max<int64_t>(f.StartOffset(), 1) - 1;
    const int64_t len = f.Length();
    if (len <= 0) continue;
    const size_t s = static_cast<size_t>(start);
    const size_t n = static_cast<size_t>(len);
    if (ascii) {
      if (s >= Line.size()) continue;
      value.assign(TrimView(Line.substr(s, std::min(Line.size() - s, n))));
    } else {
      const size_t b = ByteOfChar(Line, cursor, s);
      if (b >= Line.size()) continue;
      const size_t e = ByteOfChar(Line, cursor, s + n);
      value.assign(TrimView(Line.substr(b, e - b)));
    }
  }
}

// Cuts a line by the schema's rules and fits the values to its fields.
void SplitBySchema(std::string_view Line, const TDataSchema& Schema, const std::string& Quote,
                   TImportValues& Values) {
  if (Schema.SeparatedFile()) {
    SplitDelimitedLine(Line, Schema.FieldSeparator(), Quote, Values);
    Values.Fit(Schema.FieldsDef().Count());
  } else {
    CutFixedWidth(Line, Schema, Values);
  }
}

// Appends continuation lines while the line ends inside an open quoted field. The end of the data
// ends the record as it is.
void ReadContinuation(TLineReader& Reader, std::string& Line, std::string_view Quote,
                      std::string& Next) {
  bool open = IsInQuotedFieldData(Line, Quote);
  while (open && Reader.ReadLine(Next)) {
    Line += "\r\n";
    Line += Next;
    if (IsInQuotedFieldData(Next, Quote)) open = !open;
  }
}

bool ConsistsOfZerosAndBlanks(std::string_view s) noexcept {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == '0' || c == ' '; });
}

// The text of Value at the columns from the first to the last occurrence of Letter in Mask.
std::string_view MaskPart(std::string_view Value, std::string_view Mask, char Letter) noexcept {
  const size_t first = Mask.find(Letter);
  if (first == std::string_view::npos || first >= Value.size()) return {};
  const size_t last = Mask.rfind(Letter);
  return Value.substr(first, last - first + 1);
}

// FloatToStr(StrToFloat(Text)) for a plain decimal number ("-123.45": sign, digits, decimal
// separator, digits) of at most 15 significant digits that the general format writes without
// exponent; such a number survives the trip through double digit for digit, so only zeros
// are dropped. False, with Out unchanged, for anything else.
bool FormatPlainNumber(std::string_view Text, char Dec, std::string& Out) {
  size_t i = 0;
  const bool negative = !Text.empty() && Text[0] == '-';
  if (negative) ++i;
  const size_t intStart = i;
  while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9')
    ++i;
  const size_t intEnd = i;
  size_t fracStart = i, fracEnd = i;
  if (i < Text.size() && Text[i] == Dec) {
    fracStart = ++i;
    while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9')
      ++i;
    fracEnd = i;
    if (fracEnd == fracStart) return false;
  }
  if (i != Text.size() || intEnd == intStart) return false;
  // The significant digits: integer and fraction digits without leading and trailing zeros;
  // exponent: the position of the decimal separator after the first of them.
  std::string_view intPart = Text.substr(intStart, intEnd - intStart);
  std::string_view fracPart = Text.substr(fracStart, fracEnd - fracStart);
  int exponent = static_cast<int>(intPart.size());
  while (!intPart.empty() && intPart[0] == '0') {
    intPart.remove_prefix(1);
    --exponent;
  }
  if (intPart.empty()) {
    while (!fracPart.empty() && fracPart[0] == '0') {
      fracPart.remove_prefix(1);
      --exponent;
    }
  }
  while (!fracPart.empty() && fracPart.back() == '0')
    fracPart.remove_suffix(1);
  if (fracPart.empty())
    while (!intPart.empty() && intPart.back() == '0')
      intPart.remove_suffix(1);
  const size_t len = intPart.size() + fracPart.size();
  if (len == 0 || len > 15 || exponent > 15 || exponent < -3) return false;
  char digits[16];
  std::memcpy(digits, intPart.data(), intPart.size());
  std::memcpy(digits + intPart.size(), fracPart.data(), fracPart.size());
  Out.clear();
  if (negative) Out.push_back('-');
  if (exponent <= 0) {
    Out.push_back('0');
    Out.push_back(Dec);
    Out.append(static_cast<size_t>(-exponent), '0');
    Out.append(digits, len);
    return true;
  }
  const size_t e = static_cast<size_t>(exponent);
  const size_t intLen = std::min(len, e);
  Out.append(digits, intLen);
  Out.append(e - intLen, '0');
  if (len > e) {
    Out.push_back(Dec);
    Out.append(digits + e, len - e);
  }
  return true;
}

bool ConvertFloat(const TImportFloatFormat& Fmt, std::string& Value, std::string& AError,
                  std::optional<TImportParsedValue>* Parsed) {
  std::string text;
  const char dec = FormatSettings.DecimalSeparator;
  if (Fmt.DecimalSeparator != 0) {
    const std::string sep = CharToUtf8(Fmt.DecimalSeparator);
    const size_t p = Value.find(sep);
    if (p == std::string::npos) {
      text = Value;
    } else {
      text.reserve(Value.size());
      text.append(Value, 0, p);
      text.push_back(dec);
      text.append(Value, p + sep.size());
    }
  } else {
    // Implied decimals: the last Precision characters are the fraction.
    size_t split = Value.size();
    for (int32_t k = 0; k < Fmt.Precision && split > 0; ++k) {
      --split;
      while (split > 0 && (static_cast<unsigned char>(Value[split]) & 0xC0) == 0x80)
        --split;
    }
    text.reserve(Value.size() + 1);
    text.append(Value, 0, split);
    text.push_back(dec);
    text.append(Value, split);
  }
  if (!FormatPlainNumber(text, dec, Value)) {
    double v = 0;
    if (!TryStrToFloat(text, v)) {
      AError = "'" + text + "' is not a valid floating point value";
      return false;
    }
    Value = FloatToStr(v);
  }
  if (Parsed) {
    // The written text, read as the receiver would read it.
    double v = 0;
    if (TryStrToFloat(Value, v)) Parsed->emplace().Number = v;
  }
  return true;
}

// Writes v (not negative) in decimal before End, padded with zeros to Width digits (at most
// ten); returns the first digit's position.
char* PutPadded(char* End, int v, int Width) {
  char* p = End;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0 && End - p < 10);
  while (End - p < Width && End - p < 10)
    *--p = '0';
  return p;
}

// DateToStr of a valid date for the usual short date formats (day, month and year numbers,
// the date separator and other punctuation), as the general formatter writes them but without
// its per-call setup; false, with Out unspecified, for formats with names, quotes or times.
bool FormatShortDate(int Year, int Month, int Day, std::string& Out) {
  const std::string& fmt = FormatSettings.ShortDateFormat;
  // Each format letter writes at most ten digits; the text is put together here first.
  if (fmt.empty() || fmt.size() > 24) return false;
  char text[256];
  char* out = text;
  auto put = [&out](int v, int Width) {
    char digits[10];
    char* const end = digits + sizeof digits;
    const char* p = PutPadded(end, v, Width);
    while (p < end)
      *out++ = *p++;
  };
  for (size_t i = 0; i < fmt.size();) {
    const char c = fmt[i];
    const char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    if (u >= 'A' && u <= 'Z') {
      size_t n = 1;
      while (i + n < fmt.size() && (fmt[i + n] == u || fmt[i + n] == u + 32))
        ++n;
      switch (u) {
        case 'Y':
          if (n <= 2)
            put(Year % 100, 2);
          else
            put(Year, 4);
          break;
        case 'M':
          if (n > 2) return false;
          put(Month, static_cast<int>(n));
          break;
        case 'D':
          if (n > 2) return false;
          put(Day, static_cast<int>(n));
          break;
        default:
          return false;
      }
      i += n;
      continue;
    }
    if (c == '"' || c == '\'' || c == ':') return false;
    *out++ = c == '/' ? FormatSettings.DateSeparator : c;
    ++i;
  }
  Out.assign(text, out);
  return true;
}

// Whether TryStrToDate reads every date that FormatShortDate writes back as the same date
// with the current settings (not so for two-digit years, for instance). Tried with a few dates
// across the calendar once per date format and separator.
bool ShortDatesReadBack() {
  static thread_local std::string key;
  static thread_local bool result = false;
  const std::string& fmt = FormatSettings.ShortDateFormat;
  const char sep = FormatSettings.DateSeparator;
  if (key.size() == fmt.size() + 1 && key.back() == sep && key.compare(0, fmt.size(), fmt) == 0)
    return result;
  key = fmt;
  key += sep;
  static constexpr int kDates[][3] = {{1, 1, 1},     {99, 12, 31},  {1899, 12, 30}, {1900, 2, 28},
                                      {1969, 7, 20}, {2000, 2, 29}, {2024, 1, 5},   {2049, 12, 31},
                                      {2050, 1, 1},  {9999, 12, 31}};
  std::string text;
  result = true;
  for (const auto& d : kDates) {
    TDateTime dt = 0, back = 0;
    if (!TryEncodeDate(d[0], d[1], d[2], dt) || !FormatShortDate(d[0], d[1], d[2], text) ||
        !TryStrToDate(text, back) || back != dt) {
      result = false;
      break;
    }
  }
  return result;
}

// StrToIntDef(Text, 0), read directly where Text is one to nine plain digits.
int DatePartNumber(std::string_view Text) {
  if (Text.empty() || Text.size() > 9) return StrToIntDef(Text, 0);
  int v = 0;
  for (const char c : Text) {
    if (c < '0' || c > '9') return StrToIntDef(Text, 0);
    v = v * 10 + (c - '0');
  }
  return v;
}

bool ConvertDate(std::string_view Mask, std::string& Value, std::string& AError,
                 std::optional<TImportParsedValue>* Parsed) {
  const int year = DatePartNumber(MaskPart(Value, Mask, 'y'));
  const int month = DatePartNumber(MaskPart(Value, Mask, 'm'));
  const int day = DatePartNumber(MaskPart(Value, Mask, 'd'));
  TDateTime dt = 0;
  if (!TryEncodeDate(year, month, day, dt)) {
    AError = "'" + Value + "' is not a valid date";
    return false;
  }
  // Value's own buffer is reused: the day, month and year digits are read already.
  if (!FormatShortDate(year, month, day, Value))
    Value = DateToStr(dt);
  else if (Parsed && ShortDatesReadBack())
    Parsed->emplace().Number = dt;
  return true;
}

void WriteDataFormats(std::string& s, const std::string& ADateFormat,
                      const TImportFloatFormat& AFloatFormat) {
  s += "<dataformats>";
  if (!ADateFormat.empty()) s += "<idtDate fmtstr=\"" + XMLEscapeAttribute(ADateFormat) + "\" />";
  if (AFloatFormat.IsSet()) {
    s += "<idtFloat prec=\"" + XMLEscapeAttribute(std::to_string(AFloatFormat.Precision)) +
         "\" decsep=\"" + XMLEscapeAttribute(CharToUtf8(AFloatFormat.DecimalSeparator)) + "\" />";
  }
  s += "</dataformats>";
}

void ReadDataFormats(const TXMLNode* ANode, std::string& ADateFormat,
                     TImportFloatFormat& AFloatFormat) {
  if (!ANode) return;
  if (const TXMLNode* d = ANode->getNamedNode("idtDate")) {
    const TXMLAttribute* a = d->getNamedAttribute("fmtstr");
    ADateFormat = a ? a->Value() : std::string();
  }
  if (const TXMLNode* f = ANode->getNamedNode("idtFloat")) {
    const TXMLAttribute* prec = f->getNamedAttribute("prec");
    const TXMLAttribute* sep = f->getNamedAttribute("decsep");
    AFloatFormat.Precision = StrToInt(prec ? std::string_view(prec->Value()) : std::string_view());
    AFloatFormat.DecimalSeparator = sep ? FirstChar(sep->Value(), 0) : 0;
  }
}

const std::string& AttrText(const TXMLNode& ANode, std::string_view AName) {
  static const std::string kEmpty;
  const TXMLAttribute* a = ANode.getNamedAttribute(AName);
  return a ? a->Value() : kEmpty;
}

int32_t AttrInt(const TXMLNode& ANode, std::string_view AName) {
  return StrToIntDef(AttrText(ANode, AName), -1);
}

bool AttrFlag(const TXMLNode& ANode, std::string_view AName) {
  return AttrText(ANode, AName) == "1";
}

const char* FlagText(bool AValue) {
  return AValue ? "1" : "0";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// names and characters

const char* textschema::ImportDataTypeName(TImportDataType AType) noexcept {
  const int i = static_cast<int>(AType);
  return i >= 0 && i <= 4 ? kDataTypeNames[i] : kDataTypeNames[0];
}

TImportDataType textschema::ImportDataTypeFromName(std::string_view AName) noexcept {
  for (int i = 0; i <= 4; ++i)
    if (AName == kDataTypeNames[i]) return static_cast<TImportDataType>(i);
  return idtUnknown;
}

// ---------------------------------------------------------------------------------------------
// splitting

void SplitDelimitedLine(std::string_view Line, std::string_view Separator, std::string_view Quote,
                        TImportValues& Values) {
  const size_t qn = Quote.size();
  const size_t sn = Utf8Length(Separator) == 1 ? Separator.size() : 0;
  const char q0 = qn ? Quote[0] : '\0';
  const char s0 = sn ? Separator[0] : '\0';
  const char* p = Line.data();
  const char* const end = p + Line.size();
  auto isQuote = [&](const char* x) {
    return qn && static_cast<size_t>(end - x) >= qn && std::memcmp(x, Quote.data(), qn) == 0;
  };
  auto isSep = [&](const char* x) {
    return sn && static_cast<size_t>(end - x) >= sn && std::memcmp(x, Separator.data(), sn) == 0;
  };

  std::string* buf = &Values.Add();
  // One-byte separator and quote: a field is taken whole where no quote character needs
  // resolving (no quote at all, or one quoted run closed right before the separator or the end
  // of the line). The first other field goes the general way below, from its start.
  if (sn == 1 && qn <= 1 && q0 != s0) {
    for (;;) {
      const char* fieldEnd;
      if (qn && p < end && *p == q0) {
        const char* close = static_cast<const char*>(std::memchr(p + 1, q0, end - p - 1));
        // "" at the end of the line is one literal quote.
        if (!close || (close + 1 < end ? close[1] != s0 : close == p + 1)) break;
        buf->assign(p + 1, close);
        fieldEnd = close + 1;
      } else {
        const char* stop = static_cast<const char*>(std::memchr(p, s0, end - p));
        fieldEnd = stop ? stop : end;
        if (qn && std::memchr(p, q0, fieldEnd - p)) break;
        buf->assign(p, fieldEnd);
      }
      if (fieldEnd == end) {
        p = end;
        break;
      }
      buf = &Values.Add();
      p = fieldEnd + 1;
    }
  }
  bool inQuotes = false;
  while (p < end) {
    // Plain characters in one piece.
    const char* r = p;
    if (inQuotes || !sn) {
      while (r < end && *r != q0)
        ++r;
    } else {
      while (r < end && *r != q0 && *r != s0)
        ++r;
    }
    if (r != p) {
      buf->append(p, r);
      p = r;
      continue;
    }
    if (isQuote(p)) {
      size_t run = 0;
      const char* x = p;
      while (isQuote(x)) {
        ++run;
        x += qn;
      }
      const bool beforeSep = isSep(x);
      // An odd run toggles; two quotes before the separator close an empty quoted field; any
      // other pair is one literal quote.
      while (run > 0) {
        if ((run & 1) || (run == 2 && beforeSep)) {
          inQuotes = !inQuotes;
          --run;
        } else {
          buf->append(Quote);
          run -= 2;
        }
      }
      p = x;
    } else if (!inQuotes && isSep(p)) {
      buf = &Values.Add();
      p += sn;
    } else {
      buf->push_back(*p++);
    }
  }
  if (buf->empty()) Values.Pop();
}

bool IsInQuotedFieldData(std::string_view Line, std::string_view Quote) {
  if (Quote.empty()) return false;
  size_t n = 0;
  if (Quote.size() == 1) {
    // Most lines hold no quote or a few: jump from one to the next.
    const char* p = Line.data();
    const char* const end = p + Line.size();
    while ((p = static_cast<const char*>(std::memchr(p, Quote[0], end - p))) != nullptr) {
      ++n;
      ++p;
    }
  } else {
    for (size_t p = Line.find(Quote); p != std::string_view::npos;
         p = Line.find(Quote, p + Quote.size()))
      ++n;
  }
  return (n & 1) != 0;
}

// ---------------------------------------------------------------------------------------------
// fields, links, schemas

int TImportFieldDef::Index() const noexcept {
  return FCollection ? FCollection->IndexOf(this) : -1;
}

const std::string& TImportFieldDef::DateFormat() const noexcept {
  if (!FDateFormat.empty() || !FCollection || !FCollection->OwnerSchema()) return FDateFormat;
  return FCollection->OwnerSchema()->DefaultDateFormat();
}

const TImportFloatFormat& TImportFieldDef::FloatFormat() const noexcept {
  if (FFloatFormat.IsSet() || !FCollection || !FCollection->OwnerSchema()) return FFloatFormat;
  return FCollection->OwnerSchema()->DefaultFloatFormat();
}

TImportFieldDef* TImportFieldsDef::ByName(std::string_view AFieldName) const noexcept {
  for (const auto& f : FItems)
    if (f->FieldName() == AFieldName) return f.get();
  return nullptr;
}

int TSubSchemaLink::Index() const noexcept {
  return FCollection ? FCollection->IndexOf(this) : -1;
}

TDataSchema::TDataSchema(TDataSchemas* ACollection)
    : FCollection(ACollection), FFieldsDef(this), FSubSchemaLinks(this) {}

int TDataSchema::Index() const noexcept {
  return FCollection ? FCollection->IndexOf(this) : -1;
}

void TDataSchema::AutoAddFields(const std::string& DataFile) {
  if (!FSeparatedFile || FHasPreDefinedFields) return;
  FFieldsDef.Clear();
  TFileStream file(DataFile, fmOpenRead | fmShareDenyWrite);
  if (file.Size() == 0) return;
  TLineReader reader(file);
  std::string line, next;
  if (!reader.ReadLine(line)) return;
  const std::string quote = CharToUtf8(FQuoteChar);
  ReadContinuation(reader, line, quote, next);
  TImportValues values;
  SplitDelimitedLine(line, FFieldSeparator, quote, values);
  for (int i = 0; i < values.Count(); ++i) {
    TImportFieldDef* f = FFieldsDef.Add();
    f->SetFieldName("field" + std::to_string(i + 1));
    f->SetDescr(values[i]);
    f->SetDataType(idtString);
  }
}

TDataSchema* TDataSchemas::Add() {
  TDataSchema* s = AddItem(std::make_unique<TDataSchema>(this));
  s->SetDefaultDateFormat("yyyymmdd");
  s->SetDefaultFloatFormat(TImportFloatFormat{2, 0});
  return s;
}

TDataSchema* TDataSchemas::SchemaByName(std::string_view ASchemaName) const noexcept {
  for (const auto& s : FItems)
    if (s->SchemaName() == ASchemaName) return s.get();
  return nullptr;
}

TDataSchema* TDataSchemas::SchemaByFileExt(std::string_view AFileExt) const noexcept {
  for (const auto& s : FItems)
    if (s->FileExt() == AFileExt) return s.get();
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// schema files

std::string TDataSchemas::SchemasToText() const {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?><dataschemas>";
  for (const auto& schema : FItems) {
    s += "<schema name=\"" + XMLEscapeAttribute(schema->SchemaName()) + "\" descr=\"" +
         XMLEscapeAttribute(schema->Descr()) + "\" fext=\"" +
         XMLEscapeAttribute(schema->FileExt()) + "\" type=\"" +
         (schema->SeparatedFile() ? "s" : "f") + "\"";
    if (schema->SeparatedFile()) {
      s += "  fs=\"" + XMLEscapeAttribute(schema->FieldSeparator()) + "\"  qo=\"" +
           XMLEscapeAttribute(CharToUtf8(schema->QuoteChar())) + "\"";
    }
    s += "  hs=\"";
    s += FlagText(schema->HasSettings());
    s += "\" fih=\"";
    s += FlagText(schema->FirstRowIsHeader());
    s += "\" cfe=\"";
    s += FlagText(schema->CheckFileExt());
    s += "\" uffd=\"";
    s += FlagText(schema->UseFormatForDialog());
    s += "\" fur=\"";
    s += FlagText(schema->FileNameIsUserReadable());
    s += "\" uid=\"" + XMLEscapeAttribute(schema->UID()) + "\" fgn=\"" +
         XMLEscapeAttribute(schema->UniqueFieldGroupName()) + "\">";
    WriteDataFormats(s, schema->DefaultDateFormat(), schema->DefaultFloatFormat());

    s += "<fields>";
    const TImportFieldsDef& fields = schema->FieldsDef();
    for (int i = 0; i < fields.Count(); ++i) {
      const TImportFieldDef& f = *fields.Items(i);
      const std::string name = f.FieldName().empty() ? std::string("unknown") : f.FieldName();
      s += "<" + name + " descr=\"" + XMLEscapeAttribute(f.Descr()) + "\"";
      if (!schema->SeparatedFile()) {
        s += " so=\"" + XMLEscapeAttribute(std::to_string(f.StartOffset())) + "\" ln=\"" +
             XMLEscapeAttribute(std::to_string(f.Length())) + "\"";
      }
      s += " dt=\"";
      s += ImportDataTypeName(f.DataType());
      s += "\"";
      if (f.OwnDateFormat().empty() && !f.OwnFloatFormat().IsSet()) {
        s += " />";
      } else {
        s += ">";
        WriteDataFormats(s, f.OwnDateFormat(), f.OwnFloatFormat());
        s += "</" + name + ">";
      }
    }
    s += "</fields><subschemalinks>";
    const TSubSchemaLinks& links = schema->SubSchemaLinks();
    for (int i = 0; i < links.Count(); ++i) {
      const TSubSchemaLink& l = *links.Items(i);
      const int fld = l.Field() ? l.Field()->Index() : l.FieldIndex();
      const int ds = l.DataSchema() ? l.DataSchema()->Index() : -1;
      s += "<link fld=\"" + XMLEscapeAttribute(std::to_string(fld)) + "\" fldval=\"" +
           XMLEscapeAttribute(l.FieldValue()) + "\" ds=\"" +
           XMLEscapeAttribute(std::to_string(ds)) + "\" />";
    }
    s += "</subschemalinks></schema>";
  }
  s += "</dataschemas>";
  return s;
}

void TDataSchemas::SaveSchemasToStream(TStream& AStream) const {
  AStream.WriteString(Utf8ToCodePage(SchemasToText(), SystemAnsiCodePage()));
}

void TDataSchemas::SaveSchemasToFile(const std::string& FileName) const {
  TFileStream file(FileName, fmCreate);
  SaveSchemasToStream(file);
}

void TDataSchemas::LoadSchemasFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadSchemasFromStream(file);
}

void TDataSchemas::LoadSchemasFromStream(TStream& AStream) {
  AStream.SetPosition(0);
  TXMLTree tree;
  tree.LoadFromStream(AStream);
  const TXMLNode* declaration = tree.firstChild();
  const TXMLNode* document = declaration ? declaration->firstChild() : nullptr;
  if (!document) throw Exception("Can't load ImportSchemas: invalid format!");
  for (int i = 0; i < document->NodeCountDirect(); ++i)
    LoadSchema(*document->Nodes(i));
  ResolveLinks();
}

void TDataSchemas::LoadSchema(const TXMLNode& ANode) {
  TDataSchema* s = Add();
  s->SetSchemaName(AttrText(ANode, "name"));
  s->SetDescr(AttrText(ANode, "descr"));
  s->SetFileExt(AttrText(ANode, "fext"));
  s->SetUID(AttrText(ANode, "uid"));
  s->SetUniqueFieldGroupName(AttrText(ANode, "fgn"));
  s->SetHasSettings(AttrFlag(ANode, "hs"));
  s->SetFirstRowIsHeader(AttrFlag(ANode, "fih"));
  s->SetCheckFileExt(AttrFlag(ANode, "cfe"));
  s->SetUseFormatForDialog(AttrFlag(ANode, "uffd"));
  s->SetFileNameIsUserReadable(AttrFlag(ANode, "fur"));
  if (AttrText(ANode, "type") == "s") {
    s->SetSeparatedFile(true);
    s->SetFieldSeparator(AttrText(ANode, "fs"));
    s->SetQuoteChar(FirstChar(AttrText(ANode, "qo"), U'"'));
  } else {
    s->SetSeparatedFile(false);
    s->SetFieldSeparator({});
    s->SetQuoteChar(U'"');
  }

  std::string dateFormat = s->DefaultDateFormat();
  TImportFloatFormat floatFormat = s->DefaultFloatFormat();
  ReadDataFormats(ANode.getNamedNode("dataformats"), dateFormat, floatFormat);
  s->SetDefaultDateFormat(std::move(dateFormat));
  s->SetDefaultFloatFormat(floatFormat);

  if (const TXMLNode* fields = ANode.getNamedNode("fields")) {
    for (int i = 0; i < fields->NodeCountDirect(); ++i) {
      const TXMLNode& fn = *fields->Nodes(i);
      TImportFieldDef* f = s->FieldsDef().Add();
      f->SetFieldName(fn.Name());
      f->SetDescr(AttrText(fn, "descr"));
      f->SetStartOffset(AttrInt(fn, "so"));
      f->SetLength(AttrInt(fn, "ln"));
      f->SetDataType(ImportDataTypeFromName(AttrText(fn, "dt")));
      std::string ownDate;
      TImportFloatFormat ownFloat;
      ReadDataFormats(fn.getNamedNode("dataformats"), ownDate, ownFloat);
      f->SetDateFormat(std::move(ownDate));
      f->SetFloatFormat(ownFloat);
    }
  }
  s->SetHasPreDefinedFields(s->FieldsDef().Count() > 0);

  if (const TXMLNode* links = ANode.getNamedNode("subschemalinks")) {
    for (int i = 0; i < links->NodeCountDirect(); ++i) {
      const TXMLNode& ln = *links->Nodes(i);
      TSubSchemaLink* l = s->SubSchemaLinks().Add();
      l->SetFieldIndex(AttrInt(ln, "fld"));
      l->SetDataSchemaIndex(AttrInt(ln, "ds"));
      l->SetFieldValue(AttrText(ln, "fldval"));
    }
  }
}

void TDataSchemas::ResolveLinks() {
  for (const auto& s : FItems) {
    TSubSchemaLinks& links = s->SubSchemaLinks();
    for (int i = 0; i < links.Count(); ++i) {
      TSubSchemaLink* l = links.Items(i);
      if (!l->Field() && l->FieldIndex() > -1) l->SetField(s->FieldsDef().Items(l->FieldIndex()));
      if (!l->DataSchema() && l->DataSchemaIndex() > -1)
        l->SetDataSchema(Items(l->DataSchemaIndex()));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// reading records

bool TImportData::ConvertValue(const TImportFieldDef& AField, std::string& Value,
                               std::string& AError, std::optional<TImportParsedValue>* Parsed) {
  if (Parsed) Parsed->reset();
  switch (AField.DataType()) {
    case idtInteger: {
      const char ts = FormatSettings.ThousandSeparator;
      int64_t v = 0;
      if (ts != '\0' && Value.find(ts) != std::string::npos) {
        std::string text = Value;
        text.erase(std::remove(text.begin(), text.end(), ts), text.end());
        if (!TryStrToInt64(text, v)) {
          AError = "'" + text + "' is not a valid integer value";
          return false;
        }
        Value = std::move(text);
      } else if (!TryStrToInt64(Value, v)) {
        AError = "'" + Value + "' is not a valid integer value";
        return false;
      }
      if (Parsed) Parsed->emplace().Int = v;
      return true;
    }
    case idtFloat:
      return ConvertFloat(AField.FloatFormat(), Value, AError, Parsed);
    case idtDate:
      return ConvertDate(AField.DateFormat(), Value, AError, Parsed);
    default:
      return true;
  }
}

void TImportData::ReportConversion(TImportFieldDef* AField, std::string& Value, int ARecNo) {
  std::string error;
  if (ConvertValue(*AField, Value, error, &FParsed)) return;
  if (AField->DataType() == idtDate && FNoWarnOnZeroDate && ConsistsOfZerosAndBlanks(Value)) return;
  if (FOnError) FOnError(this, AField, Value, EConvertError(error), ARecNo, ierRecord);
}

void TImportData::StartImport(const std::string& DataFile, TDataSchema* DataSchema) {
  if (FOnStartImport) FOnStartImport(this, FCurrentDataSchema);
  try {
    TFileStream file(DataFile, fmOpenRead | fmShareDenyWrite);
    ReadRecords(file, DataSchema);
  } catch (const EAbort&) {
    // A cancel ends the import normally.
  } catch (...) {
    if (FOnEndImport) FOnEndImport(this, FCurrentDataSchema);
    throw;
  }
  if (FOnEndImport) FOnEndImport(this, FCurrentDataSchema);
}

void TImportData::StartImport(TStream& Data, TDataSchema* DataSchema) {
  if (FOnStartImport) FOnStartImport(this, FCurrentDataSchema);
  try {
    ReadRecords(Data, DataSchema);
  } catch (const EAbort&) {
  } catch (...) {
    if (FOnEndImport) FOnEndImport(this, FCurrentDataSchema);
    throw;
  }
  if (FOnEndImport) FOnEndImport(this, FCurrentDataSchema);
}

void TImportData::ReadRecords(TStream& Data, TDataSchema* DataSchema) {
  TLineReader reader(Data, FCodePage, FBlockSize);
  std::string line, next, quote;
  int recNo = 0;
  FRecordLine = 0;
  while (reader.ReadLine(line)) {
    ++recNo;
    FRecordLine = reader.LineNumber();
    FValues.Clear();
    TDataSchema* schema = DataSchema;
    if (schema->SeparatedFile()) {
      quote = CharToUtf8(schema->QuoteChar());
      ReadContinuation(reader, line, quote, next);
      SplitDelimitedLine(TrimView(line), schema->FieldSeparator(), quote, FValues);
      FValues.Fit(schema->FieldsDef().Count());
    } else {
      CutFixedWidth(line, *schema, FValues);
    }

    // Sub-schemas: the first link whose value matches (or is "*") switches the schema.
    int guard = 30;
    FSchemaStack.clear();
    FSchemaStack.push_back(schema);
    bool skipLine = false;
    for (;;) {
      if (--guard == 0) {
        std::string msg = "Too many subschemas - this looks like a bad configuration! Stack: ";
        for (const TDataSchema* s : FSchemaStack)
          msg += "\n\r" + s->SchemaName();
        throw Exception(msg);
      }
      const TSubSchemaLinks& links = schema->SubSchemaLinks();
      TSubSchemaLink* match = nullptr;
      std::string_view fieldValue;
      for (int i = 0; i < links.Count(); ++i) {
        TSubSchemaLink* l = links.Items(i);
        const int idx = l->Field() ? l->Field()->Index() : -1;
        const std::string_view v =
            idx >= 0 && idx < FValues.Count() ? std::string_view(FValues[idx]) : std::string_view();
        if (l->FieldValue() == v || l->FieldValue() == "*") {
          match = l;
          fieldValue = v;
          break;
        }
      }
      if (!match) break;
      if (match->DataSchema()) {
        FValues.Clear();
        schema = match->DataSchema();
        FSchemaStack.push_back(schema);
        quote = CharToUtf8(schema->QuoteChar());
        SplitBySchema(line, *schema, quote, FValues);
        continue;
      }
      if (FOnError) {
        std::string value(fieldValue);
        const Exception e("SubSchema on schema '" + schema->SchemaName() + "'" +
                          " not defined. Value of link: '" + match->FieldValue() + "'" +
                          " Value of field: '" + value + "'");
        FOnError(this, match->Field(), value, e, recNo, ierSchema);
      }
      skipLine = true;
      break;
    }
    if (skipLine || FValues.IsEmpty()) continue;

    if (FOnStartRecord) FOnStartRecord(this, schema, recNo);
    const TImportFieldsDef& fields = schema->FieldsDef();
    for (int i = 0; i < FValues.Count(); ++i) {
      TImportFieldDef* field = fields.Items(i);
      ReportConversion(field, FValues[i], recNo);
      if (FOnField) FOnField(this, schema, recNo, FValues[i], field);
    }
    if (FOnRecordFields) FOnRecordFields(this, schema, recNo, FValues);
    if (FOnEndRecord) FOnEndRecord(this, schema, recNo);
  }
}

// ---------------------------------------------------------------------------------------------

TXMLTextImport::TXMLTextImport()
    : FDataSchemas(std::make_unique<TDataSchemas>()),
      FImportData(std::make_unique<TImportData>(this)) {}

TXMLTextImport::~TXMLTextImport() = default;

}  // namespace vela
