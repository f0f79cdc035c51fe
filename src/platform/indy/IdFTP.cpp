#include "platform/indy/IdFTP.h"

#include <atomic>

#include "platform/indy/IdCurl_p.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

std::atomic<uint16_t> gDefaultPort{21};

// A path segment as libcurl expects it in an ftp:// location (it decodes each one).
std::string EscapeSegment(const std::string& ASegment) {
  char* escaped = curl_easy_escape(nullptr, ASegment.data(), static_cast<int>(ASegment.size()));
  if (!escaped) throw EIdException("Out of memory for a location");
  std::string result(escaped);
  curl_free(escaped);
  return result;
}

}  // namespace

uint16_t TIdFTP::DefaultPort() noexcept {
  return gDefaultPort.load();
}

void TIdFTP::SetDefaultPort(uint16_t APort) noexcept {
  gDefaultPort.store(APort);
}

TIdFTP::TIdFTP() : Port(DefaultPort()) {}

std::string TIdFTP::LocationOf(const std::string& AFile) const {
  const bool ipv6 = Host.find(':') != std::string::npos;
  std::string url = "ftp://" + (ipv6 ? "[" + Host + "]" : Host) + ":" + IntToStr(Port) + "/";
  // libcurl reads a first segment "%2F" as the root; the others are relative to the login
  // directory.
  if (FAbsolute) url += "%2F/";
  for (const std::string& dir : FDirs)
    url += EscapeSegment(dir) + "/";
  return url + EscapeSegment(AFile);
}

void* TIdFTP::PrepareRequest(const std::string& AURL) {
  void* c = PrepareHandle();
  VELA_CURL_SET(c, CURLOPT_URL, AURL.c_str());
  VELA_CURL_SET(c, CURLOPT_PROTOCOLS_STR, "ftp");
  if (!Username.empty()) {
    VELA_CURL_SET(c, CURLOPT_USERNAME, Username.c_str());
    VELA_CURL_SET(c, CURLOPT_PASSWORD, Password.c_str());
  }
  // One CWD per directory segment, in order.
  VELA_CURL_SET(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_MULTICWD));
  if (Passive) {
    VELA_CURL_SET(c, CURLOPT_FTP_USE_EPSV, 0L);  // plain PASV, which every server knows
  } else {
    VELA_CURL_SET(c, CURLOPT_FTPPORT, "-");
  }
  return c;
}

void TIdFTP::Connect() {
  FDirs.clear();
  FAbsolute = false;
  FConnected = false;
  void* c = PrepareRequest(LocationOf({}));
  VELA_CURL_SET(c, CURLOPT_NOBODY, 1L);
  Perform("Connect", "ftp://" + Host + ":" + IntToStr(Port));
  FConnected = true;
}

void TIdFTP::ChangeDir(const std::string& ADir) {
  if (!FConnected) throw EIdException("Not connected");
  if (!ADir.empty() && ADir[0] == '/') {
    FDirs.clear();
    FAbsolute = true;
  }
  size_t pos = 0;
  while (pos <= ADir.size()) {
    const size_t next = std::min(ADir.find('/', pos), ADir.size());
    if (next > pos) FDirs.push_back(ADir.substr(pos, next - pos));
    pos = next + 1;
  }
}

void TIdFTP::Get(const std::string& ASourceFile, TStream& ADest, bool AResume) {
  if (!FConnected) throw EIdException("Not connected");
  const std::string url = LocationOf(ASourceFile);
  void* c = PrepareRequest(url);
  SetDownloadTarget(&ADest);
  if (AResume) VELA_CURL_SET(c, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(ADest.Size()));
  Perform("RETR", url);
}

void TIdFTP::Put(TStream& ASource, const std::string& ADestFile, bool AAppend) {
  if (!FConnected) throw EIdException("Not connected");
  const std::string url = LocationOf(ADestFile);
  void* c = PrepareRequest(url);
  VELA_CURL_SET(c, CURLOPT_UPLOAD, 1L);
  VELA_CURL_SET(c, CURLOPT_APPEND, AAppend ? 1L : 0L);
  VELA_CURL_SET(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(ASource.Size()));
  TUploadSource source{this, &ASource, 0};
  SetUploadSource(source);
  Perform(AAppend ? "APPE" : "STOR", url);
}

}  // namespace vela
