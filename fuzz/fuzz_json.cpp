// Parses arbitrary bytes as JSON, looks a path up, converts the result to text and HTML, and
// checks that writing the document back and parsing it again gives the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "converters/falder.Tools.JSONConverter.h"
#include "platform/json/JsonValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  // The first line is a path, the rest the document.
  const size_t nl = raw.find('\n');
  const std::string_view path =
      nl == std::string_view::npos ? std::string_view() : raw.substr(0, nl);
  const std::string_view text = nl == std::string_view::npos ? raw : raw.substr(nl + 1);
  vela::TJsonValue doc;
  try {
    doc = vela::TJsonValue::Parse(text);
  } catch (const vela::EJsonParserException& e) {
    if (e.Offset() > text.size() || e.Line() < 1 || e.Column() < 1) __builtin_trap();
    return 0;
  }
  try {
    (void)doc.Find(path);
  } catch (const vela::EJsonException&) {
  }
  std::string out;
  vela::TFalderJSONConverter::ConvertToText(doc, out);
  vela::TFalderJSONConverter::ConvertToHTML(doc, out);
  const std::string written = doc.ToJSON();
  if (vela::TJsonValue::Parse(written).ToJSON() != written) __builtin_trap();
  if (vela::TJsonValue::Parse(doc.ToJSON(true)).ToJSON() != written) __builtin_trap();
  return 0;
}
