#include "CommandLine.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <mutex>

#include "ModuleHost.h"
#include "host/ProgressService.h"
#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {

// JSON text on one line; bytes that are no UTF-8 (a file name in another code page) become
// U+FFFD instead of failing the command.
std::string JsonLine(const TJson& json) {
  return json.dump(-1, ' ', false, TJson::error_handler_t::replace) + "\n";
}

// The text of a failure: user texts as they are, anything else as "ClassName: message".
std::string FailureText(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Exception*>(&e); own && own->IsUserMessage())
    return own->Message();
  return ExceptionText(e);
}

// The commands below an app, comma-separated.
std::string CommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    names += (names.empty() ? "" : ", ") + sub->get_name();
  return names;
}

// The text of a parse error. CLI11 checks the required options before it complains about
// arguments it did not know, and calls an unknown command a missing one: a misspelt option or
// command is named first, as what it is.
std::string ParseErrorText(const CLI::App& root, const CLI::ParseError& e) {
  const CLI::App* app = &root;
  while (!app->get_subcommands().empty())
    app = app->get_subcommands().front();
  const std::vector<std::string> extra = root.remaining(true);
  std::string unknown;
  for (const std::string& arg : extra)
    if (arg.size() > 1 && arg[0] == '-') unknown += (unknown.empty() ? "" : ", ") + arg;
  if (!unknown.empty()) return "unknown option: " + unknown;
  const bool needsCommand = app->get_require_subcommand_min() > 0;
  if (needsCommand && !extra.empty())
    return "unknown command '" + extra.front() + "'; the commands are: " + CommandNames(*app);
  if (needsCommand) return "a command is required; the commands are: " + CommandNames(*app);
  return e.what();
}

}  // namespace

// --- TCommandContext ---

TCommandContext::TCommandContext(const GlobalOptions& global)
    : FGlobal(global), FProgressAllowed(!global.NoProgress && !global.Json && ::isatty(2)) {
  if (!global.Home.empty()) SetApplicationFolder(global.Home);
}

TCommandContext::~TCommandContext() {
  if (FDatabaseUser) {
    FDatabaseUser->SetDatabase(nullptr);
    FDatabaseUser->SetProgressService(nullptr);
    FDatabaseUser->SetLogSink(nullptr);
  }
  FModule.reset();
  FDatabase.reset();
}

void TCommandContext::Output(const TJson& json, const std::function<void(std::ostream&)>& text) {
  if (FGlobal.Json)
    std::cout << JsonLine(json);
  else if (text)
    text(std::cout);
}

void TCommandContext::Message(TMessageKind kind, const std::string& text) {
  if (kind == TMessageKind::Info && FGlobal.Quiet) return;
  static const char* const kNames[] = {"info", "warning", "error", "hint"};
  const char* name = kNames[static_cast<int>(kind)];
  // The host's event log writes here from request and job threads too: one line at a time.
  static std::mutex lock;
  std::lock_guard guard(lock);
  EndProgress();
  if (FGlobal.Json)
    std::cerr << JsonLine(TJson{{"type", name}, {"message", text}});
  else
    std::cerr << name << ": " << text << "\n";
}

void TCommandContext::Progress(const std::string& text) {
  if (!FProgressAllowed) return;
  std::cerr << "\r" << text << std::flush;
  FProgressShown = true;
}

void TCommandContext::EndProgress() {
  if (FProgressShown) std::cerr << "\r\033[K" << std::flush;
  FProgressShown = false;
}

TModuleHost& TCommandContext::Module() {
  if (!FModule) {
    auto module = std::make_unique<TModuleHost>(FGlobal, FServerHost);
    // A server opens its database before the plug-ins start: they register services on it.
    if (FServerHost) AttachDatabase(*module);
    if (auto* main = dynamic_cast<TVelaMainInterface*>(module->MainInterface()))
      for (const auto& [name, value] : FHostSettings)
        main->SetGlobalSetting(name, value);
    module->Start();
    FModule = std::move(module);
  }
  return *FModule;
}

IPtr<IInterface> TCommandContext::ModuleExtFunc(const TGUID& iid) {
  IPtr<IInterface> ext;
  Module().Plugin()->Do_GetExtFunc(iid, ext);
  return ext;
}

TVelaDatabase& TCommandContext::Database() {
  if (!FDatabase) {
    std::string url;
    try {
      url = TVelaDatabase::ResolveUrl(FGlobal.Db);
      BackendOfUrl(url);
    } catch (const std::exception& e) {
      throw EUsageError(e.what());
    }
    FDatabase = TVelaDatabase::Open(url);
  }
  return *FDatabase;
}

namespace {

// The host's progress display on the command's progress line (transfers, pre-processors).
class TCliProgressService : public TInterfacedObject, public IVelaProgressService {
  VELA_INTERFACES(TInterfacedObject, IVelaProgressService)

