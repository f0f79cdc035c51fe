// The record reader: the splitter, fitting, fixed-width cutting, sub-schemas and conversions.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ImportEngine/_XMLTextImport.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/RtlTestSupport.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {
namespace {

using namespace textschema;
using Rows = std::vector<std::vector<std::string>>;

// The conversions run under the default format settings: '.' and "yyyy/mm/dd".
using SettingsGuard = FormatSettingsGuard;

TDataSchema* AddDelimited(TDataSchemas& schemas, const std::string& name, int fields,
                          const std::string& sep = ";", char32_t quote = U'"',
                          TImportDataType type = idtString) {
  TDataSchema* s = schemas.Add();
  s->SetSchemaName(name);
  s->SetSeparatedFile(true);
  s->SetFieldSeparator(sep);
  s->SetQuoteChar(quote);
  for (int i = 0; i < fields; ++i) {
    TImportFieldDef* f = s->FieldsDef().Add();
    f->SetFieldName(name + "_f" + std::to_string(i + 1));
    f->SetDataType(type);
  }
  return s;
}

TSubSchemaLink* AddLink(TDataSchema* from, int field, const std::string& value, TDataSchema* to) {
  TSubSchemaLink* l = from->SubSchemaLinks().Add();
  l->SetField(from->FieldsDef().Items(field));
  l->SetFieldValue(value);
  l->SetDataSchema(to);
  return l;
}

// Collects what the reader reports.
struct Recorder {
  TXMLTextImport Import;
  Rows Records;
  std::vector<std::string> Schemas;
  std::vector<int> RecNos;
  std::vector<std::string> Errors;
  int Starts = 0, Ends = 0;

  Recorder() {
    TImportData& d = Import.ImportData();
    d.SetOnStartImport([this](TImportData*, TDataSchema* s) {
      EXPECT_EQ(s, nullptr);
      ++Starts;
    });
    d.SetOnEndImport([this](TImportData*, TDataSchema*) { ++Ends; });
    d.SetOnStartRecord([this](TImportData*, TDataSchema* s, int recNo) {
      Records.emplace_back();
      Schemas.push_back(s->SchemaName());
      RecNos.push_back(recNo);
    });
    d.SetOnField([this](TImportData*, TDataSchema*, int, const std::string& v, TImportFieldDef*) {
      Records.back().push_back(v);
    });
    d.SetOnRecordFields([this](TImportData*, TDataSchema*, int, const TImportValues& values) {
      EXPECT_EQ(values.ToVector(), Records.back());  // the converted values are stored back
    });
    d.SetOnError([this](TImportData*, TImportFieldDef* f, std::string& v, const Exception& e,
                        int recNo, TErrorType type) {
      Errors.push_back(Format("%d|%s|%s|%d|%s", recNo, f ? f->FieldName() : std::string("-"), v,
                              static_cast<int>(type), e.Message()));
    });
  }
  Rows Run(const std::string& data, TDataSchema* schema, size_t blockSize = 64 * 1024) {
    Records.clear();
    Import.ImportData().SetBlockSize(blockSize);
    TStringStream s(data);
    Import.ImportData().StartImport(s, schema);
    return Records;
  }
};

// ---------------------------------------------------------------------------------------------
// splitter

TEST(TextSplitter, Cases) {
  struct Case {
    const char *line, *sep, *quote;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"a;'b;c';'say ''hi'''", ";", "'", {"a", "b;c", "say 'hi'"}},
      {"a;;c", ";", "\"", {"a", "", "c"}},
      {"a;b;", ";", "\"", {"a", "b"}},  // an empty last field adds no value
      {";", ";", "\"", {""}},
      {"", ";", "\"", {}},
      {"\"\";x", ";", "\"", {"", "x"}},            // empty quoted field
      {"\"a\"\"b\";c", ";", "\"", {"a\"b", "c"}},  // doubled quote inside quotes
      {"a\"\"b", ";", "\"", {"a\"b"}},             // doubled quote outside quotes
      {"x\"y;z\";w", ";", "\"", {"xy;z", "w"}},    // a quote in the middle opens quoting
      {"\"open;end", ";", "\"", {"open;end"}},     // never closed
      {"a,b;c", ",", "\"", {"a", "b;c"}},
      {"a;b", ";;", "\"", {"a;b"}},  // only a one-character separator matches
      {"a;b", "", "\"", {"a;b"}},
      {"a§b§»c§d»", "§", "»", {"a", "b", "c§d"}},  // multi-byte separator and quote
      {"''''", ";", "'", {"''"}},
      // Three quotes before the separator close, reopen and close: the doubled quote is lost.
      {"\"a \"\"b\"\"\";c", ";", "\"", {"a \"b", "c"}},
      {"'''';x", ";", "'", {"'", "x"}},  // run of 4 before the separator
      {"a;\"b;c\";d;\"e\"", ";", "\"", {"a", "b;c", "d", "e"}},
      {"\"x\"y;z", ";", "\"", {"xy", "z"}},  // text after the closing quote
      {"a;\"\"", ";", "\"", {"a", "\""}},    // a pair at the end of the line is one quote
  };
  for (const Case& c : cases) {
    TImportValues v;
    v.Add() = "stale";
    v.Clear();
    SplitDelimitedLine(c.line, c.sep, c.quote, v);
    EXPECT_EQ(v.ToVector(), c.values) << c.line;
  }
}

