#include "host/HTTPUtils.h"

#include <curl/curl.h>

#include <memory>

#include "rtl/Exceptions.h"

namespace vela {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendPercent(std::string& AOut, unsigned char AByte) {
  AOut.push_back('%');
  AOut.push_back(kHex[AByte >> 4]);
  AOut.push_back(kHex[AByte & 0x0F]);
}

bool IsAscii(std::string_view AText) {
  for (unsigned char c : AText)
    if (c >= 0x80) return false;
  return true;
}

// The IDNA form of a host name, through libcurl's URL parser (built with libidn2).
std::string PunycodeHost(const std::string& AHost) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  char* host = nullptr;
  if (!url ||
      curl_url_set(url.get(), CURLUPART_URL, ("http://" + AHost + "/").c_str(), 0) != CURLUE_OK ||
      curl_url_get(url.get(), CURLUPART_HOST, &host, CURLU_PUNYCODE) != CURLUE_OK)
    throw EConvertError("The host name \"" + AHost + "\" cannot be converted to its IDNA form");
  std::string result(host);
  curl_free(host);
  return result;
}

}  // namespace

std::string THTTPUtils::GetInternationalURL(const std::string& AURL) {
  size_t hostStart = 0;
  size_t hostEnd = 0;
  if (const size_t scheme = AURL.find("://"); scheme != std::string::npos) {
    const size_t authorityStart = scheme + 3;
    const size_t authorityEnd = std::min(AURL.find_first_of("/?#", authorityStart), AURL.size());
    const size_t at = AURL.rfind('@', authorityEnd - 1);
    hostStart = at != std::string::npos && at >= authorityStart ? at + 1 : authorityStart;
    hostEnd = AURL.find(':', hostStart);
    if (hostEnd > authorityEnd || (hostStart < AURL.size() && AURL[hostStart] == '['))
      hostEnd = authorityEnd;
  }
  std::string result;
  result.reserve(AURL.size() + 16);
  for (size_t i = 0; i < AURL.size(); ++i) {
    if (i == hostStart && hostEnd > hostStart) {
      const std::string host = AURL.substr(hostStart, hostEnd - hostStart);
      result += IsAscii(host) ? host : PunycodeHost(host);
      i = hostEnd - 1;
      continue;
    }
    const auto c = static_cast<unsigned char>(AURL[i]);
    if (c <= 0x20 || c >= 0x7F)
      AppendPercent(result, c);
    else
      result.push_back(static_cast<char>(c));
  }
  return result;
}

std::string THTTPUtils::ParamsEncode(std::string_view AValue) {
  std::string result;
  result.reserve(AValue.size() * 3 / 2);
  for (unsigned char c : AValue) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
        c == '-' || c == '.' || c == '_')
      result.push_back(static_cast<char>(c));
    else if (c == ' ')
      result.push_back('+');
    else
      AppendPercent(result, c);
  }
  return result;
}

}  // namespace vela