 public:
  explicit TCliProgressService(TCommandContext& AContext) : FContext(AContext) {}
  void StartProgress(const std::string& ACaption, TVelaProgressKind) noexcept override {
    FCaption = ACaption;
    Show(FCaption);
  }
  void StepProgress(int64_t APosition, int64_t ATotal, const std::string& AText) noexcept override {
    std::string line = FCaption + ": " + (AText.empty() ? std::to_string(APosition) : AText);
    if (ATotal > 0) line += " of " + std::to_string(ATotal);
    Show(line);
  }
  void EndProgress() noexcept override {
    try {
      FContext.EndProgress();
    } catch (...) {
    }
  }

 private:
  void Show(const std::string& ALine) noexcept {
    try {
      FContext.Progress(ALine);
    } catch (...) {
      // A progress line that cannot be drawn is no reason to fail.
    }
  }
  TCommandContext& FContext;
  std::string FCaption;
};

}  // namespace

void TCommandContext::AttachDatabase(TModuleHost& AModule) {
  if (FDatabaseUser) return;
  TVelaDatabase& db = Database();
  auto* main = dynamic_cast<TVelaMainInterface*>(AModule.MainInterface());
  if (!main) throw Exception("the host's main interface takes no database");
  main->SetDatabase(&db);
  main->SetProgressService(IPtr<IVelaProgressService>(new TCliProgressService(*this)));
  // The event log's messages are the command's messages as well.
  main->SetLogSink([this](bool isError, const std::string& text) {
    Message(isError ? TMessageKind::Error : TMessageKind::Info, text);
  });
  FDatabaseUser = main;
}

TVelaDatabase& TCommandContext::ModuleDatabase() {
  TVelaDatabase& db = Database();
  if (!FLanguageSet) {
    AttachDatabase(Module());
    // The data modules label the host tables' fields in the user's language.
    Module().Plugin()->Do_SetLanguage(FDatabaseUser->Get_Language());
    FLanguageSet = true;
  }
  return db;
}

void TCommandContext::Close() {
  EndProgress();
  if (FDatabaseUser) {
    FDatabaseUser->SetDatabase(nullptr);
    FDatabaseUser->SetProgressService(nullptr);
    FDatabaseUser->SetLogSink(nullptr);
  }
  FDatabaseUser = nullptr;
  if (FModule) {
    if (!FModule->CanShutDown())
      Message(TMessageKind::Warning, "the module reports running work; shutting down anyway");
    FModule.reset();
  }
  FDatabase.reset();
}

// --- TCommandLine ---

TCommandLine::TCommandLine()
    : FApp("velaimport - the VelaServerDataImport host: imports and exports data") {
  FApp.require_subcommand(1);
  FApp.fallthrough();
  if (const char* home = std::getenv("VELA_HOME")) FGlobal.Home = home;
  FApp.add_option("--home", FGlobal.Home, "the application folder ($APP$)");
  FApp.add_option("--db", FGlobal.Db, "database URL: sqlite:PATH or postgresql://...");
  FApp.add_option("--lang", FGlobal.Lang, "language of the system's messages")
      ->check(CLI::IsMember({"en", "de"}));
  FApp.add_flag("--json", FGlobal.Json, "machine-readable output");
  FApp.add_flag("--quiet", FGlobal.Quiet, "fewer messages");
  FApp.add_flag("--verbose", FGlobal.Verbose, "more messages");
  FApp.add_flag("--no-progress", FGlobal.NoProgress, "no progress bar");
  FApp.add_option("--rights", FGlobal.Rights, "rights of the running user, comma-separated");
}

CLI::App* TCommandLine::AddGroup(const std::string& name, const std::string& description) {
  CLI::App* group = FApp.add_subcommand(name, description);
  group->require_subcommand(1);
  return group;
}

CLI::App* TCommandLine::Add(const std::string& name, const std::string& description,
                            TCommandBody body) {
  return Add(FApp, name, description, std::move(body));
}

CLI::App* TCommandLine::Add(CLI::App& group, const std::string& name,
                            const std::string& description, TCommandBody body) {
  CLI::App* command = group.add_subcommand(name, description);
  command->callback([this, body = std::move(body)] { FChosen = body; });
  return command;
}

int TCommandLine::Run(int argc, char** argv) {
  try {
    FApp.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and its kin print and succeed; any other parse error is a usage error.
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return FApp.exit(e);
    TCommandContext(FGlobal).Message(TMessageKind::Error, ParseErrorText(FApp, e));
    return kExitUsage;
  }
  TCommandContext context(FGlobal);
  try {
    const int rc = FChosen ? FChosen(context) : kExitUsage;
    context.Close();
    return rc;
  } catch (const EUsageError& e) {
    context.Message(TMessageKind::Error, e.Message());
    return kExitUsage;
  } catch (const EAbort&) {
    return kExitFailed;
  } catch (const std::exception& e) {
    context.Message(TMessageKind::Error, FailureText(e));
    return kExitFailed;
  }
}

}  // namespace vela::cli
