// A small HTTP server on 127.0.0.1 for one test: every connection gets the
// fixed answer of its path (404 for unknown paths, or one answer for every
// path), optionally after a delay, so that a page can stay loading for a
// while; an answer can also act on the machine while its request is open. The browser opens several connections at once, and some without a
// request: each is served on its own thread and given up after a short
// silence, so no client can keep a test from ending.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace testing_support {

class TestHttpServer {
 public:
  struct Answer {
    std::string response;  // the whole response, status line and headers included
    int delayMs = 0;       // before anything is sent; cut short when the server stops
    // Run once the request has arrived, before the delay: what a third party
    // does while the client waits for the answer.
    std::function<void()> act{};
    int holdMs = 0;  // after the response is sent, before closing; cut short when the server stops
  };

  // Unknown paths get `otherwise` when given, else 404 without a body.
  explicit TestHttpServer(std::map<std::string, Answer> answers,
                          std::optional<Answer> otherwise = std::nullopt)
      : answers_(std::move(answers)), otherwise_(std::move(otherwise)) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listen_, 32);
    socklen_t len = sizeof addr;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;
  ~TestHttpServer() {
    stop_ = true;
    shutdown(listen_, SHUT_RDWR);
    close(listen_);
    acceptor_.join();
    // Joined without the lock: a worker still records its request under it.
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      workers.swap(workers_);
    }
    for (std::thread& t : workers) t.join();
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  // The paths asked for so far, in order of arrival.
  std::vector<std::string> Paths() {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_;
  }
  bool WasAskedFor(const std::string& path) {
    for (const std::string& p : Paths())
      if (p == path) return true;
    return false;
  }

  // `extraHeaders`: whole header lines, each ending in "\r\n".
  static std::string Response(const std::string& body, const std::string& type = "text/html; charset=utf-8",
                              const std::string& status = "200 OK", const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nCache-Control: no-store\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
  }

 private:
  void Accept() {
    while (!stop_) {
      int c = accept(listen_, nullptr, nullptr);
      if (c < 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      workers_.emplace_back([this, c] { Serve(c); });
    }
  }

  void Serve(int c) {
    // A client that goes silent, or stops reading, gives up its worker.
    timeval wait{2, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<size_t>(n));
    }
    if (request.find("\r\n") == std::string::npos) {
      close(c);
      return;
    }
    std::string line = request.substr(0, request.find("\r\n"));
    std::string path = line.substr(line.find(' ') + 1);
    path = path.substr(0, path.find(' '));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      paths_.push_back(path);
    }
    auto it = answers_.find(path);
    Answer answer = it != answers_.end() ? it->second
                    : otherwise_         ? *otherwise_
                                         : Answer{Response("", "text/plain", "404 Not Found")};
    if (answer.act) answer.act();
    Wait(answer.delayMs);
    if (!stop_) send(c, answer.response.data(), answer.response.size(), MSG_NOSIGNAL);
    Wait(answer.holdMs);
    close(c);
  }

  void Wait(int ms) {
    for (int waited = 0; waited < ms && !stop_; waited += 20)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  std::map<std::string, Answer> answers_;
  std::optional<Answer> otherwise_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// "http://127.0.0.1:<port>" where nothing listens: a port just given back
// by the system.
inline std::string UnreachableAddress() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
}

}  // namespace testing_support
