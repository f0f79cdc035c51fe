#include "converters/falder.Tools.XWWWFormConverter.h"

#include "host/HTTPUtils.h"
#include "platform/indy/MultipartFormData.h"
#include "rtl/CodePages.h"

namespace vela {

namespace {

void AddUrlEncodedFields(std::string_view body, INamedVariantListData& list) {
  size_t pos = 0;
  while (pos <= body.size()) {
    size_t end = body.find('&', pos);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view field = body.substr(pos, end - pos);
    if (!field.empty()) {
      const size_t eq = field.find('=');
      const std::string_view name = field.substr(0, eq);
      const std::string_view value =
          eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1);
      list.SetValueByName(THTTPUtils::ParamsDecode(name), Variant(THTTPUtils::ParamsDecode(value)));
    }
    pos = end + 1;
  }
}

}  // namespace

void TXWWWFormConverter::ConvertFrom(TStream& AStream, std::string_view AContentType,
                                     INamedVariantListData& AList) {
  auto* strings = dynamic_cast<TStringStream*>(&AStream);
  std::string raw;
  if (strings) {
    raw = strings->DataString();
  } else {
    AStream.SetPosition(0);
    raw = AStream.ReadToEnd();
  }
  if (TMultipartFormData::IsMultipartFormData(AContentType)) {
    for (const TFormDataPart& part : TMultipartFormData::Parse(AContentType, raw))
      AList.SetValueByName(DecodeText(part.Name), Variant(DecodeText(part.Data)));
    return;
  }
  AddUrlEncodedFields(strings ? raw : DecodeText(raw), AList);
}

void TXWWWFormConverter::ConvertTo(const INamedVariantListData& AList, TStream& AStream) {
  std::string text;
  for (int i = 0; i < AList.Get_Count(); ++i) {
    if (i > 0) text += '&';
    text += AList.Get_Name(i) + "=" + THTTPUtils::ParamsEncode(VarToStr(AList.Get_Value(i)));
  }
  if (dynamic_cast<TStringStream*>(&AStream))
    AStream.WriteString(text);
  else
    AStream.WriteString(Utf8ToCodePage(text, SystemAnsiCodePage()));
}

}  // namespace vela
