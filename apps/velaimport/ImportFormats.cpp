#include "ImportFormats.h"

#include "CommandLine.h"
#include "plugins/_DataImportSourceSettingsIntf.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

[[noreturn]] void UnknownSourceSetting(const TFormatRef& f, const std::string& name) {
  throw EUsageError("--table-param: unknown source setting '" + name + "' for the format " +
                    f.Describe());
}

}  // namespace

std::string TFormatRef::Describe() const {
  return "'" + Title + "' (" + Engine->GetTitle() + ")";
}

std::vector<TFormatRef> Formats(IExtFuncDataImport& ext) {
  std::vector<TFormatRef> result;
  auto list = CommaTextToStringListData(ext.Get_GUIDCommaText());
  int32_t filterIndex = 0;
  for (const std::string& item : list->Items()) {
    TFormatRef f;
    f.Engine = ext.Get_Engine(item.substr(0, item.find('=')), f.FormatIndex);
    if (!f.Engine) continue;
    f.Engine->GetFormatInfo(f.FormatIndex, f.GUID, f.Title, f.FileExt);
    if (f.Engine->UseFormatForDialog(f.FormatIndex)) f.FilterIndex = ++filterIndex;
    result.push_back(std::move(f));
  }
  return result;
}

void CheckSource(const std::string& source) {
  if (LowerCase(source).find("provider=") != std::string::npos) return;
  if (source.find('@') != std::string::npos) return;
  if (!FileExists(source)) throw EUsageError("file not found: " + source);
}

TFormatRef ChooseFormat(IExtFuncDataImport& ext, const std::string& source, const std::string& guid,
                        int32_t filter) {
  std::string wanted = guid;
  if (filter > 0) {
    std::string title, fileExt;
    if (!ext.Get_FormatByFilterIndex(filter, wanted, title, fileExt))
      throw EUsageError("no import format with filter index " + IntToStr(filter));
  }
  for (auto& f : Formats(ext)) {
    if (!wanted.empty() ? SameText(f.GUID, wanted)
                        : f.Engine->IsFileForFormat(source, f.FormatIndex))
      return f;
  }
  if (!wanted.empty()) throw EUsageError("unknown import format " + wanted);
  throw EVelaUserMessageException("Can't find a import engine which supports the file '" + source +
                                  "'!");
}

TSourceSettings ParseSourceSettings(const std::vector<std::string>& params) {
  TSourceSettings result;
  for (const auto& p : params) {
    const size_t eq = p.find('=');
    if (eq == std::string::npos || eq == 0)
      throw EUsageError("--table-param needs NAME=VALUE: " + p);
    result.emplace_back(p.substr(0, eq), p.substr(eq + 1));
  }
  return result;
}

void CheckSourceSettings(const TFormatRef& f, const TSourceSettings& settings) {
  const bool takesSettings = Supports<IImportSourceSettings>(f.Engine) != nullptr;
  if (!settings.empty() && !takesSettings)
    throw EUsageError("--table-param: the format " + f.Describe() + " takes no source settings");
  if (settings.empty() && takesSettings)
    throw EUsageError("the format " + f.Describe() +
                      " needs source settings: give the table to read with --table-param "
                      "table=NAME");
}

IPtr<IDataImportEngine> PreparedEngine(const TFormatRef& f, const std::string& source,
                                       const TSourceSettings& settings) {
  auto engine = f.Engine->NewInstance();
  engine->SetParameter(source, f.FormatIndex, {}, nullptr);
  // After SetParameter, which forgets them.
  if (auto intf = Supports<IImportSourceSettings>(engine))
    for (const auto& [name, value] : settings)
      if (!intf->SetSourceParameter(name, value)) UnknownSourceSetting(f, name);
  return engine;
}

std::vector<std::string> ImportFields(const TFormatRef& f, const std::string& source,
                                      const TSourceSettings& settings) {
  auto engine = PreparedEngine(f, source, settings);
  IPtr<IStringListData> fields;
  if (!engine->QueryFields(fields, false)) {
    // Without a user interface the engine's own message is not shown: name what was asked.
    std::string text = "the format " + f.Describe() + " cannot read the fields of the source";
    for (size_t i = 0; i < settings.size(); ++i)
      text += (i ? ", " : " with ") + settings[i].first + "=" + settings[i].second;
    throw ECommandFailed(text);
  }
  return StringListDataToVector(fields.get());
}

void ApplySourceSettings(IDataImport& imp, const TFormatRef& f, const TSourceSettings& settings) {
  if (settings.empty()) return;
  auto intf = Supports<IDataImportSourceSettings>(&imp);
  if (!intf || !intf->Get_HasSourceSettings())
    throw EUsageError("--table-param: the format " + f.Describe() + " takes no source settings");
  for (const auto& [name, value] : settings)
    if (!intf->Set_SourceSetting(name, value)) UnknownSourceSetting(f, name);
}

}  // namespace vela::cli
