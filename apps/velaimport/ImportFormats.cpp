#include "ImportFormats.h"

#include "CommandLine.h"
#include "ImportEngine/_ImportEngineInfoIntf.h"
#include "plugins/_DataImportSourceSettingsIntf.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

[[noreturn]] void UnknownSourceSetting(const TFormatRef& f, const std::string& name) {
  throw EUsageError("--table-param: unknown source setting '" + name + "' for the format " +
                    f.Describe());
}

// The short names of the formats with a fixed GUID.
struct TFormatName {
  const char* Name;
  const char* GUID;
};
const TFormatName kFormatNames[] = {
    {"csv", "{4AD627B0-DFD6-4DE3-A51E-AF51926B89FA}"},
    {"dbf", "{3BA9F1E6-095F-4F5D-9B0E-87FD312CCA54}"},
    {"packet", "{E6D9313A-B24F-40D0-BA0D-FA27F710176D}"},
    {"vcard", "{70061FE5-7F9A-4E4C-9206-D5F089CC4F60}"},
    {"ldif", "{1F9694D0-7F02-4781-8481-0998BAD6FFF1}"},
    {"odbc", "{E5AE2E16-7A13-452E-A077-94265E78C607}"},
    {"outlook", "{4705EAE6-C131-4FEF-A16D-1470BF85558F}"},
};

// The name "text": any data schema of the text engine.
constexpr const char* kTextName = "text";

std::string KnownNames(const std::vector<TFormatRef>& formats) {
  std::string names = kTextName;
  for (const auto& f : formats)
    if (!f.Name.empty()) names += ", " + f.Name;
  return names;
}

}  // namespace

const char* const kNoEngineHint =
    "`velaimport formats` lists the import formats; give one with --format NAME. Data schemas "
    "for text files are *.tic files in the custom folder of the application folder";

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
    if (auto names = Supports<IImportFormatNames>(f.Engine)) {
      f.Name = names->GetFormatName(f.FormatIndex);
      f.ByName = true;
    }
    for (const auto& n : kFormatNames)
      if (f.Name.empty() && SameText(f.GUID, n.GUID)) f.Name = n.Name;
    result.push_back(std::move(f));
  }
  return result;
}

void CheckSource(const std::string& source) {
  if (LowerCase(source).find("provider=") != std::string::npos) return;
  if (source.find('@') != std::string::npos) return;
  if (DirectoryExists(source)) throw EUsageError(source + " is a folder, not a file");
  if (!FileExists(source)) throw EUsageError("file not found: " + source);
}

TFormatRef ChooseFormat(IExtFuncDataImport& ext, const std::string& source,
                        const std::string& format, int32_t filter) {
  std::string wanted = format;
  if (filter > 0) {
    std::string title, fileExt;
    if (!ext.Get_FormatByFilterIndex(filter, wanted, title, fileExt))
      throw EUsageError("no import format with filter index " + IntToStr(filter));
  }
  const auto formats = Formats(ext);
  const bool anySchema = SameText(wanted, kTextName);
  for (const auto& f : formats) {
    const bool match = anySchema ? f.ByName && f.Engine->IsFileForFormat(source, f.FormatIndex)
                       : !wanted.empty() ? SameText(f.GUID, wanted) || SameText(f.Name, wanted)
                                         : f.Engine->IsFileForFormat(source, f.FormatIndex);
    if (match) return f;
  }
  if (anySchema)
    throw EUsageError("no data schema takes the file '" + source +
                      "' (data schemas are *.tic files in the custom folder)");
  if (!wanted.empty())
    throw EUsageError("unknown import format '" + wanted + "'; known: " + KnownNames(formats) +
                      " or a GUID (see `velaimport formats`)");
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
