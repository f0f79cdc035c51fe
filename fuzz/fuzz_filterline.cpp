// Feeds arbitrary bytes to the filter line parser and to the function macro evaluator. The first
// line is a filter line "name=value" and the rest a field value it tests; the whole input is
// also evaluated as a macro over a small record. Only the documented exceptions may come out,
// and a text that is not recognised as a macro must never evaluate.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/velaxml/FilterExpressions.h"
#include "host/velaxml/FunctionMacros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t eol = input.find('\n');
  const std::string_view line = input.substr(0, eol);
  const std::string_view text = eol == std::string_view::npos ? "" : input.substr(eol + 1);
  const size_t eq = line.find('=');

  vela::TFilterExpressions filters;
  vela::TFilterExpressionItem& item = filters.Add();
  try {
    item.Load(line.substr(0, eq), eq == std::string_view::npos ? "" : line.substr(eq + 1));
  } catch (const vela::EFilterExpressionError&) {
  }
  vela::TXMLDataStore row;
  row.Add(item.FieldName(), text);
  row.Add("DATE", "2024-02-29 12:00");
  (void)item.IsTextFullValid(text);
  (void)filters.IsRecordValid(row);

  vela::TVelaXMLProcessorFunctionMacroHandler macros;
  const bool isMacro = macros.GetContentIsFunctionMacro(input);
  try {
    bool isText = false;
    (void)macros.ExecuteFunctionMacro(input, &row, isText);
    if (!isMacro) std::abort();
  } catch (const vela::EFunctionMacroError&) {
  }
  return 0;
}
