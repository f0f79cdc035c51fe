#include "platform/indy/IdGlobal.h"

#include <mutex>
#include <utility>

#include "platform/indy/IdCurl_p.h"
#include "rtl/Streams.h"

namespace vela {

namespace idcurl {
void Check(CURLcode ACode, const char* AOption) {
  if (ACode != CURLE_OK)
    throw EIdException(std::string("libcurl refused ") + AOption + ": " +
                       curl_easy_strerror(ACode));
}
}  // namespace idcurl

std::string RedactURL(const std::string& AURL) {
  const size_t scheme = AURL.find("://");
  const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t hostEnd = AURL.find_first_of("/?#", hostStart);
  const size_t at = AURL.rfind('@', hostEnd == std::string::npos ? std::string::npos : hostEnd);
  if (at == std::string::npos || at < hostStart) return AURL;
  return AURL.substr(0, hostStart) + AURL.substr(at + 1);
}

TIdComponent::TIdComponent() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  FCurl = curl_easy_init();
  if (!FCurl) throw EIdException("libcurl could not create a transfer handle");
}

TIdComponent::~TIdComponent() {
  curl_easy_cleanup(static_cast<CURL*>(FCurl));
}

void* TIdComponent::PrepareHandle() {
  CURL* c = static_cast<CURL*>(FCurl);
  curl_easy_reset(c);  // options only; open connections stay in the handle's cache
  FCallbackError = nullptr;
  FDownloadTarget = nullptr;
  FReceived = 0;
  FReading = FWriting = false;
  VELA_CURL_SET(c, CURLOPT_NOSIGNAL, 1L);
  // Proxies are not used: the clients connect to the location directly.
  VELA_CURL_SET(c, CURLOPT_NOPROXY, "*");
  VELA_CURL_SET(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeout));
  if (ReadTimeout > 0) {
    VELA_CURL_SET(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    VELA_CURL_SET(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>((ReadTimeout + 999) / 1000));
  }
  SetDownloadTarget(nullptr);
  return c;
}

void TIdComponent::BeginWork(TWorkMode AMode, int64_t ACountMax) {
  (AMode == wmRead ? FReading : FWriting) = true;
  if (OnWorkBegin) OnWorkBegin(AMode, ACountMax);
}

void TIdComponent::DoWork(TWorkMode AMode, int64_t ACount) {
  if (OnWork) OnWork(AMode, ACount);
}

void TIdComponent::EndWork(TWorkMode AMode) {
  bool& active = AMode == wmRead ? FReading : FWriting;
  if (!active) return;
  active = false;
  if (OnWorkEnd) OnWorkEnd(AMode);
}

void TIdComponent::SetDownloadTarget(TStream* AStream) {
  FDownloadTarget = AStream;
  VELA_CURL_SET(FCurl, CURLOPT_WRITEFUNCTION, &WriteCallback);
  VELA_CURL_SET(FCurl, CURLOPT_WRITEDATA, static_cast<void*>(this));
}

size_t TIdComponent::Receive(const char* AData, size_t ASize) {
  try {
    if (!FReading) {
      curl_off_t expected = -1;
      curl_easy_getinfo(static_cast<CURL*>(FCurl), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
      BeginWork(wmRead, expected < 0 ? 0 : expected);
    }
    if (FDownloadTarget) FDownloadTarget->WriteBuffer(AData, ASize);
    FReceived += static_cast<int64_t>(ASize);
    DoWork(wmRead, FReceived);
    return ASize;
  } catch (...) {
    KeepCallbackError();
    return CURL_WRITEFUNC_ERROR;
  }
}

// libcurl callbacks: nothing may be thrown through libcurl's C frames, so an exception is kept
// for Perform and the transfer aborted with the callback's error value.
size_t TIdComponent::WriteCallback(char* AData, size_t ASize, size_t ACount, void* AUser) {
  return static_cast<TIdComponent*>(AUser)->Receive(AData, ASize * ACount);
}

size_t TIdComponent::ReadCallback(char* ABuffer, size_t ASize, size_t ACount, void* AUser) {
  auto* src = static_cast<TUploadSource*>(AUser);
  try {
    const size_t n = src->Stream->Read(ABuffer, ASize * ACount);
    src->Sent += static_cast<int64_t>(n);
    if (n > 0) src->Owner->DoWork(wmWrite, src->Sent);
    return n;
  } catch (...) {
    src->Owner->KeepCallbackError();
    return CURL_READFUNC_ABORT;
  }
}

// libcurl rewinds the body when a redirect asks for it again.
int TIdComponent::SeekCallback(void* AUser, int64_t AOffset, int AOrigin) {
  auto* src = static_cast<TUploadSource*>(AUser);
  if (AOrigin != SEEK_SET) return CURL_SEEKFUNC_CANTSEEK;
  try {
    src->Stream->SetPosition(AOffset);
    src->Sent = AOffset;
    return CURL_SEEKFUNC_OK;
  } catch (...) {
    return CURL_SEEKFUNC_FAIL;
  }
}

void TIdComponent::SetUploadSource(TUploadSource& ASource) {
  ASource.Owner = this;
  ASource.Sent = 0;
  ASource.Stream->SetPosition(0);
  VELA_CURL_SET(FCurl, CURLOPT_READFUNCTION, &ReadCallback);
  VELA_CURL_SET(FCurl, CURLOPT_READDATA, static_cast<void*>(&ASource));
  VELA_CURL_SET(FCurl, CURLOPT_SEEKFUNCTION, &SeekCallback);
  VELA_CURL_SET(FCurl, CURLOPT_SEEKDATA, static_cast<void*>(&ASource));
  BeginWork(wmWrite, ASource.Stream->Size());
}

void TIdComponent::Perform(const std::string& AVerb, const std::string& AURL) {
  CURL* c = static_cast<CURL*>(FCurl);
  char errorBuffer[CURL_ERROR_SIZE] = {};
  VELA_CURL_SET(c, CURLOPT_ERRORBUFFER, errorBuffer);
  const CURLcode rc = curl_easy_perform(c);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
  // Work ends whether or not the transfer succeeded.
  EndWork(wmWrite);
  EndWork(wmRead);
  if (FCallbackError) std::rethrow_exception(std::exchange(FCallbackError, nullptr));
  if (rc == CURLE_OK) return;

  const std::string message = AVerb + " " + RedactURL(AURL) + ": " +
                              (errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc));
  long reply = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply);
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_CANT_GET_HOST:
      throw EIdSocketError(message);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
      throw EIdOSSLConnectError(message);
    case CURLE_UNSUPPORTED_PROTOCOL:
      throw EIdIOHandlerPropsError(message);
    default:
      if (reply >= 300) throw EIdReplyRFCError(message, static_cast<int32_t>(reply));
      throw EIdException(message);
  }
}

}  // namespace vela
