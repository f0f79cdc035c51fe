// JSON content shown to users: a parsed JSON document walked depth-first into plain text or an
// HTML fragment (see falder.Tools.ConverterWriters.h for the output rules).
//
// An array writes its items as a list; an object writes its members in document order with their
// names; a nested array or object gets its member name as a title. A top-level value that is
// neither array nor object gives an empty result. Strings and null are written as text (null as
// ""), integers in decimal, floats in the runtime's default float format (integers beyond 64
// bits are floats too), Booleans as "True"/"False".
#pragma once

#include <string>
#include <string_view>

#include "converters/falder.Tools.ConverterWriters.h"
#include "platform/json/JsonValue.h"

namespace vela {

class TFalderJSONConverter;
using TCustomFalderJSONConverterWriter = TCustomConverterWriter<TFalderJSONConverter>;
using TFalderJSONConverterTextWriter = TConverterTextWriter<TCustomFalderJSONConverterWriter>;
using TFalderJSONConverterHTMLWriter = TConverterHTMLWriter<TCustomFalderJSONConverterWriter>;
// A writer class: creates a writer for a converter.
using TFalderJSONConverterWriterClass =
    std::unique_ptr<TCustomFalderJSONConverterWriter> (*)(TFalderJSONConverter*);

class TFalderJSONConverter {
 public:
  static void ConvertToText(const TJsonValue& AJson, std::string& AText);
  static void ConvertToHTML(const TJsonValue& AJson, std::string& AText);

  // Clears Content, writes AJson with a writer of AWriterClass (freed afterwards in every case)
  // and returns Content in AText.
  void Convert(const TJsonValue& AJson, TFalderJSONConverterWriterClass AWriterClass,
               std::string& AText);

  std::string& Content() { return FContent; }

 private:
  void WriteArray(const TJsonValue& AArray, std::string_view AName);
  void WriteObject(const TJsonValue& AObject, std::string_view AName);
  void WriteValue(const TJsonValue& AValue, std::string_view AName);

  std::unique_ptr<TCustomFalderJSONConverterWriter> FWriter;
  std::string FContent;
};

}  // namespace vela
