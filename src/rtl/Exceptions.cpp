#include "rtl/Exceptions.h"

namespace vela {

std::string ExceptionClassName(const std::exception& e) {
  if (auto* ve = dynamic_cast<const Exception*>(&e)) return ve->ClassName();
  return "Exception";
}

std::string ExceptionText(const std::exception& e) {
  return ExceptionClassName(e) + ": " + e.what();
}

void Abort() {
  throw EAbort();
}

void Assert(bool condition, const std::string& message) {
  if (!condition) throw EAssertionFailed(message);
}

}  // namespace vela