TEST(TextSplitter, QuotedFieldDataParity) {
  // One-character quotes: test_line_reading.cpp joins the lines of open quoted fields.
  EXPECT_EQ(std::pair(IsInQuotedFieldData("»x", "»"), IsInQuotedFieldData("»x»y", "»")),
            std::pair(true, false));
}

// ---------------------------------------------------------------------------------------------
// lines and records (every chunking, and record numbers that count logical lines:
// test_line_reading.cpp)

TEST(TextReader, TabSeparatedLineLosesItsLeadingEmptyField) {
  Recorder r;
  TDataSchema* s = AddDelimited(r.Import.DataSchemas(), "t", 3, "\t");
  EXPECT_EQ(r.Run("\tb\tc\nx\t\tz\n", s), (Rows{{"b", "c", ""}, {"x", "", "z"}}));
}

// ---------------------------------------------------------------------------------------------
// fixed width

TEST(TextReader, FixedWidthColumns) {
  Recorder r;
  TDataSchema* s = r.Import.DataSchemas().Add();
  const int cols[][2] = {{1, 3}, {4, 5}, {20, 5}, {-1, 2}, {2, 0}};
  for (const auto& c : cols) {
    TImportFieldDef* f = s->FieldsDef().Add();
    f->SetFieldName("c" + std::to_string(c[0]));
    f->SetStartOffset(c[0]);
    f->SetLength(c[1]);
    f->SetDataType(idtString);
  }
  EXPECT_EQ(r.Run("001Anna  x\n002J\xC3\xBCrgenXY\n\n 7 \"q\";\n", s),
            (Rows{{"001", "Anna", "", "00", ""},
                  {"002", "Jürge", "", "00", ""},  // columns are characters
                  {"", "", "", "", ""},
                  {"7", "\"q\";", "", "7", ""}}));  // no quoting in fixed-width files
  // Characters of two, three and four bytes, a column running past the end of the line.
  EXPECT_EQ(r.Run("ä€😀bcdefghijklmnopqrsuvwxé\nä€😀bcdefghijklmnopqrsé\n", s),
            (Rows{{"ä€😀", "bcdef", "rsuvw", "ä€", ""}, {"ä€😀", "bcdef", "rsé", "ä€", ""}}));
}

// ---------------------------------------------------------------------------------------------
// sub-schemas

TEST(TextReader, SubSchemasByValueStarAndUndefined) {
  Recorder r;
  TDataSchemas& schemas = r.Import.DataSchemas();
  TDataSchema* main = AddDelimited(schemas, "main", 2);
  TDataSchema* head = AddDelimited(schemas, "head", 2);
  TDataSchema* pos = AddDelimited(schemas, "pos", 3);
  AddLink(main, 0, "H", head);
  AddLink(main, 0, "P;x", pos);  // never matches: values are cut at ';' first
  AddLink(main, 0, "P", pos);
  AddLink(main, 0, "X", nullptr);
  const Rows rows = r.Run("H;Shop\nP,5,6\nP;7\nX;?\nZ;zz\n", main);
  EXPECT_EQ(rows, (Rows{{"H", "Shop"}, {"P,5,6", ""}, {"P", "7", ""}, {"Z", "zz"}}));
  EXPECT_EQ(r.Schemas, (std::vector<std::string>{"head", "main", "pos", "main"}));
  EXPECT_EQ(r.RecNos, (std::vector<int>{1, 2, 3, 5}));
  EXPECT_EQ(r.Errors, std::vector<std::string>{"4|main_f1|X|2|SubSchema on schema 'main' not "
                                               "defined. Value of link: 'X' Value of field: 'X'"});

  // "*" matches every value.
  TDataSchema* star = AddDelimited(schemas, "star", 1);
  AddLink(star, 0, "*", head);
  r.Schemas.clear();
  r.Run("anything;1\n;2\n", star);
  EXPECT_EQ(r.Schemas, (std::vector<std::string>{"head", "head"}));
}

