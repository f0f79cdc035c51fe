// Shared test helpers: the text of a raised exception, format settings for one test, and a
// fixture with a fresh folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

// What f raises, as "ClassName: message"; "<no exception>" when it returns.
template <class F>
std::string RaisedText(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return ExceptionText(e);
  }
  return "<no exception>";
}

// Sets the process's format settings for one test and restores them afterwards.
class FormatSettingsGuard {
 public:
  explicit FormatSettingsGuard(const TFormatSettings& use = {}) : FSaved(FormatSettings) {
    FormatSettings = use;
  }
  ~FormatSettingsGuard() { FormatSettings = FSaved; }

 private:
  TFormatSettings FSaved;
};

// A test with its own temporary folder, removed afterwards.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { FDir = CreateTempFolder({}, "test"); }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string Path(const std::string& name) const { return FDir + "/" + name; }
  void Write(const std::string& name, std::string_view bytes = {}) {
    TFileStream f(Path(name), fmCreate);
    f.WriteString(bytes);
  }
  std::string Read(const std::string& name) {
    TFileStream f(Path(name), fmOpenRead);
    return f.ReadToEnd();
  }
  std::string FDir;
};

}  // namespace vela
