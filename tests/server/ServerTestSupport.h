// Helpers for tests of the application server: a small HTTP client on libcurl (one handle, so
// that consecutive requests share a kept-alive connection) and a raw socket for requests that a
// well-behaved client would not send.
#pragma once

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vela::test {

struct THttpAnswer {
  long Status = 0;  // 0: no answer (the error is in Error)
  std::string Body;
  std::string Headers;      // the raw header lines
  long NewConnections = 0;  // connections the request had to open (0: it reused one)
  std::string Error;
};

class THttpClient {
 public:
  explicit THttpClient(uint16_t port) : FBase("http://127.0.0.1:" + std::to_string(port)) {
    FCurl = curl_easy_init();
  }
  ~THttpClient() { curl_easy_cleanup(FCurl); }
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // A request to path (with query); a non-empty token is sent as a bearer token.
  THttpAnswer Request(const std::string& method, const std::string& path,
                      const std::string& body = {}, const std::string& token = {},
                      std::vector<std::string> headers = {}) {
    THttpAnswer a;
    curl_easy_reset(FCurl);
    const std::string url = FBase + path;
    curl_easy_setopt(FCurl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(FCurl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(FCurl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(FCurl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "POST" || !body.empty()) {
      curl_easy_setopt(FCurl, CURLOPT_POSTFIELDS, body.c_str());
      curl_easy_setopt(FCurl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    if (!token.empty()) headers.push_back("Authorization: Bearer " + token);
    curl_slist* list = nullptr;
    for (const auto& h : headers)
      list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(FCurl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(FCurl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(FCurl, CURLOPT_WRITEDATA, &a.Body);
    curl_easy_setopt(FCurl, CURLOPT_HEADERFUNCTION, &Append);
    curl_easy_setopt(FCurl, CURLOPT_HEADERDATA, &a.Headers);
    const CURLcode rc = curl_easy_perform(FCurl);
    curl_slist_free_all(list);
    if (rc != CURLE_OK) {
      a.Error = curl_easy_strerror(rc);
      return a;
    }
    curl_easy_getinfo(FCurl, CURLINFO_RESPONSE_CODE, &a.Status);
    curl_easy_getinfo(FCurl, CURLINFO_NUM_CONNECTS, &a.NewConnections);
    return a;
  }
  THttpAnswer Post(const std::string& path, const std::string& body,
                   const std::string& token = {}) {
    return Request("POST", path, body, token, {"Content-Type: application/json"});
  }

 private:
  static size_t Append(char* data, size_t size, size_t count, void* sink) {
    static_cast<std::string*>(sink)->append(data, size * count);
    return size * count;
  }
  std::string FBase;
  CURL* FCurl;
};

// Sends text on a new connection to 127.0.0.1:port and returns what arrives until the server
// closes the connection or timeoutMs pass without data.
inline std::string RawExchange(uint16_t port, const std::string& text, int timeoutMs = 5000) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[4096];
    for (ssize_t got; (got = recv(fd, buf, sizeof buf, 0)) > 0;)
      answer.append(buf, static_cast<size_t>(got));
  }
  close(fd);
  return answer;
}

}  // namespace vela::test
