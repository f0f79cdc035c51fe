// Exceptions with the runtime's class names. Messages shown to users and written to logs take
// the form "ClassName: Message" (see ExceptionText).
#pragma once

#include <exception>
#include <string>

namespace vela {

class Exception : public std::exception {
 public:
  explicit Exception(std::string msg = {}) : FMessage(std::move(msg)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string msg) { FMessage = std::move(msg); }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  // True for texts meant to be shown to the user unchanged.
  virtual bool IsUserMessage() const noexcept { return false; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Declares an exception class in one line: VELA_DECLARE_EXCEPTION(EFoo, Exception);
#define VELA_DECLARE_EXCEPTION(Name, Base)                            \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

// The silent abort: a user's cancel. Callers turn it into a false result without a message.
class EAbort : public Exception {
 public:
  explicit EAbort(std::string msg = "Operation aborted") : Exception(std::move(msg)) {}
  const char* ClassName() const noexcept override { return "EAbort"; }
};

VELA_DECLARE_EXCEPTION(EConvertError, Exception);
VELA_DECLARE_EXCEPTION(EAssertionFailed, Exception);
VELA_DECLARE_EXCEPTION(EListError, Exception);
VELA_DECLARE_EXCEPTION(EStreamError, Exception);
VELA_DECLARE_EXCEPTION(EFCreateError, EStreamError);
VELA_DECLARE_EXCEPTION(EFOpenError, EStreamError);
VELA_DECLARE_EXCEPTION(EReadError, EStreamError);
VELA_DECLARE_EXCEPTION(EWriteError, EStreamError);
VELA_DECLARE_EXCEPTION(EInOutError, Exception);
VELA_DECLARE_EXCEPTION(EVariantError, Exception);
VELA_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError);
VELA_DECLARE_EXCEPTION(EIntfCastError, Exception);
VELA_DECLARE_EXCEPTION(ENotImplemented, Exception);
VELA_DECLARE_EXCEPTION(EArgumentException, Exception);
VELA_DECLARE_EXCEPTION(EDecompressionError, Exception);
VELA_DECLARE_EXCEPTION(EEncodingError, Exception);
VELA_DECLARE_EXCEPTION(EOSError, Exception);

// An exception that carries a flag telling whether its text is meant for the user.
class EUserFlaggedException : public Exception {
 public:
  explicit EUserFlaggedException(std::string msg = {}, bool userMessage = false)
      : Exception(std::move(msg)), FUserMessage(userMessage) {}
  bool IsUserMessage() const noexcept override { return FUserMessage; }
  void SetUserMessage(bool v) noexcept { FUserMessage = v; }

 private:
  bool FUserMessage;
};

// The host's VelaXML error. Raised for user texts with the user-message flag set.
class EVelaXMLImportError : public EUserFlaggedException {
 public:
  using EUserFlaggedException::EUserFlaggedException;
  const char* ClassName() const noexcept override { return "EVelaXMLImportError"; }
};

// The host's user-message exception: always shown to the user unchanged.
class EVelaUserMessageException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EVelaUserMessageException"; }
  bool IsUserMessage() const noexcept override { return true; }
};

class EFalderCustomException : public EUserFlaggedException {
 public:
  using EUserFlaggedException::EUserFlaggedException;
  const char* ClassName() const noexcept override { return "EFalderCustomException"; }
};

// "ClassName: Message" for any exception; std::exceptions that are not ours count as "Exception".
std::string ExceptionText(const std::exception& e);
// The class name of any exception ("Exception" for foreign ones).
std::string ExceptionClassName(const std::exception& e);

// Raises the silent abort.
[[noreturn]] void Abort();

// Raises EAssertionFailed with the message when the condition is false.
void Assert(bool condition, const std::string& message);

}  // namespace vela
