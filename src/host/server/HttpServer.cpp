#include "host/server/HttpServer.h"

// <utility> before Asio: Boost 1.74 with g++ 12 in C++20 needs it.
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "host/server/ApplicationServer.h"
#include "rtl/Exceptions.h"

namespace vela {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr uint32_t kHeaderLimit = 16 * 1024;
const char* const kServerName = "VelaServerDataImport";

class TConnection;

}  // namespace

struct TVelaHttpServer::TImpl {
  TImpl(TVelaApplicationServer& app, TVelaHttpServerOptions options)
      : App(app), Options(std::move(options)), Acceptor(asio::make_strand(Io)) {}

  void Accept();
  void ConnectionStarted(const std::shared_ptr<TConnection>& conn);
  void ConnectionEnded();

  TVelaApplicationServer& App;
  TVelaHttpServerOptions Options;
  // Before the io context: connections that its destruction frees still report their end.
  std::mutex Lock;
  std::condition_variable Ended;
  std::list<std::weak_ptr<TConnection>> Connections;  // pruned as connections end
  int Active = 0;
  asio::io_context Io;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> Work;
  tcp::acceptor Acceptor;
  std::vector<std::thread> Threads;
  std::atomic<bool> Stopping{false};
  bool Running = false;
  uint16_t BoundPort = 0;
};

namespace {

// One client connection: reads requests one after the other and answers each before reading
// the next. All its work runs on its own strand.
class TConnection : public std::enable_shared_from_this<TConnection> {
 public:
  TConnection(TVelaHttpServer::TImpl& server, tcp::socket socket)
      : FServer(server), FStream(std::move(socket)) {
    beast::error_code ec;
    const auto remote = FStream.socket().remote_endpoint(ec);
    if (!ec) FRemoteIP = remote.address().to_string();
  }
  ~TConnection() { FServer.ConnectionEnded(); }

  void Start() {
    asio::dispatch(FStream.get_executor(), [self = shared_from_this()] {
      self->ReadHeader(self->FServer.Options.HeaderTimeoutMs);
    });
  }

  // Closes the connection when it waits for a request; a running request finishes first.
  void CloseIfIdle() {
    asio::post(FStream.get_executor(), [self = shared_from_this()] {
      if (self->FIdle) self->Close();
    });
  }

 private:
  void ReadHeader(int timeoutMs) {
    if (FServer.Stopping) return Close();
    FParser.emplace();
    FParser->header_limit(kHeaderLimit);
    // The parser would refuse a large Content-Length while reading the header; the limit is
    // checked on the complete header instead, so that the answer can name it.
    FParser->body_limit(std::numeric_limits<std::uint64_t>::max());
    FIdle = true;
    FStream.expires_after(std::chrono::milliseconds(timeoutMs));
    http::async_read_header(
        FStream, FBuffer, *FParser,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->OnHeader(ec); });
  }

  void OnHeader(beast::error_code ec) {
    FIdle = false;
    if (ec == http::error::header_limit) return Answer(431, "Request header too large", false);
    if (ec) return Close();
    const auto length = FParser->content_length();
    if (length && *length > FServer.Options.BodyLimit)
      return Answer(413,
                    "Request body of " + std::to_string(*length) + " bytes exceeds the limit of " +
                        std::to_string(FServer.Options.BodyLimit) + " bytes",
                    false);
    FParser->body_limit(FServer.Options.BodyLimit);
    auto& req = FParser->get();
    if (beast::iequals(req[http::field::expect], "100-continue")) {
      // The client waits for leave to send its body.
      http::response<http::empty_body> go{http::status::continue_, req.version()};
      http::write(FStream, go, ec);
      if (ec) return Close();
    }
    FStream.expires_after(std::chrono::milliseconds(FServer.Options.BodyTimeoutMs));
    http::async_read(
        FStream, FBuffer, *FParser,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->OnBody(ec); });
  }

  void OnBody(beast::error_code ec) {
    if (ec == http::error::body_limit)
      return Answer(413,
                    "Request body exceeds the limit of " +
                        std::to_string(FServer.Options.BodyLimit) + " bytes",
                    false);
    if (ec) return Close();
    FStream.expires_never();
    auto req = FParser->release();
    THeaderList headers;
    for (const auto& field : req)
      headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    TVelaRestRequestContext ctx(std::string(req.method_string()), std::string(req.target()),
                                std::move(headers), std::move(req.body()), FRemoteIP);
    FServer.App.HandleRequest(ctx);
    auto res = std::make_shared<http::response<http::string_body>>();
    res->version(req.version());
    if (ctx.Answered()) {
      res->result(static_cast<unsigned>(ctx.Status()));
      for (const auto& [name, value] : ctx.OutHeaders())
        res->insert(name, value);
      res->body() = ctx.OutContent();
    } else {
      res->result(http::status::internal_server_error);
      res->set(http::field::content_type, "text/plain");
    }
    Send(std::move(res), req.keep_alive() && !FServer.Stopping, req.method() == http::verb::head);
  }

  void Answer(unsigned status, const std::string& text, bool keepAlive) {
    auto res = std::make_shared<http::response<http::string_body>>();
    res->result(status);
    res->set(http::field::content_type, "text/plain; charset=utf-8");
    res->body() = text;
    Send(std::move(res), keepAlive, false);
  }

  void Send(std::shared_ptr<http::response<http::string_body>> res, bool keepAlive, bool head) {
    res->set(http::field::server, kServerName);
    res->keep_alive(keepAlive);
    res->prepare_payload();
    if (head) res->body().clear();
    FStream.expires_after(std::chrono::milliseconds(FServer.Options.BodyTimeoutMs));
    http::async_write(FStream, *res,
                      [self = shared_from_this(), res, keepAlive](beast::error_code ec, size_t) {
                        if (ec || !keepAlive) return self->Close();
                        self->ReadHeader(self->FServer.Options.IdleTimeoutMs);
                      });
  }

  void Close() {
    FIdle = false;
    beast::error_code ec;
    FStream.socket().shutdown(tcp::socket::shutdown_both, ec);
    FStream.close();
  }

  TVelaHttpServer::TImpl& FServer;
  beast::tcp_stream FStream;
  beast::flat_buffer FBuffer;
  std::optional<http::request_parser<http::string_body>> FParser;
  std::string FRemoteIP;
  bool FIdle = false;  // waiting for a request header
};

}  // namespace