TEST(TextReader, SubSchemaSplitsTheUntrimmedLine) {
  Recorder r;
  TDataSchema* main = AddDelimited(r.Import.DataSchemas(), "main", 1, "\t");
  AddLink(main, 0, "k", AddDelimited(r.Import.DataSchemas(), "sub", 3, "\t"));
  // Trimmed, the line starts with "k"; the sub-schema sees the leading empty field again.
  EXPECT_EQ(r.Run("\tk\tv\n", main), (Rows{{"", "k", "v"}}));
}

// A chain s0 -> s1 -> ... -> sN, every link matching.
Rows RunChain(int switches, Recorder& r, std::string* error) {
  TDataSchemas& schemas = r.Import.DataSchemas();
  std::vector<TDataSchema*> chain;
  for (int i = 0; i <= switches; ++i)
    chain.push_back(AddDelimited(schemas, "s" + std::to_string(i), 1));
  for (int i = 0; i < switches; ++i)
    AddLink(chain[i], 0, "*", chain[i + 1]);
  try {
    return r.Run("v\n", chain[0]);
  } catch (const Exception& e) {
    *error = e.Message();
    return r.Records;
  }
}

TEST(TextReader, TwentyEightSubSchemaSwitchesButNotTwentyNine) {
  Recorder r, r2;
  std::string error, error2;
  EXPECT_EQ(RunChain(28, r, &error), (Rows{{"v"}}));
  EXPECT_EQ(error, "");
  EXPECT_EQ(r.Schemas, (std::vector<std::string>{"s28"}));
  EXPECT_TRUE(RunChain(29, r2, &error2).empty());
  std::string expected = "Too many subschemas - this looks like a bad configuration! Stack: ";
  for (int i = 0; i <= 29; ++i)
    expected += "\n\rs" + std::to_string(i);
  EXPECT_EQ(error2, expected);
  EXPECT_EQ(r2.Ends, 1);  // the end event fires also when the import fails
}

TEST(TextReader, SchemaWithoutFieldsSkipsLines) {
  Recorder r;
  TDataSchema* s = AddDelimited(r.Import.DataSchemas(), "none", 0);
  EXPECT_TRUE(r.Run("a;b\nc\n", s).empty());
}

// ---------------------------------------------------------------------------------------------
// conversions

TEST(TextReader, ConversionsByType) {
  SettingsGuard settings;
  struct Case {
    TImportDataType type;
    TImportFloatFormat fmt;
    const char *mask, *in, *out;  // out nullptr: conversion error
  };
  const TImportFloatFormat comma{2, U','}, implied2{2, 0}, implied0{0, 0}, dot{2, U'.'};
  const Case cases[] = {
      {idtInteger, {}, "", "1,234", "1234"},
      {idtInteger, {}, "", "-17", "-17"},
      {idtInteger, {}, "", "", nullptr},
      {idtInteger, {}, "", "12a", nullptr},
      {idtInteger, {}, "", "9223372036854775807", "9223372036854775807"},
      {idtFloat, comma, "", "1234,5", "1234.5"},
      {idtFloat, comma, "", "1.234,5", nullptr},  // joined to 1.234.5
      {idtFloat, comma, "", "", nullptr},
      {idtFloat, dot, "", "3.14159265358979323", "3.14159265358979"},
      {idtFloat, implied2, "", "", nullptr},
      {idtFloat, implied0, "", "42", "42"},
      {idtDate, {}, "dd.mm.yyyy", "31.01.2024", "2024/01/31"},
      {idtDate, {}, "yymmdd", "240131", "0024/01/31"},  // a two-digit year stays below 100
      {idtDate, {}, "yyyymmdd", "20241301", nullptr},
      {idtDate, {}, "yyyymmdd", "00000000", nullptr},
      {idtDate, {}, "YYYYMMDD", "20240131", nullptr},  // lower-case letters only
      {idtDate, {}, "yyyymmdd", "2024", nullptr},
      {idtString, {}, "", " as is ", " as is "},
      {idtUnknown, {}, "", "1,5", "1,5"},
  };
  TDataSchemas schemas;
  TDataSchema* s = schemas.Add();
  TImportFieldDef* f = s->FieldsDef().Add();
  for (const Case& c : cases) {
    f->SetDataType(c.type);
    f->SetFloatFormat(c.fmt);
    f->SetDateFormat(c.mask);
    std::string value = c.in, error;
    const bool ok = TImportData::ConvertValue(*f, value, error);
    if (c.out) {
      EXPECT_TRUE(ok) << c.in << ": " << error;
      EXPECT_EQ(value, c.out) << c.in;
    } else {
      EXPECT_FALSE(ok) << c.in << " gave " << value;
      EXPECT_EQ(value, c.in);
      EXPECT_FALSE(error.empty());
    }
  }
}

