#include "converters/falder.Tools.VariantListConverter.h"

#include <limits>

namespace vela {

void TArdoVariantListConverter::ConvertToText(const INamedVariantListData& AList,
                                              std::string& AText) {
  TArdoVariantListConverter().Convert(AList, &TFalderVariantListConverterTextWriter::Create, AText);
}

void TArdoVariantListConverter::ConvertToHTML(const INamedVariantListData& AList,
                                              std::string& AText) {
  TArdoVariantListConverter().Convert(AList, &TFalderVariantListConverterHTMLWriter::Create, AText);
}

void TArdoVariantListConverter::Convert(const INamedVariantListData& AList,
                                        TFalderVariantListConverterWriterClass AWriterClass,
                                        std::string& AText) {
  FWriter = AWriterClass(this);
  struct TFreeWriter {
    std::unique_ptr<TCustomFalderVariantListConverterWriter>& Writer;
    ~TFreeWriter() { Writer.reset(); }
  } freeWriter{FWriter};
  FContent.clear();
  WriteList(AList, "");
  AText = FContent;
}

void TArdoVariantListConverter::WriteList(const INamedVariantListData& AList,
                                          std::string_view AName) {
  FWriter->StartBlock();
  if (!AName.empty()) FWriter->WriteTitle(AName, 1);
  for (int i = 0; i < AList.Get_Count(); ++i) {
    const std::string name = AList.Get_Name(i);
    const Variant value = AList.Get_Value(i);
    switch (value.kind()) {
      case Variant::Kind::DateTime:
        FWriter->WriteDateTime(value.GetDateTime(), name);
        break;
      case Variant::Kind::Boolean:
        FWriter->WriteBool(value.GetBoolean(), name);
        break;
      case Variant::Kind::Double:
        FWriter->WriteFloat(value.GetDouble(), name);
        break;
      case Variant::Kind::Int32:
      case Variant::Kind::Int64:
        FWriter->WriteInt(value.AsInt64(), name);
        break;
      case Variant::Kind::UInt64:
        // Above the signed range the digits are written as they are.
        if (value.GetUInt64() <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
          FWriter->WriteInt(static_cast<int64_t>(value.GetUInt64()), name);
        else
          FWriter->WriteStr(VarToStr(value), name);
        break;
      default:
        FWriter->WriteStr(VarToStr(value), name);
    }
  }
  FWriter->EndBlock();
}

}  // namespace vela