void TVelaHttpServer::TImpl::Accept() {
  Acceptor.async_accept(asio::make_strand(Io), [this](beast::error_code ec, tcp::socket socket) {
    if (ec || Stopping) return;  // the acceptor was closed
    auto conn = std::make_shared<TConnection>(*this, std::move(socket));
    ConnectionStarted(conn);
    conn->Start();
    Accept();
  });
}

void TVelaHttpServer::TImpl::ConnectionStarted(const std::shared_ptr<TConnection>& conn) {
  std::lock_guard lock(Lock);
  ++Active;
  Connections.remove_if([](const std::weak_ptr<TConnection>& c) { return c.expired(); });
  Connections.push_back(conn);
}

void TVelaHttpServer::TImpl::ConnectionEnded() {
  std::lock_guard lock(Lock);
  --Active;
  Ended.notify_all();
}

TVelaHttpServer::TVelaHttpServer(TVelaApplicationServer& app, TVelaHttpServerOptions options)
    : FImpl(std::make_unique<TImpl>(app, std::move(options))) {}

TVelaHttpServer::~TVelaHttpServer() {
  Stop();
}

void TVelaHttpServer::Start() {
  TImpl& s = *FImpl;
  if (s.Running) return;
  try {
    const tcp::endpoint endpoint(asio::ip::make_address(s.Options.Address), s.Options.Port);
    s.Acceptor.open(endpoint.protocol());
    s.Acceptor.set_option(asio::socket_base::reuse_address(true));
    s.Acceptor.bind(endpoint);
    s.Acceptor.listen(asio::socket_base::max_listen_connections);
    s.BoundPort = s.Acceptor.local_endpoint().port();
  } catch (const std::exception& e) {
    beast::error_code ec;
    s.Acceptor.close(ec);
    throw Exception("Cannot listen on " + s.Options.Address + ":" + std::to_string(s.Options.Port) +
                    ": " + e.what());
  }
  s.Work.emplace(s.Io.get_executor());
  s.Accept();
  const int threads = s.Options.Threads < 1 ? 1 : s.Options.Threads;
  for (int i = 0; i < threads; ++i)
    s.Threads.emplace_back([&s] { s.Io.run(); });
  s.Running = true;
}

uint16_t TVelaHttpServer::Port() const {
  return FImpl->BoundPort;
}

bool TVelaHttpServer::Stop() {
  TImpl& s = *FImpl;
  if (!s.Running) return true;
  s.Running = false;
  s.Stopping = true;
  asio::post(s.Acceptor.get_executor(), [&s] {
    beast::error_code ec;
    s.Acceptor.close(ec);
  });
  std::vector<std::shared_ptr<TConnection>> open;
  {
    std::lock_guard lock(s.Lock);
    for (auto& weak : s.Connections)
      if (auto conn = weak.lock()) open.push_back(std::move(conn));
  }
  for (auto& conn : open)
    conn->CloseIfIdle();
  open.clear();
  const auto timeout = std::chrono::milliseconds(s.Options.ShutdownTimeoutMs);
  bool inTime;
  {
    std::unique_lock lock(s.Lock);
    inTime = s.Ended.wait_for(lock, timeout, [&s] { return s.Active == 0; });
  }
  // The plug-ins agree to the shutdown once their work has ended.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!s.App.CanShutDown()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      inTime = false;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  s.App.Jobs().Stop();
  s.Work.reset();
  s.Io.stop();
  for (auto& t : s.Threads)
    t.join();
  s.Threads.clear();
  return inTime;
}

}  // namespace vela