// A converted date is written exactly as DateToStr writes it, in every short date format: plain
// numbers with separators, names, quoted text, nested formats and times.
TEST(TextReader, DatesFollowTheShortDateFormat) {
  SettingsGuard settings;
  const char* const formats[] = {"dd.mm.yyyy",   "d/m/yy",    "m/d/yyyy",    "yyyy-mm-dd",
                                 "yy/m/d",       "ddmmyyyy",  "yyy/mm",      "d-mmm-yyyy",
                                 "dddd, d mmmm", "dd\"x\"mm", "ddddd",       "c",
                                 "dd:mm",        "d 'of' m",  "mm/dd hh:nn", "ay"};
  const char separators[] = {'/', '.', '-'};
  const char* const inputs[] = {"20240131", "00010101", "99991231", "20000229", "19050607"};
  TDataSchemas schemas;
  TImportFieldDef* f = schemas.Add()->FieldsDef().Add();
  f->SetDataType(idtDate);
  f->SetDateFormat("yyyymmdd");
  for (const char* format : formats) {
    for (char sep : separators) {
      FormatSettings.ShortDateFormat = format;
      FormatSettings.DateSeparator = sep;
      for (const char* in : inputs) {
        const std::string text(in);
        const TDateTime expected =
            EncodeDate(std::stoi(text.substr(0, 4)), std::stoi(text.substr(4, 2)),
                       std::stoi(text.substr(6, 2)));
        std::string value = in, error;
        ASSERT_TRUE(TImportData::ConvertValue(*f, value, error)) << in << ": " << error;
        EXPECT_EQ(value, DateToStr(expected)) << format << " " << sep << " " << in;
      }
    }
  }
}

// A converted number is written exactly as FloatToStr writes the value read: zeros dropped,
// the exponent form for very large and very small values, 15 significant digits.
TEST(TextReader, FloatsFollowTheGeneralFormat) {
  SettingsGuard settings;
  // Inputs separated by "|".
  const std::string inputs =
      "0|-0|0.00|-0.00|5|-5|12.50|1200|1200.00|1200.05|007.5|-000.0500|0.1|0.001|0.0001|0.00001|"
      "0.000012345|123456789012345|1234567890123456|999999999999999|1000000000000000|"
      "12345678901234567890|99999999999999.9|0.123456789012345|0.1234567890123456|939316.94|"
      "-99999.99|1.|.5|-|1e5|1.2.3|+5| 5|5 |1,5||-.5";
  TDataSchemas schemas;
  TImportFieldDef* f = schemas.Add()->FieldsDef().Add();
  f->SetDataType(idtFloat);
  f->SetFloatFormat(TImportFloatFormat{2, U'.'});
  for (char dec : {'.', ','}) {
    FormatSettings.DecimalSeparator = dec;
    FormatSettings.ThousandSeparator = dec == '.' ? ',' : '.';
    for (size_t b = 0, e = 0; e != std::string::npos; b = e + 1) {
      e = inputs.find('|', b);
      const std::string in = inputs.substr(b, e - b);
      std::string value = in, error;
      const bool ok = TImportData::ConvertValue(*f, value, error);
      std::string text = in;  // the schema's separator (the first) becomes the system's
      double v = 0;
      const size_t p = in.find('.');
      if (p != std::string::npos) text[p] = dec;
      const bool expectedOk = TryStrToFloat(text, v);
      ASSERT_EQ(ok, expectedOk) << in << " with " << dec;
      if (ok)
        EXPECT_EQ(value, FloatToStr(v)) << in << " with " << dec;
      else
        EXPECT_EQ(value, in);
    }
  }
  // Implied decimals take the same way; a value shorter than the precision is all fraction.
  f->SetFloatFormat(TImportFloatFormat{2, 0});
  FormatSettings.DecimalSeparator = '.';
  for (const char* in : {"12345", "-100", "5", "000", "1234567890123456"}) {
    std::string value = in, error;
    ASSERT_TRUE(TImportData::ConvertValue(*f, value, error)) << in;
    std::string text = in;
    const size_t split = text.size() >= 2 ? text.size() - 2 : 0;
    text.insert(split, ".");
    EXPECT_EQ(value, FloatToStr(StrToFloat(text))) << in;
  }
}

