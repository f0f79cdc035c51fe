// libcurl details shared by the client sources (not part of the clients' interface).
#pragma once

#include <curl/curl.h>

#include <cstddef>

namespace vela::idcurl {

// Sets an option and raises EIdException when libcurl refuses it.
void Check(CURLcode ACode, const char* AOption);

template <class T>
void SetOpt(void* ACurl, CURLoption AOption, T AValue, const char* AName) {
  Check(curl_easy_setopt(static_cast<CURL*>(ACurl), AOption, AValue), AName);
}
#define VELA_CURL_SET(handle, option, value) ::vela::idcurl::SetOpt(handle, option, value, #option)

}  // namespace vela::idcurl
