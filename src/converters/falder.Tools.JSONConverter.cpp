#include "converters/falder.Tools.JSONConverter.h"

namespace vela {

void TFalderJSONConverter::ConvertToText(const TJsonValue& AJson, std::string& AText) {
  TFalderJSONConverter().Convert(AJson, &TFalderJSONConverterTextWriter::Create, AText);
}

void TFalderJSONConverter::ConvertToHTML(const TJsonValue& AJson, std::string& AText) {
  TFalderJSONConverter().Convert(AJson, &TFalderJSONConverterHTMLWriter::Create, AText);
}

void TFalderJSONConverter::Convert(const TJsonValue& AJson,
                                   TFalderJSONConverterWriterClass AWriterClass,
                                   std::string& AText) {
  FWriter = AWriterClass(this);
  struct TFreeWriter {
    std::unique_ptr<TCustomFalderJSONConverterWriter>& Writer;
    ~TFreeWriter() { Writer.reset(); }
  } freeWriter{FWriter};
  FContent.clear();
  if (AJson.IsArray())
    WriteArray(AJson, "");
  else if (AJson.IsObject())
    WriteObject(AJson, "");
  AText = FContent;
}

void TFalderJSONConverter::WriteArray(const TJsonValue& AArray, std::string_view AName) {
  FWriter->StartBlock();
  if (!AName.empty()) FWriter->WriteTitle(AName, 1);
  FWriter->WriteListStart(AName);
  for (const TJsonValue& item : AArray.Items())
    WriteValue(item, "");
  FWriter->WriteListEnd(AName);
  FWriter->EndBlock();
}

void TFalderJSONConverter::WriteObject(const TJsonValue& AObject, std::string_view AName) {
  FWriter->StartBlock();
  if (!AName.empty()) FWriter->WriteTitle(AName, 1);
  for (const TJsonMember& member : AObject.Members())
    WriteValue(member.second, member.first);
  FWriter->EndBlock();
}

void TFalderJSONConverter::WriteValue(const TJsonValue& AValue, std::string_view AName) {
  switch (AValue.Kind()) {
    case TJsonKind::Null:
      FWriter->WriteStr("", AName);
      break;
    case TJsonKind::String:
      FWriter->WriteStr(AValue.AsString(), AName);
      break;
    case TJsonKind::Integer:
      FWriter->WriteInt(AValue.AsInteger(), AName);
      break;
    case TJsonKind::Float:
      FWriter->WriteFloat(AValue.AsFloat(), AName);
      break;
    case TJsonKind::Boolean:
      FWriter->WriteBool(AValue.AsBoolean(), AName);
      break;
    case TJsonKind::Array:
      WriteArray(AValue, AName);
      break;
    case TJsonKind::Object:
      WriteObject(AValue, AName);
      break;
  }
}

}  // namespace vela