TEST(TextReader, ConversionErrorsAreReportedPerRecordAndFieldStillFires) {
  SettingsGuard settings;
  Recorder r;
  TDataSchema* s = AddDelimited(r.Import.DataSchemas(), "n", 2);
  s->FieldsDef().Items(1)->SetDataType(idtInteger);
  EXPECT_EQ(r.Run("a;\nb;1,000\nc;\n", s), (Rows{{"a", ""}, {"b", "1000"}, {"c", ""}}));
  EXPECT_EQ(r.Errors, (std::vector<std::string>{"1|n_f2||1|'' is not a valid integer value",
                                                "3|n_f2||1|'' is not a valid integer value"}));

  // The handler may change the value that OnField then reports.
  r.Import.ImportData().SetOnError([](TImportData*, TImportFieldDef*, std::string& v,
                                      const Exception&, int, TErrorType) { v = "0"; });
  EXPECT_EQ(r.Run("a;x\n", s), (Rows{{"a", "0"}}));
}

TEST(TextReader, ZeroDatesCanBeQuiet) {
  SettingsGuard settings;
  Recorder r;
  TDataSchema* s = AddDelimited(r.Import.DataSchemas(), "d", 1, ";", U'"', idtDate);
  const std::string data = "00000000\n0000 000\n20240230\n";
  r.Run(data, s);
  EXPECT_EQ(r.Errors.size(), 3u);
  r.Errors.clear();
  r.Import.ImportData().SetNoWarnOnZeroDate(true);
  EXPECT_EQ(r.Run(data, s), (Rows{{"00000000"}, {"0000 000"}, {"20240230"}}));
  EXPECT_EQ(r.Errors, std::vector<std::string>{"3|d_f1|20240230|1|'20240230' is not a valid date"});
}

TEST(TextReader, AbortEndsQuietlyAndOtherErrorsLeave) {
  Recorder r;
  TDataSchema* s = AddDelimited(r.Import.DataSchemas(), "a", 1);
  int seen = 0;
  r.Import.ImportData().SetOnStartRecord([&](TImportData*, TDataSchema*, int recNo) {
    if (recNo == 2) Abort();
    ++seen;
  });
  r.Import.ImportData().SetOnField(nullptr);
  r.Import.ImportData().SetOnRecordFields(nullptr);
  EXPECT_NO_THROW(r.Run("1\n2\n3\n", s));
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(r.Ends, 1);

  r.Import.ImportData().SetOnStartRecord(
      [](TImportData*, TDataSchema*, int) { throw EConvertError("boom"); });
  EXPECT_THROW(r.Run("1\n", s), EConvertError);
  EXPECT_EQ(r.Ends, 2);
  EXPECT_THROW(r.Import.ImportData().StartImport(std::string("/nonexistent/x.txt"), s),
               EFOpenError);
  EXPECT_EQ(r.Ends, 3);
  EXPECT_EQ(r.Starts, 3);  // one start and one end event per import, whatever happens
}

// The repository's sample schema and data, which the README imports.
TEST(TextReader, RepositorySampleIsInTheWritersFormAndImportsCleanly) {
  SettingsGuard settings;
  const std::string dir = VELA_TEST_DATA_DIR "/../../samples/";
  Recorder r;
  TDataSchemas& schemas = r.Import.DataSchemas();
  schemas.LoadSchemasFromFile(dir + "custom/addresses.tic");
  TMemoryStream raw;
  raw.LoadFromFile(dir + "custom/addresses.tic");
  EXPECT_EQ(schemas.SchemasToText(), std::string(raw.Memory(), static_cast<size_t>(raw.Size())));

  r.Import.ImportData().StartImport(dir + "addresses.csv", schemas.SchemaByName("addresses"));
  EXPECT_TRUE(r.Errors.empty()) << r.Errors[0];
  ASSERT_EQ(r.Records.size(), 4u);
  EXPECT_EQ(r.Records[1],
            (std::vector<std::string>{"O'Neil", "Sean", "12 Harbour Road; Flat 3", "D02 X285",
                                      "Dublin", "IE", "1979/11/02", "-20"}));
  EXPECT_EQ(r.Records[2][2], "Rue de la Paix \"Le Coin\" 4");
}

}  // namespace
}  // namespace vela
