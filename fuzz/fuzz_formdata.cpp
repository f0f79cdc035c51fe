// Reads arbitrary bytes as a form body, url-encoded and as multipart/form-data, and checks that
// an url-encoded list written back reads to the same pairs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "converters/falder.Tools.XWWWFormConverter.h"
#include "platform/indy/MultipartFormData.h"
#include "rtl/CodePages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  auto list = vela::NewNamedVariantListData();
  vela::TStringStream in(body);
  vela::TXWWWFormConverter::ConvertFrom(in, "application/x-www-form-urlencoded", *list);
  // Names are written unencoded, so only lists with plain names must read back the same; bytes
  // that are not UTF-8 are read as ANSI text on the way back.
  bool plainNames = vela::IsValidUtf8(body);
  for (int i = 0; i < list->Get_Count(); ++i)
    plainNames = plainNames && list->Get_Name(i).find_first_of("&=%+") == std::string::npos;
  vela::TStringStream out;
  vela::TXWWWFormConverter::ConvertTo(*list, out);
  if (plainNames) {
    auto again = vela::NewNamedVariantListData();
    vela::TStringStream back(out.DataString());
    vela::TXWWWFormConverter::ConvertFrom(back, "application/x-www-form-urlencoded", *again);
    if (again->Get_Count() != list->Get_Count()) __builtin_trap();
    for (int i = 0; i < list->Get_Count(); ++i)
      if (vela::VarToStr(again->Get_Value(i)) != vela::VarToStr(list->Get_Value(i)))
        __builtin_trap();
  }
  try {
    auto parts = vela::NewNamedVariantListData();
    vela::TStringStream multipart(body);
    vela::TXWWWFormConverter::ConvertFrom(multipart, "multipart/form-data; boundary=b", *parts);
  } catch (const vela::EMultipartFormDataError&) {
  }
  return 0;
}
