// The HTTP client: GET into a stream, POST from a stream, redirects, and TLS through an
// OpenSSL I/O handler whose presence allows https.
#pragma once

#include <cstdint>
#include <string>

#include "platform/indy/IdGlobal.h"

namespace vela {

// TLS protocol choice. sslvSSLv23 negotiates the highest version both sides offer.
enum TIdSSLVersion : uint8_t {
  sslvSSLv2 = 0,
  sslvSSLv23 = 1,
  sslvSSLv3 = 2,
  sslvTLSv1 = 3,
  sslvTLSv1_1 = 4,
  sslvTLSv1_2 = 5,
};
enum TIdSSLMode : uint8_t { sslmUnassigned, sslmClient, sslmServer, sslmBoth };

struct TIdSSLOptions {
  TIdSSLVersion Method = sslvSSLv23;
  TIdSSLMode Mode = sslmClient;
  // The peer's certificate and host name are checked unless this is switched off.
  bool VerifyPeer = true;
  // A PEM file of certificates trusted in addition to the system's; empty takes the process
  // default (see SetDefaultRootCertFile).
  std::string RootCertFile;
};

// TLS transport settings. Installed as a client's I/O handler it allows https locations.
class TIdSSLIOHandlerSocketOpenSSL {
 public:
  TIdSSLOptions SSLOptions;

  // The CA file every handler trusts when its own RootCertFile is empty. Until set, the
  // environment variable VELA_TLS_CA_FILE (when not empty) gives it.
  static void SetDefaultRootCertFile(const std::string& AFileName);
  static std::string DefaultRootCertFile();
};

class TIdHTTP : public TIdComponent {
 public:
  TIdHTTP() = default;

  // Not owned. nil: plain HTTP only (an https location raises EIdIOHandlerPropsError).
  TIdSSLIOHandlerSocketOpenSSL* IOHandler = nullptr;
  // Follow 3xx answers to their Location, at most RedirectMaximum times.
  bool HandleRedirects = false;
  int32_t RedirectMaximum = 15;
  // The Content-Type of a POST body.
  std::string ContentType = "application/x-www-form-urlencoded";

  // The response body goes into AResponse (written from its position).
  void Get(const std::string& AURL, TStream& AResponse);
  // Sends all of ASource (from its beginning); the response body goes into AResponse.
  void Post(const std::string& AURL, TStream& ASource, TStream& AResponse);
  // The same, returning the response body.
  std::string Post(const std::string& AURL, TStream& ASource);

  // The status of the last response and its reason phrase ("Not Found").
  int32_t ResponseCode() const noexcept { return FResponseCode; }
  const std::string& ResponseText() const noexcept { return FResponseText; }

 private:
  void Request(const std::string& AVerb, const std::string& AURL, TStream* ASource,
               TStream& AResponse);
  static size_t HeaderCallback(char* AData, size_t ASize, size_t ACount, void* AUser);
  static size_t BodyCallback(char* AData, size_t ASize, size_t ACount, void* AUser);

  int32_t FResponseCode = 0;
  std::string FResponseText;
  std::string FErrorBody;  // the body of an error status, kept for the exception
};

}  // namespace vela
