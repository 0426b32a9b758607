// Shared by the HTTP client tests: DLL-command installation and the loopback
// servers of http_test_servers.py.
//
// The test exe runs under Wine, which starts a Unix program when CreateProcess
// is given its Unix path (the process runs detached; its handle cannot be
// waited on). So each test exe starts one Python server process itself, waits
// for the ports file, and ends it with GET /__quit when the exe's tests are done
// (the script also ends by itself when idle).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "http/http_request.h"
#include "runtime/program_dll_commands.h"

namespace quillet::http_test {

constexpr char kPython[] = "/usr/bin/python3";
constexpr char kServerScript[] = QUILLET_SOURCE_DIR "/tests/http/http_test_servers.py";
constexpr DWORD kServerStartMilliseconds = 30000;
constexpr DWORD kPollMilliseconds = 100;

inline std::string Bytes(const Text& t) { return std::string(t.c_str()); }
inline std::string Bytes(const ByteSet& b) {
  return b.empty() ? std::string() : std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

class LoopbackServers {
 public:
  static LoopbackServers& Get() {
    static LoopbackServers servers;
    return servers;
  }

  bool ready() const { return !ports_.empty(); }
  int port(const char* name) const {
    auto it = ports_.find(name);
    return it == ports_.end() ? 0 : it->second;
  }
  std::string Url(const char* scheme, const char* server, const std::string& path) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port(server)) + path;
  }
  std::string HttpUrl(const std::string& path) const { return Url("http", "http", path); }
  std::string HttpsUrl(const std::string& path) const { return Url("https", "https", path); }
  std::string ProxyAddress(const char* name) const { return "127.0.0.1:" + std::to_string(port(name)); }

  // Ends the servers if this exe started them.
  static void StopIfStarted() {
    if (started_) Get().Stop();
  }

  void Stop() {
    if (!ready()) return;
    HttpRequest(HttpUrl("/__quit").c_str());
    ports_.clear();
  }

 private:
  LoopbackServers() {
    started_ = true;
    const std::string stateDir =
        std::string(QUILLET_BINARY_DIR) + "/tests/http/servers-" + std::to_string(GetCurrentProcessId());
    std::string command = std::string(kPython) + " " + kServerScript + " " + stateDir;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine maps the Unix root onto drive Z:.
    const std::string portsFile = "Z:" + stateDir + "/ports.txt";
    for (DWORD waited = 0; waited < kServerStartMilliseconds && ports_.empty(); waited += kPollMilliseconds) {
      Sleep(kPollMilliseconds);
      ReadPorts(portsFile);
    }
  }

  void ReadPorts(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "r");
    if (f == nullptr) return;
    char name[32];
    int port = 0;
    while (std::fscanf(f, "%31s %d", name, &port) == 2) ports_[name] = port;
    std::fclose(f);
  }

  std::map<std::string, int> ports_;
  static inline bool started_ = false;
};

class HttpTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { InstallProgramDllCommands(); }
  void TearDown() override { LoopbackServers::StopIfStarted(); }
};

inline ::testing::Environment* const kHttpTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new HttpTestEnvironment);

// Fixture for tests that talk to the loopback servers.
class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(servers().ready()) << "loopback servers did not start"; }
  static LoopbackServers& servers() { return LoopbackServers::Get(); }
};

}  // namespace quillet::http_test
