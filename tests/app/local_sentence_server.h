// A plain-HTTP server on 127.0.0.1 (random port) for in-process fetch tests.
// Each connection's reply comes from a behaviour the test picks; faults
// (reset, truncated body, garbage, 500, stall) are there to break the client.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstdint>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillet::app::testing {

// Winsock bound at run time: the test exes link no socket library.
struct Winsock {
  decltype(&::WSAStartup) WSAStartup;
  decltype(&::WSACleanup) WSACleanup;
  decltype(&::socket) socket;
  decltype(&::bind) bind;
  decltype(&::listen) listen;
  decltype(&::getsockname) getsockname;
  decltype(&::accept) accept;
  decltype(&::recv) recv;
  decltype(&::send) send;
  decltype(&::closesocket) closesocket;
  decltype(&::shutdown) shutdown;
  decltype(&::setsockopt) setsockopt;

  static const Winsock& Get() {
    static const Winsock ws = [] {
      HMODULE m = LoadLibraryW(L"ws2_32.dll");
      Winsock w;
#define QUILLET_BIND(name) w.name = reinterpret_cast<decltype(&::name)>(GetProcAddress(m, #name))
      QUILLET_BIND(WSAStartup);
      QUILLET_BIND(WSACleanup);
      QUILLET_BIND(socket);
      QUILLET_BIND(bind);
      QUILLET_BIND(listen);
      QUILLET_BIND(getsockname);
      QUILLET_BIND(accept);
      QUILLET_BIND(recv);
      QUILLET_BIND(send);
      QUILLET_BIND(closesocket);
      QUILLET_BIND(shutdown);
      QUILLET_BIND(setsockopt);
#undef QUILLET_BIND
      return w;
    }();
    return ws;
  }
};

inline uint16_t SwapPort(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

enum class Reply {
  kSentence,   // 200 with the JSON body
  kReset,      // close with RST before replying
  kTruncated,  // Content-Length promises more than is sent, then close
  kGarbage,    // bytes that are not HTTP
  kServerError,  // 500 with a body without markers
  kStall,      // accept, read, never answer (until the server stops)
};

// The service's reply shape around an already JSON-escaped sentence (UTF-8).
inline std::string SentenceJson(const std::string& escaped) {
  return "{\"id\":1,\"hitokoto\":\"" + escaped + "\",\"type\":\"a\",\"from\":\"t\",\"creator\":\"c\"}";
}

class LocalSentenceServer {
 public:
  // Decides the reply of request number n (from 0); the body is used for kSentence.
  using Behaviour = std::function<Reply(int n, std::string* body)>;

  explicit LocalSentenceServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
    WSADATA data;
    Winsock::Get().WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = Winsock::Get().socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network order
    address.sin_port = 0;
    Winsock::Get().bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Winsock::Get().listen(listener_, SOMAXCONN);
    int length = sizeof address;
    Winsock::Get().getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = SwapPort(address.sin_port);
    url_ = "http://127.0.0.1:" + std::to_string(port_) + "/";
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~LocalSentenceServer() { Stop(); }

  void Stop() {
    if (stopping_.exchange(true)) return;
    Winsock::Get().closesocket(listener_);
    acceptor_.join();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (SOCKET s : open_) Winsock::Get().shutdown(s, SD_BOTH);
    }
    while (serving_.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Winsock::Get().WSACleanup();
  }

  const char* url() const { return url_.c_str(); }
  int requests() const { return requests_.load(); }
  // Times (ms since the server started) at which requests arrived.
  std::vector<long long> arrivals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_;
  }
  std::string last_request() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_request_;
  }

 private:
  void AcceptLoop() {
    while (!stopping_) {
      SOCKET s = Winsock::Get().accept(listener_, nullptr, nullptr);
      if (s == INVALID_SOCKET) break;
      std::lock_guard<std::mutex> lock(mutex_);
      open_.push_back(s);
      serving_.fetch_add(1);
      // Detached, so a long soak does not pile up thread handles.
      std::thread([this, s] {
        Serve(s);
        serving_.fetch_sub(1);
      }).detach();
    }
  }

  void Serve(SOCKET s) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      int n = Winsock::Get().recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, n);
    }
    int index = requests_.fetch_add(1);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      arrivals_.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started_).count());
      last_request_ = request;
    }
    std::string body;
    Reply reply = behaviour_(index, &body);
    switch (reply) {
      case Reply::kSentence:
        SendAll(s, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        break;
      case Reply::kReset: {
        linger hard = {1, 0};  // close with RST
        Winsock::Get().setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
        break;
      }
      case Reply::kTruncated:
        SendAll(s, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 500\r\n"
                   "Connection: close\r\n\r\n{\"hitokoto\":\"cut sh");
        break;
      case Reply::kGarbage:
        SendAll(s, std::string("\x16\x03\x01\x00\xff garbage \x00\x01\x02 not http\r\n\r\n", 34));
        break;
      case Reply::kServerError:
        SendAll(s, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\nConnection: close\r\n\r\noops!");
        break;
      case Reply::kStall:
        while (!stopping_ && Winsock::Get().recv(s, buffer, sizeof buffer, 0) > 0) {
        }
        break;
    }
    Close(s);
  }

  static void SendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      int n = Winsock::Get().send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  void Close(SOCKET s) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (*it == s) {
        open_.erase(it);
        break;
      }
    }
    Winsock::Get().closesocket(s);
  }

  Behaviour behaviour_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::string url_;
  std::thread acceptor_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  mutable std::mutex mutex_;
  std::vector<SOCKET> open_;
  std::atomic<int> serving_{0};
  std::vector<long long> arrivals_;
  std::string last_request_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace quillet::app::testing
