// Shared parts of the internet clients: the work (progress) events, the exceptions they raise,
// and the base that owns one libcurl handle and runs a request on it.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "rtl/Exceptions.h"

namespace vela {

class TStream;

// The direction of a running transfer: reading receives data, writing sends it.
enum TWorkMode : uint8_t { wmRead = 0, wmWrite = 1 };

using TWorkBeginEvent = std::function<void(TWorkMode AWorkMode, int64_t AWorkCountMax)>;
using TWorkEvent = std::function<void(TWorkMode AWorkMode, int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TWorkMode AWorkMode)>;

VELA_DECLARE_EXCEPTION(EIdException, Exception);
// Name resolution, connection, sending, receiving, time-outs.
VELA_DECLARE_EXCEPTION(EIdSocketError, EIdException);
// The TLS handshake failed or the peer's certificate was not trusted.
VELA_DECLARE_EXCEPTION(EIdOSSLConnectError, EIdException);
// The client is not set up for the request (for example https without a TLS handler).
VELA_DECLARE_EXCEPTION(EIdIOHandlerPropsError, EIdException);

// The server answered with an error reply; ErrorCode is the reply's status (0 when unknown).
class EIdReplyRFCError : public EIdException {
 public:
  EIdReplyRFCError(std::string msg = {}, int32_t errorCode = 0)
      : EIdException(std::move(msg)), FErrorCode(errorCode) {}
  const char* ClassName() const noexcept override { return "EIdReplyRFCError"; }
  int32_t ErrorCode() const noexcept { return FErrorCode; }

 private:
  int32_t FErrorCode;
};

// An HTTP status of 400 or above; ErrorMessage holds the response body.
class EIdHTTPProtocolException : public EIdReplyRFCError {
 public:
  EIdHTTPProtocolException(std::string msg, int32_t errorCode, std::string errorMessage)
      : EIdReplyRFCError(std::move(msg), errorCode), FErrorMessage(std::move(errorMessage)) {}
  const char* ClassName() const noexcept override { return "EIdHTTPProtocolException"; }
  const std::string& ErrorMessage() const noexcept { return FErrorMessage; }

 private:
  std::string FErrorMessage;
};

// A location with the user information removed, for messages (passwords never appear there).
std::string RedactURL(const std::string& AURL);

// Base of the clients: one libcurl handle reused for every request of the client (so that a
// connection stays open between requests), the work events and the time-outs.
class TIdComponent {
 public:
  TIdComponent();
  virtual ~TIdComponent();
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;

  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // Milliseconds to wait for a connection; 0 waits as long as the system does.
  int32_t ConnectTimeout = 30000;
  // Milliseconds without any data moving after which a transfer is given up; 0 never.
  int32_t ReadTimeout = 60000;

 protected:
  // The libcurl easy handle (CURL*), reset to this client's defaults before each request.
  void* PrepareHandle();
  void* Handle() const noexcept { return FCurl; }

  void BeginWork(TWorkMode AMode, int64_t ACountMax);
  void DoWork(TWorkMode AMode, int64_t ACount);
  void EndWork(TWorkMode AMode);

  // Runs the prepared request. An exception thrown by an event handler inside a libcurl
  // callback is kept and raised here; a libcurl failure raises the matching exception with
  // "<AVerb> <location>: <reason>".
  void Perform(const std::string& AVerb, const std::string& AURL);
  // Called from libcurl callbacks: keeps the running exception for Perform.
  void KeepCallbackError() noexcept { FCallbackError = std::current_exception(); }

  // A request body: the whole of Stream, from its beginning.
  struct TUploadSource {
    TIdComponent* Owner;
    TStream* Stream;
    int64_t Sent;
  };
  // Points the handle's read and seek callbacks at ASource and begins wmWrite work for its size.
  void SetUploadSource(TUploadSource& ASource);
  // Points the handle's write callback at AStream (nil: the received data are dropped).
  void SetDownloadTarget(TStream* AStream);
  // Writes received data to the download target, with wmRead work (begun on the first data,
  // with the size the server announced, 0 when unknown). Returns the bytes taken.
  size_t Receive(const char* AData, size_t ASize);

 private:
  // libcurl callbacks (data: this client or the upload source).
  static size_t WriteCallback(char* AData, size_t ASize, size_t ACount, void* AUser);
  static size_t ReadCallback(char* ABuffer, size_t ASize, size_t ACount, void* AUser);
  static int SeekCallback(void* AUser, int64_t AOffset, int AOrigin);

  void* FCurl = nullptr;
  std::exception_ptr FCallbackError;
  TStream* FDownloadTarget = nullptr;
  int64_t FReceived = 0;
  bool FReading = false;
  bool FWriting = false;
};

}  // namespace vela
