#include "host/ScriptScheduleAction.h"

#include <utility>
#include <vector>

#include "host/MainInterface.h"
#include "platform/script/ScriptEngine.h"
#include "rtl/Classes.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

struct TScriptActionConfig {
  std::string Script;
  std::string Function;
  std::vector<std::pair<std::string, Variant>> Params;
};

TScriptActionConfig ReadConfig(const std::string& AConfigData) {
  TStringList lines;
  lines.SetText(AConfigData);
  TScriptActionConfig config;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string name = Trim(lines.Names(i));
    if (name.empty()) continue;
    const std::string value = lines.ValueFromIndex(i);
    if (SameText(name, "Script"))
      config.Script = Trim(value);
    else if (SameText(name, "Function"))
      config.Function = Trim(value);
    else
      config.Params.emplace_back(name, Variant(value));
  }
  return config;
}

// The outcome of the script's results: false (with an optional text after it) fails.
bool Succeeded(const std::vector<Variant>& AResults, std::string& AText) {
  if (AResults.size() > 1 && AResults[1].kind() == Variant::Kind::String)
    AText = AResults[1].AsString();
  return AResults.empty() || AResults[0].kind() != Variant::Kind::Boolean ||
         AResults[0].AsBoolean();
}

}  // namespace

bool RunScriptScheduleAction(const std::string& AApplicationFolder, const std::string& AConfigData,
                             const TScheduleCallback& ACallback) {
  auto report = [&](TScheduleMessageType AType, const std::string& AText) {
    if (ACallback) ACallback(kScriptScheduleActionCaption, AType, AText);
  };
  const TScriptActionConfig config = ReadConfig(AConfigData);
  const std::string what = config.Function.empty() ? "script '" + config.Script + "'"
                                                   : "function '" + config.Function +
                                                         "' of script '" + config.Script + "'";
  try {
    if (config.Script.empty())
      throw EScriptError("the configuration names no script (Script=FILE)");
    const std::string file = SandboxedPath(
        AApplicationFolder, ExpandApplicationPathMacros(AApplicationFolder, config.Script));
    if (!FileExists(file)) throw EScriptError("script '" + file + "' not found");
    TScriptEngine engine({.Sandbox = true, .RootFolder = AApplicationFolder});
    std::vector<Variant> results;
    if (config.Function.empty()) {
      results = engine.DoFileWithTable(file, config.Params);
    } else {
      engine.DoFile(file);
      if (!engine.HasFunction(config.Function))
        throw EScriptError("script '" + file + "' has no function '" + config.Function + "'");
      results = engine.CallWithTable(config.Function, config.Params);
    }
    std::string text;
    if (!Succeeded(results, text)) {
      report(smtError, text.empty() ? "the " + what + " returned false" : text);
      return false;
    }
    report(smtInformation, text.empty() ? "the " + what + " finished" : text);
    return true;
  } catch (const EScriptError& e) {
    report(smtError, e.Message());
    return false;
  }
}

void RegisterScriptScheduleAction(TVelaScheduler& AScheduler,
                                  const std::string& AApplicationFolder) {
  AScheduler.Register({kScriptScheduleActionId, kScriptScheduleActionCaption,
                       [AApplicationFolder](const std::string& AConfigData,
                                            const TScheduleCallback& ACallback, bool& ASuccess) {
                         ASuccess =
                             RunScriptScheduleAction(AApplicationFolder, AConfigData, ACallback);
                       }});
}

}  // namespace vela
