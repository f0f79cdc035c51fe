// The request context of the host's REST server: what a service sees of one HTTP request (method,
// path, URI parameters, headers, body, the client's address and user agent, the caller's session)
// and how it answers (text with a status and headers, a file, or an error).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Session.h"
#include "rtl/Exceptions.h"

namespace vela {

// A failure with an HTTP status: the server answers it as an error with that status.
class ERestError : public Exception {
 public:
  ERestError(int status, std::string message) : Exception(std::move(message)), FStatus(status) {}
  const char* ClassName() const noexcept override { return "ERestError"; }
  int Status() const noexcept { return FStatus; }

 private:
  int FStatus;
};

// Who sends a request. Anonymous requests reach only routes that allow unauthenticated access.
enum class TRestSessionKind { rskAnonymous, rskToken };

struct TRestSession {
  TRestSessionKind Kind = TRestSessionKind::rskAnonymous;
  std::string TokenName;  // the access token's name ('' for anonymous requests)
  TVelaSession User;      // rights and language of the caller
  bool Authenticated() const { return Kind != TRestSessionKind::rskAnonymous; }
};

using THeaderList = std::vector<std::pair<std::string, std::string>>;

class TVelaRestRequestContext {
 public:
  // target is the request target as sent ("/root/Service.Method?a=1"); its path and query are
  // decoded here.
  TVelaRestRequestContext(std::string method, std::string target, THeaderList headers,
                          std::string body, std::string remoteIP);

  // --- the request ---
  const std::string& Method() const { return FMethod; }
  // The request target as sent (path and query, still encoded).
  const std::string& Url() const { return FUrl; }
  // The decoded path without the query ("/businessintegration").
  const std::string& Path() const { return FPath; }
  // The URI parameter of that name (names compare ignoring ASCII case); raises ERestError 400
  // naming the parameter when it is missing.
  std::string GetInputString(std::string_view name) const;
  // The URI parameter, '' when it is missing.
  std::string GetInputUTF8OrVoid(std::string_view name) const;
  bool InputExists(std::string_view name) const;
  const std::vector<std::pair<std::string, std::string>>& Inputs() const { return FInputs; }
  // A request header's value ('' when absent); names compare ignoring ASCII case.
  std::string GetHeader(std::string_view name) const;
  const THeaderList& Headers() const { return FHeaders; }
  const std::string& InContent() const { return FBody; }
  std::string InContentType() const { return GetHeader("Content-Type"); }
  std::string GetUserAgent() const { return GetHeader("User-Agent"); }
  const std::string& GetRemoteIP() const { return FRemoteIP; }

  // --- the caller ---
  const TRestSession& Session() const { return FSession; }
  void SetSession(TRestSession session) { FSession = std::move(session); }

  // --- the answer ---
  // Answers with the text and status. header holds "Name: value" lines (separated by CR LF or
  // LF); without a Content-Type line the answer is "text/plain; charset=utf-8".
  void Returns(std::string text, int status = 200, std::string_view header = {});
  // Answers with the content of a file (status 200); an unreadable file is answered 404.
  // contentType empty: by the file's extension, else "application/octet-stream".
  void ReturnFile(const std::string& fileName, std::string_view contentType = {});
  // An error answer: {"errorCode":STATUS,"errorText":"MESSAGE"} as application/json.
  void Error(std::string_view message, int status = 400);
  // A JSON answer (application/json) with the status.
  void ReturnsJson(std::string json, int status = 200);

  bool Answered() const { return FAnswered; }
  int Status() const { return FStatus; }
  const std::string& OutContent() const { return FOutBody; }
  const THeaderList& OutHeaders() const { return FOutHeaders; }

 private:
  std::string FMethod;
  std::string FUrl;
  std::string FPath;
  std::vector<std::pair<std::string, std::string>> FInputs;
  THeaderList FHeaders;
  std::string FBody;
  std::string FRemoteIP;
  TRestSession FSession;

  bool FAnswered = false;
  int FStatus = 404;
  std::string FOutBody;
  THeaderList FOutHeaders;
};

}  // namespace vela
