// A named variant list (form fields, container attributes) shown to users as plain text or an
// HTML fragment, with the writers of the JSON converter (falder.Tools.ConverterWriters.h).
//
// The list is flat: one line per item, in list order, "name: value". Date-times are written in
// the locale's date-time format, Booleans as "True"/"False", floats in the runtime's default
// float format, other numbers in decimal, Null and Empty as "", anything else as its text (a
// value without a text form, such as an interface, raises EVariantTypeCastError).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "converters/falder.Tools.ConverterWriters.h"
#include "host/InterfacedData.h"

namespace vela {

class TArdoVariantListConverter;
using TCustomFalderVariantListConverterWriter = TCustomConverterWriter<TArdoVariantListConverter>;
using TFalderVariantListConverterTextWriter =
    TConverterTextWriter<TCustomFalderVariantListConverterWriter>;
using TFalderVariantListConverterHTMLWriter =
    TConverterHTMLWriter<TCustomFalderVariantListConverterWriter>;
using TFalderVariantListConverterWriterClass =
    std::unique_ptr<TCustomFalderVariantListConverterWriter> (*)(TArdoVariantListConverter*);

class TArdoVariantListConverter {
 public:
  static void ConvertToText(const INamedVariantListData& AList, std::string& AText);
  static void ConvertToHTML(const INamedVariantListData& AList, std::string& AText);

  // Clears Content, writes AList with a writer of AWriterClass (freed afterwards in every case)
  // and returns Content in AText.
  void Convert(const INamedVariantListData& AList,
               TFalderVariantListConverterWriterClass AWriterClass, std::string& AText);

  std::string& Content() { return FContent; }

 private:
  void WriteList(const INamedVariantListData& AList, std::string_view AName);

  std::unique_ptr<TCustomFalderVariantListConverterWriter> FWriter;
  std::string FContent;
};

}  // namespace vela
