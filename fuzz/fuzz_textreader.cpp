// Reads arbitrary bytes as a text data file: the line reader must give the same lines in every
// block size (for the same encoding decision), and the record reader must not fail other than
// with the runtime's exceptions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ImportEngine/_XMLTextImport.h"
#include "rtl/Exceptions.h"
#include "rtl/LineReader.h"
#include "rtl/Streams.h"

namespace {

std::vector<std::string> Lines(const std::string& text, size_t block,
                               vela::TTextLineEncoding& enc) {
  vela::TStringStream s(text);
  vela::TLineReader reader(s, 1252, block);
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadLine(line))
    lines.push_back(line);
  enc = reader.Encoding();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Four bytes of set-up: separator, quote, field count and types, block size.
  const char sep = static_cast<char>(data[0] % 4 == 0 ? '\t' : ";,|"[data[0] % 3]);
  const char32_t quote = data[1] % 2 ? U'"' : U'\'';
  const int fields = data[2] % 6;
  const size_t block = 1 + data[3] % 9;
  const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);

  vela::TTextLineEncoding small, large;
  const auto a = Lines(text, block, small);
  const auto b = Lines(text, 64 * 1024, large);
  if (small == large && a != b) __builtin_trap();

  vela::TXMLTextImport imp;
  vela::TDataSchemas& schemas = imp.DataSchemas();
  vela::TDataSchema* main = schemas.Add();
  main->SetSchemaName("main");
  main->SetSeparatedFile(data[2] & 0x80 ? false : true);
  main->SetFieldSeparator(std::string(1, sep));
  main->SetQuoteChar(quote);
  for (int i = 0; i < fields; ++i) {
    vela::TImportFieldDef* f = main->FieldsDef().Add();
    f->SetFieldName("f" + std::to_string(i));
    f->SetDataType(static_cast<vela::textschema::TImportDataType>((data[2] / 8 + i) % 5));
    f->SetStartOffset(1 + i * 3);
    f->SetLength(3 + (data[3] >> 4));
  }
  if (fields > 0) {
    // A link back to the schema itself on one value exercises the guard.
    vela::TSubSchemaLink* l = main->SubSchemaLinks().Add();
    l->SetField(main->FieldsDef().Items(0));
    l->SetFieldValue("x");
    l->SetDataSchema(data[3] & 1 ? main : nullptr);
  }
  int values = 0;
  imp.ImportData().SetOnField([&](vela::TImportData*, vela::TDataSchema*, int, const std::string&,
                                  vela::TImportFieldDef*) { ++values; });
  imp.ImportData().SetBlockSize(block);
  try {
    vela::TStringStream s(text);
    imp.ImportData().StartImport(s, main);
  } catch (const vela::Exception&) {
  }
  return 0;
}
