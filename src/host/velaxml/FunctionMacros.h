// Function macros in configuration values: a value that starts with '=' and a function call, like
// a spreadsheet formula, is evaluated instead of taken as written: "=NOW()", "=GUID()",
// "=CONCAT(FIELD(FIRSTNAME);\" \";UPPER(FIELD(NAME)))", "=FORMATDATE(\"dd.mm.yyyy\";NOW())".
// docs/filters-and-macros.md lists the functions and the syntax.
#pragma once

#include <string>
#include <string_view>

#include "host/MainInterface.h"
#include "host/velaxml/XMLDataStore.h"
#include "rtl/DateUtils.h"
#include "rtl/Exceptions.h"
#include "rtl/Variants.h"

namespace vela {

// A macro that cannot be evaluated; the message names the macro text and what is wrong.
VELA_DECLARE_EXCEPTION(EFunctionMacroError, Exception);

// Evaluates the function macros of configuration values and constant field values.
class TVelaXMLProcessorFunctionMacroHandler {
 public:
  // Calls nested deeper than this are refused, so no input can exhaust the stack.
  static constexpr int kMaxNesting = 32;

  virtual ~TVelaXMLProcessorFunctionMacroHandler() = default;

  // True when AContent, after leading blanks, is '=' followed by a function name and '('
  // (blanks allowed between them). Other values, also "=x" or "==DE", are plain values.
  virtual bool GetContentIsFunctionMacro(std::string_view AContent) const;
  // Evaluates without record data (FIELD raises). Raises EFunctionMacroError.
  Variant ExecuteFunctionMacro(std::string_view AContent);
  // Evaluates with AData supplying the values that FIELD reads (nil: no record data). AIsText
  // tells whether the result is text for the caller to convert (a string variant), or a typed
  // value to assign as it is (a date-time variant from NOW, DATE). Raises EFunctionMacroError.
  virtual Variant ExecuteFunctionMacro(std::string_view AContent, const TXMLDataStore* AData,
                                       bool& AIsText);

  IMainInterface* MainInterface() const noexcept { return FMainInterface; }
  // Borrowed for the duration of a conversion; nil clears it.
  void SetMainInterface(IMainInterface* AMainInterface) noexcept {
    FMainInterface = AMainInterface;
  }

 protected:
  // The moment NOW and DATE give: the host's current time while a main interface is set, else
  // the local clock.
  virtual TDateTime CurrentTime() const;

 private:
  IMainInterface* FMainInterface = nullptr;
};

}  // namespace vela
