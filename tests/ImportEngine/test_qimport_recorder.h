// A processor with recording event handlers, to observe what an engine delivers.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela::test {

struct TRecordedValue {
  std::string Name;
  std::string Value;
  TImportDataType Type;
};
using TRecordedRow = std::vector<TRecordedValue>;

struct TImportRecorder {
  TDataImportProcessor Processor;
  std::vector<TRecordedRow> Rows;
  std::vector<std::pair<std::string, TImportMessageType>> Messages;
  int StartCalls = 0;
  int AbortAtStart = -1;  // 0-based StartRecord call that answers abort
  bool Open = false;
  int ValuesOutsideRecord = 0;
  int PostCalls = 0;
  std::string ThrowOnValue;  // a SetValue with this value raises

  TImportRecorder() {
    Processor.SetOnStartRecord([this](TDataImportProcessor*, int32_t, bool& Abort) {
      if (StartCalls++ == AbortAtStart) {
        Abort = true;
        return;
      }
      Rows.emplace_back();
      Open = true;
    });
    Processor.SetOnSetValue([this](TDataImportProcessor*, std::string_view Name,
                                   std::string_view Value, TImportDataType Type, int32_t) {
      if (!ThrowOnValue.empty() && Value == ThrowOnValue) throw EConvertError("bad value");
      if (!Open) {
        ++ValuesOutsideRecord;
        return;
      }
      Rows.back().push_back({std::string(Name), std::string(Value), Type});
    });
    Processor.SetOnPostRecord([this](TDataImportProcessor*, int32_t) {
      Open = false;
      ++PostCalls;
    });
    Processor.SetOnEngineMessage(
        [this](TDataImportProcessor*, int32_t, std::string_view Msg, TImportMessageType Type) {
          Messages.emplace_back(std::string(Msg), Type);
        });
  }

  // The value of a field in a row; "<missing>" when the row lacks it.
  std::string Value(size_t Row, std::string_view Name) const {
    if (Row >= Rows.size()) return "<no row>";
    for (const TRecordedValue& v : Rows[Row])
      if (v.Name == Name) return v.Value;
    return "<missing>";
  }
};

// Sets the process format settings for one test and restores them afterwards.
struct TFormatSettingsGuard {
  TFormatSettings Saved = FormatSettings;
  explicit TFormatSettingsGuard(std::string_view Language) {
    FormatSettings = FormatSettingsFor(Language);
  }
  ~TFormatSettingsGuard() { FormatSettings = Saved; }
};

// A fresh folder below the system's temporary folder, removed with the object.
struct TTempDir {
  std::filesystem::path Path;
  explicit TTempDir(std::string_view Name) {
    Path = std::filesystem::temp_directory_path() /
           (std::string(Name) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string File(std::string_view Name) const { return (Path / Name).string(); }
};

}  // namespace vela::test
