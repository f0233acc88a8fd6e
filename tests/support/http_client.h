// A client for servers of this process on the loopback: requests go out as raw
// bytes, so the target reaches the server exactly as written (no client
// tidies ".." or escapes away). The talk runs on a thread of its own while
// the event loop runs here, for a server that answers from the event loop;
// every read has a deadline, so a server that never answers fails the test
// instead of hanging it.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <regex>
#include <string>

#include "support/event_wait.h"

namespace testing_support {

struct HttpReply {
  int status = 0;  // 0: no status line came
  std::string head;
  std::string body;

  // The value of a header of the reply ("" when absent); the name in any case.
  std::string Header(const std::string& name) const {
    std::smatch m;
    const std::regex line("\r\n" + name + ": *([^\r]*)", std::regex::icase);
    return std::regex_search(head, m, line) ? m[1].str() : std::string();
  }
};

// A connected socket to host:port (a numeric IPv4 or IPv6 address) whose
// reads give up after the seconds given; -1 when the connection is refused.
inline int Connect(const std::string& host, uint16_t port, int timeoutSeconds = 10) {
  sockaddr_storage addr{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof *v4;
  } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof *v6;
  } else {
    return -1;
  }
  int s = socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  timeval limit{timeoutSeconds, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
    close(s);
    return -1;
  }
  return s;
}

inline int ConnectLoopback(uint16_t port, int timeoutSeconds = 10) {
  return Connect("127.0.0.1", port, timeoutSeconds);
}

inline bool SendAll(int s, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// One reply read off the socket: the head, then Content-Length bytes of
// body (none for the answer to a HEAD), or up to the close.
inline HttpReply ReadReply(int s, bool toHead = false) {
  std::string raw;
  char buffer[16384];
  size_t end = std::string::npos;
  size_t want = std::string::npos;
  for (;;) {
    if (end == std::string::npos && (end = raw.find("\r\n\r\n")) != std::string::npos) {
      std::smatch m;
      const std::string head = raw.substr(0, end);
      static const std::regex length("\r\ncontent-length: *([0-9]+)", std::regex::icase);
      if (toHead)
        want = end + 4;
      else if (std::regex_search(head, m, length))
        want = end + 4 + std::stoul(m[1].str());
    }
    if (raw.size() >= want) break;
    ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    raw.append(buffer, static_cast<size_t>(n));
  }
  HttpReply reply;
  std::smatch m;
  if (std::regex_search(raw, m, std::regex("^HTTP/1\\.[01] ([0-9]{3})"))) reply.status = std::stoi(m[1].str());
  reply.head = raw.substr(0, end);
  if (end != std::string::npos) reply.body = raw.substr(end + 4, want == std::string::npos ? std::string::npos : want - end - 4);
  return reply;
}

// Whether the server closes the connection within the milliseconds given
// (after its reply has been read).
inline bool ClosedByServer(int s, int ms) {
  pollfd p{s, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return false;
  char c;
  return recv(s, &c, 1, MSG_DONTWAIT) <= 0;
}

// The work done on a thread of its own while the event loop runs here.
template <typename T>
T WhileServing(const std::function<T()>& work, int ms = 60000) {
  std::future<T> answer = std::async(std::launch::async, work);
  WaitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, ms);
  return answer.get();
}

// One request with "Connection: close" and its reply.
inline HttpReply Request(uint16_t port, const std::string& method, const std::string& target) {
  return WhileServing<HttpReply>([=] {
    HttpReply reply;
    int s = ConnectLoopback(port);
    if (s < 0) return reply;
    if (SendAll(s, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"))
      reply = ReadReply(s, method == "HEAD");
    close(s);
    return reply;
  });
}

}  // namespace testing_support
