// Shared by the HTTP client tests: DLL-command installation and the loopback
// servers of http_test_servers.py.
//
// The test exe runs under Wine, which starts a Unix program when CreateProcess
// is given its Unix path (the process runs detached; its handle cannot be
// waited on). So each test exe starts one Python server process itself, waits
// for the ports file, and ends it with GET /__quit when the exe's tests are done
// (the script also ends by itself when idle). The servers' test CA is added
// to the prefix's trusted roots before any secure request of the exe.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>

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
  bool caTrusted() const { return caTrusted_; }
  int port(const char* name) const {
    auto it = ports_.find(name);
    return it == ports_.end() ? 0 : it->second;
  }
  std::string Url(const char* scheme, const char* server, const std::string& path) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port(server)) + path;
  }
  std::string LocalhostUrl(const char* scheme, const char* server, const std::string& path) const {
    return std::string(scheme) + "://localhost:" + std::to_string(port(server)) + path;
  }
  std::string HttpUrl(const std::string& path) const { return Url("http", "http", path); }
  std::string HttpsUrl(const std::string& path) const { return Url("https", "https", path); }
  std::string ProxyAddress(const char* name) const { return "127.0.0.1:" + std::to_string(port(name)); }

  // Ends the servers if this exe started them.
  static void StopIfStarted() {
    if (started_) Get().Stop();
  }

  // Adds the servers' test CA to this Wine prefix's trusted roots (WinHttp
  // checks certificates against that store).
  bool TrustTestCa() const {
    HMODULE crypt32 = LoadLibraryA("crypt32.dll");
    if (crypt32 == nullptr) return false;
    using StringToBinary = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, BYTE*, DWORD*, DWORD*, DWORD*);
    using AddToStore = BOOL(WINAPI*)(LPCSTR, const BYTE*, DWORD);
    auto toBinary = reinterpret_cast<StringToBinary>(GetProcAddress(crypt32, "CryptStringToBinaryA"));
    auto addToStore = reinterpret_cast<AddToStore>(GetProcAddress(crypt32, "CertAddEncodedCertificateToSystemStoreA"));
    std::string pem;
    if (FILE* f = std::fopen(("Z:" + stateDir_ + "/ca.crt").c_str(), "rb")) {
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) pem.append(buffer, n);
      std::fclose(f);
    }
    constexpr DWORD kBase64Header = 0;  // CRYPT_STRING_BASE64HEADER
    DWORD size = 0;
    if (pem.empty() || !toBinary || !addToStore ||
        !toBinary(pem.c_str(), static_cast<DWORD>(pem.size()), kBase64Header, nullptr, &size, nullptr, nullptr)) {
      return false;
    }
    std::string der(size, '\0');
    toBinary(pem.c_str(), static_cast<DWORD>(pem.size()), kBase64Header, reinterpret_cast<BYTE*>(&der[0]), &size,
             nullptr, nullptr);
    return addToStore("ROOT", reinterpret_cast<const BYTE*>(der.data()), size) != FALSE;
  }

  void Stop() {
    if (!ready()) return;
    HttpRequest(HttpUrl("/__quit").c_str());
    ports_.clear();
  }

 private:
  LoopbackServers() {
    started_ = true;
    stateDir_ = std::string(QUILLET_BINARY_DIR) + "/tests/http/servers-" + std::to_string(GetCurrentProcessId());
    const std::string& stateDir = stateDir_;
    // Wine hands out the same process ids run after run: a ports file left by an
    // earlier exe with this id names servers that are gone.
    const std::string portsFile = "Z:" + stateDir + "/ports.txt";  // Wine maps the Unix root onto drive Z:
    DeleteFileA(portsFile.c_str());
    std::string command = std::string(kPython) + " " + kServerScript + " " + stateDir;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (DWORD waited = 0; waited < kServerStartMilliseconds && ports_.empty(); waited += kPollMilliseconds) {
      Sleep(kPollMilliseconds);
      ReadPorts(portsFile);
    }
    // Before any secure request: the platform's chain engine keeps the root
    // store it loaded first.
    if (!ports_.empty()) caTrusted_ = TrustTestCa();
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
  std::string stateDir_;
  bool caTrusted_ = false;
  static inline bool started_ = false;
};

// Runs `work` on a thread of the multithreaded apartment; true when the
// thread is still in that apartment afterwards (joining it again answers
// S_FALSE rather than S_OK).
inline bool MultithreadedApartmentSurvives(const std::function<void()>& work) {
  bool survived = false;
  std::thread([&] {
    if (CoInitializeEx(nullptr, COINIT_MULTITHREADED) != S_OK) return;
    work();
    const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    survived = again == S_FALSE;
    if (SUCCEEDED(again)) CoUninitialize();
    if (survived) CoUninitialize();
  }).join();
  return survived;
}

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
