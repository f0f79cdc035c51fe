// The HTTP/1.1 listener of the application server: keep-alive connections served by a pool of
// request threads, a body limit checked against Content-Length before the body is read, header,
// idle and body timeouts, and a graceful stop. Every request goes to TVelaApplicationServer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vela {

class TVelaApplicationServer;

struct TVelaHttpServerOptions {
  std::string Address = "127.0.0.1";
  uint16_t Port = 8080;  // 0: any free port (see TVelaHttpServer::Port)
  int Threads = 4;       // request threads
  // Largest request body; a larger Content-Length is answered 413 before any of the body is
  // read, and a chunked body that grows past it is answered 413 too.
  uint64_t BodyLimit = 16u << 20;
  // A new connection must deliver a complete request header within this time.
  int HeaderTimeoutMs = 10000;
  // A kept-alive connection must deliver the next request header within this time, else it is
  // closed.
  int IdleTimeoutMs = 30000;
  // Reading a body and writing an answer each must end within this time.
  int BodyTimeoutMs = 60000;
  // Stop waits this long for running requests, then as long again for the shutdown checks and
  // the background jobs.
  int ShutdownTimeoutMs = 30000;
};

class TVelaHttpServer {
 public:
  TVelaHttpServer(TVelaApplicationServer& app, TVelaHttpServerOptions options);
  // Stops the server if it still runs.
  ~TVelaHttpServer();
  TVelaHttpServer(const TVelaHttpServer&) = delete;
  TVelaHttpServer& operator=(const TVelaHttpServer&) = delete;

  // Binds the address and starts the request threads. Raises Exception when the address cannot
  // be bound.
  void Start();
  // The bound port (the one chosen by the system for port 0).
  uint16_t Port() const;
  // Stops gracefully: no new connections; idle connections are closed; running requests finish
  // and are answered with "Connection: close"; then the application's shutdown checks are asked
  // until they agree, the background jobs are stopped and the threads end. Returns false when a
  // wait ran out of time (the server is stopped anyway). Must not be called from a request
  // thread.
  bool Stop();

  struct TImpl;  // the listener's state (Asio types stay out of this header)

 private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace vela
