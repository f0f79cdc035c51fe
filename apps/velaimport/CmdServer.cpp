// velaimport serve: the application server (REST API, background jobs) until SIGINT or SIGTERM;
// velaimport token add|list|remove: the access tokens of REST clients.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <iostream>
#include <memory>

#include "Commands.h"
#include "ModuleHost.h"
#include "host/HostServices.h"
#include "host/db/VelaDatabase.h"
#include "host/server/AccessTokens.h"
#include "host/server/HttpServer.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

namespace {

struct TServeOptions {
  std::string Listen = "127.0.0.1:8080";
  int Threads = 4;
  uint64_t BodyLimit = 16u << 20;
  int Recheck = 30;
};

// "ADDR:PORT" or "[IPv6]:PORT".
void ParseListen(const std::string& text, TVelaHttpServerOptions& options) {
  const size_t colon = text.rfind(':');
  std::string address = colon == std::string::npos ? std::string() : text.substr(0, colon);
  if (address.size() > 2 && address.front() == '[' && address.back() == ']')
    address = address.substr(1, address.size() - 2);
  int64_t port = -1;
  if (colon != std::string::npos) port = StrToInt64Def(text.substr(colon + 1), -1);
  if (address.empty() || port < 0 || port > 65535)
    throw EUsageError("--listen needs ADDRESS:PORT (for example 127.0.0.1:8080), not '" + text +
                      "'");
  options.Address = address;
  options.Port = static_cast<uint16_t>(port);
}

// Takes the owner lock of a SQLite database (a lock file beside it); -1 for PostgreSQL, which
// several servers share.
int LockSQLiteOwner(TVelaDatabase& db) {
  if (db.Kind() != TDbBackendKind::SQLite) return -1;
  const std::string url = db.Url();
  const std::string file = (url.rfind("sqlite:", 0) == 0 ? url.substr(7) : url) + ".serve-lock";
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw ECommandFailed("cannot create the server lock file '" + file + "'");
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    throw ECommandFailed("the database '" + url +
                         "' is served by another velaimport serve already: on SQLite one server "
                         "owns the database (several servers need PostgreSQL)");
  }
  return fd;
}

int RunServe(TCommandContext& c, const TServeOptions& o) {
  TVelaHttpServerOptions options;
  ParseListen(o.Listen, options);
  if (o.Threads < 1) throw EUsageError("--threads needs at least 1");
  options.Threads = o.Threads;
  options.BodyLimit = o.BodyLimit;

  // The signals are taken by sigwait below; every thread started from here on blocks them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  c.UseServerHost();
  if (o.Recheck < 0) throw EUsageError("--recheck needs 0 or more seconds");
  c.SetHostSetting("BIRecheckSeconds", std::to_string(o.Recheck));
  // On SQLite one server owns the database: the lock lives as long as this process.
  const int ownerLock = LockSQLiteOwner(c.Database());
  TVelaDatabase& db = c.ModuleDatabase();
  auto service = Supports<IVelaApplicationServerService>(c.Module().MainInterface());
  if (!service) throw ECommandFailed("the host offers no application server");
  TVelaApplicationServer& app = service->Get_ApplicationServer();
  TVelaAccessTokens tokens(db);
  app.SetAuthenticator([&tokens](std::string_view token) { return tokens.Verify(token); });
  TModuleHost& module = c.Module();
  const int check = app.AddShutDownCheck([&module] { return module.CanShutDown(); });

  TVelaHttpServer server(app, options);
  server.Start();
  const std::string address = options.Address.find(':') != std::string::npos
                                  ? "[" + options.Address + "]"
                                  : options.Address;
  const std::string listen = address + ":" + std::to_string(server.Port());
  c.Output({{"listen", listen}},
           [&](std::ostream& out) { out << "listening on " << listen << "\n"; });
  std::cout.flush();

  int signal = 0;
  sigwait(&signals, &signal);
  c.Message(TMessageKind::Info,
            std::string("stopping (") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ")");
  const bool inTime = server.Stop();
  app.RemoveShutDownCheck(check);
  app.SetAuthenticator(nullptr);
  if (!inTime) c.Message(TMessageKind::Warning, "running work did not end in time; stopped anyway");
  if (ownerLock >= 0) close(ownerLock);
  return kExitOk;
}

int RunTokenAdd(TCommandContext& c, const std::string& name, const std::string& rights) {
  TVelaAccessTokens tokens(c.Database());
  std::string token;
  try {
    token = tokens.Add(name, rights);
  } catch (const EConvertError& e) {
    throw EUsageError("--rights: " + e.Message());
  }
  c.Output({{"name", name}, {"token", token}}, [&](std::ostream& out) { out << token << "\n"; });
  return kExitOk;
}

int RunTokenList(TCommandContext& c) {
  TVelaAccessTokens tokens(c.Database());
  const auto list = tokens.List();
  TJson json = TJson::array();
  for (const auto& t : list)
    json.push_back({{"name", t.Name}, {"rights", t.Rights}, {"created", t.Created}});
  c.Output({{"tokens", json}}, [&](std::ostream& out) {
    for (const auto& t : list)
      out << t.Name << "  " << t.Created << "  " << (t.Rights.empty() ? "all rights" : t.Rights)
          << "\n";
  });
  return kExitOk;
}

int RunTokenRemove(TCommandContext& c, const std::string& name) {
  TVelaAccessTokens tokens(c.Database());
  if (!tokens.Remove(name)) throw ECommandFailed("no access token named '" + name + "'");
  c.Output({{"result", true}, {"removed", name}});
  return kExitOk;
}

}  // namespace

void RegisterServerCommands(TCommandLine& cli) {
  auto serve = std::make_shared<TServeOptions>();
  auto* cmd = cli.Add("serve", "the application server: REST API and background jobs",
                      [serve](TCommandContext& c) { return RunServe(c, *serve); });
  cmd->add_option("--listen", serve->Listen, "ADDRESS:PORT to listen on (port 0: any free port)")
      ->capture_default_str();
  cmd->add_option("--threads", serve->Threads, "request threads")->capture_default_str();
  cmd->add_option("--body-limit", serve->BodyLimit, "largest request body in bytes")
      ->capture_default_str();
  cmd->add_option("--recheck", serve->Recheck,
                  "seconds between checks for containers stored by other processes or left by "
                  "a server that died (0: none)")
      ->capture_default_str();

  struct TTokenOptions {
    std::string Name;
    std::string Rights;
  };
  auto o = std::make_shared<TTokenOptions>();
  auto* token = cli.AddGroup("token", "access tokens of REST clients");
  auto* add = cli.Add(*token, "add", "create a token and print it (it is shown only once)",
                      [o](TCommandContext& c) { return RunTokenAdd(c, o->Name, o->Rights); });
  add->add_option("NAME", o->Name, "the token's name")->required();
  add->add_option("--rights", o->Rights, "rights of the token's holder, comma-separated numbers");
  cli.Add(*token, "list", "the tokens with their rights", RunTokenList);
  auto* remove = cli.Add(*token, "remove", "remove a token: clients using it are refused",
                         [o](TCommandContext& c) { return RunTokenRemove(c, o->Name); });
  remove->add_option("NAME", o->Name, "the token's name")->required();
}

}  // namespace vela::cli
