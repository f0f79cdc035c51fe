#include "platform/indy/IdHTTP.h"

#include <cstdlib>
#include <mutex>

#include "platform/indy/IdCurl_p.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

std::mutex gRootCertLock;
std::string gRootCertFile;
bool gRootCertSet = false;

// A list of request headers, freed with the request.
struct THeaderList {
  curl_slist* List = nullptr;
  ~THeaderList() { curl_slist_free_all(List); }
  void Add(const std::string& AHeader) {
    curl_slist* grown = curl_slist_append(List, AHeader.c_str());
    if (!grown) throw EIdException("Out of memory for the request headers");
    List = grown;
  }
};

long CurlSSLVersion(TIdSSLVersion AMethod) {
  switch (AMethod) {
    case sslvSSLv23:
      return CURL_SSLVERSION_DEFAULT;
    case sslvTLSv1:
      return CURL_SSLVERSION_TLSv1_0;
    case sslvTLSv1_1:
      return CURL_SSLVERSION_TLSv1_1;
    case sslvTLSv1_2:
      return CURL_SSLVERSION_TLSv1_2;
    default:
      throw EIdOSSLConnectError("SSL 2 and SSL 3 are not supported");
  }
}

}  // namespace

void TIdSSLIOHandlerSocketOpenSSL::SetDefaultRootCertFile(const std::string& AFileName) {
  std::lock_guard lock(gRootCertLock);
  gRootCertFile = AFileName;
  gRootCertSet = true;
}

std::string TIdSSLIOHandlerSocketOpenSSL::DefaultRootCertFile() {
  std::lock_guard lock(gRootCertLock);
  if (gRootCertSet) return gRootCertFile;
  const char* env = std::getenv("VELA_TLS_CA_FILE");
  return env ? env : "";
}

size_t TIdHTTP::HeaderCallback(char* AData, size_t ASize, size_t ACount, void* AUser) {
  auto* self = static_cast<TIdHTTP*>(AUser);
  const std::string_view line(AData, ASize * ACount);
  // A status line starts every response, also each one of a redirect chain.
  if (line.starts_with("HTTP/")) {
    const size_t code = line.find(' ');
    const size_t text = code == std::string_view::npos ? code : line.find(' ', code + 1);
    self->FResponseCode = code == std::string_view::npos
                              ? 0
                              : std::atoi(std::string(line.substr(code + 1, 3)).c_str());
    self->FResponseText =
        text == std::string_view::npos ? std::string() : Trim(std::string(line.substr(text + 1)));
    self->FErrorBody.clear();
  }
  return ASize * ACount;
}

size_t TIdHTTP::BodyCallback(char* AData, size_t ASize, size_t ACount, void* AUser) {
  auto* self = static_cast<TIdHTTP*>(AUser);
  // The body of an error status is kept for the exception, not written to the stream.
  if (self->FResponseCode >= 300) {
    self->FErrorBody.append(AData, ASize * ACount);
    return ASize * ACount;
  }
  return self->Receive(AData, ASize * ACount);
}

void TIdHTTP::Get(const std::string& AURL, TStream& AResponse) {
  Request("GET", AURL, nullptr, AResponse);
}

void TIdHTTP::Post(const std::string& AURL, TStream& ASource, TStream& AResponse) {
  Request("POST", AURL, &ASource, AResponse);
}

std::string TIdHTTP::Post(const std::string& AURL, TStream& ASource) {
  TStringStream response;
  Post(AURL, ASource, response);
  return response.DataString();
}

void TIdHTTP::Request(const std::string& AVerb, const std::string& AURL, TStream* ASource,
                      TStream& AResponse) {
  if (!IOHandler && LowerCase(AURL).starts_with("https://"))
    throw EIdIOHandlerPropsError("An SSL I/O handler is required for " + RedactURL(AURL));
  void* c = PrepareHandle();
  FResponseCode = 0;
  FResponseText.clear();
  FErrorBody.clear();
  VELA_CURL_SET(c, CURLOPT_URL, AURL.c_str());
  // Without a TLS handler neither the location nor a redirect may lead to https.
  const char* protocols = IOHandler ? "http,https" : "http";
  VELA_CURL_SET(c, CURLOPT_PROTOCOLS_STR, protocols);
  VELA_CURL_SET(c, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  VELA_CURL_SET(c, CURLOPT_FOLLOWLOCATION, HandleRedirects ? 1L : 0L);
  VELA_CURL_SET(c, CURLOPT_MAXREDIRS, static_cast<long>(RedirectMaximum));
  if (IOHandler) {
    const TIdSSLOptions& ssl = IOHandler->SSLOptions;
    if (ssl.Mode != sslmClient && ssl.Mode != sslmBoth)
      throw EIdOSSLConnectError("The SSL I/O handler is not in client mode");
    VELA_CURL_SET(c, CURLOPT_SSLVERSION, CurlSSLVersion(ssl.Method));
    VELA_CURL_SET(c, CURLOPT_SSL_VERIFYPEER, ssl.VerifyPeer ? 1L : 0L);
    VELA_CURL_SET(c, CURLOPT_SSL_VERIFYHOST, ssl.VerifyPeer ? 2L : 0L);
    // The CA file comes on top of the system's certificate folder, which stays in use.
    const std::string caFile = ssl.RootCertFile.empty()
                                   ? TIdSSLIOHandlerSocketOpenSSL::DefaultRootCertFile()
                                   : ssl.RootCertFile;
    if (!caFile.empty()) VELA_CURL_SET(c, CURLOPT_CAINFO, caFile.c_str());
  }
  VELA_CURL_SET(c, CURLOPT_HEADERFUNCTION, &HeaderCallback);
  VELA_CURL_SET(c, CURLOPT_HEADERDATA, static_cast<void*>(this));
  SetDownloadTarget(&AResponse);
  VELA_CURL_SET(c, CURLOPT_WRITEFUNCTION, &BodyCallback);

  THeaderList headers;
  TUploadSource source{this, ASource, 0};
  if (ASource) {
    VELA_CURL_SET(c, CURLOPT_POST, 1L);
    VELA_CURL_SET(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(ASource->Size()));
    headers.Add("Content-Type: " + ContentType);
    headers.Add("Expect:");  // send the body at once, without waiting for "100 Continue"
    VELA_CURL_SET(c, CURLOPT_HTTPHEADER, headers.List);
    SetUploadSource(source);
  }
  Perform(AVerb, AURL);
  long status = 0;
  curl_easy_getinfo(static_cast<CURL*>(c), CURLINFO_RESPONSE_CODE, &status);
  FResponseCode = static_cast<int32_t>(status);
  if (FResponseCode >= 300) {
    std::string message = AVerb + " " + RedactURL(AURL) + ": HTTP " + IntToStr(FResponseCode);
    if (!FResponseText.empty()) message += " " + FResponseText;
    throw EIdHTTPProtocolException(message, FResponseCode, FErrorBody);
  }
}

}  // namespace vela
