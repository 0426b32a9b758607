// HttpRequest reading a 1 MB and a 50 MB body from a loopback server, against a
// bare WinHttp read loop over the same URL in the same run. Prints the median
// times and their ratio (goal: HttpRequest at most 1.2 times the bare loop).
//
// Under Wine the benchmark starts the loopback server itself (Wine runs a Unix
// program given by its Unix path); a base URL as the first argument uses a
// server that is already running instead.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bare_winhttp.h"
#include "bench/outcome.h"
#include "bench/timing.h"
#include "http/http_request.h"
#include "runtime/program_dll_commands.h"

namespace {

using quillet::ByteSet;
using quillet::Text;
using quillet::bench::BareWinHttpGet;
using quillet::bench::Median;
using quillet::bench::Seconds;
namespace dll = quillet::dll;

constexpr char kPython[] = "/usr/bin/python3";
constexpr DWORD kServerStartMilliseconds = 30000;
constexpr DWORD kPollMilliseconds = 100;
constexpr double kGoalRatio = 1.2;

struct Case {
  const char* name;
  int bytes;
  int rounds;
};
constexpr Case kCases[] = {{"1 MB", 1 << 20, 15}, {"50 MB", 50 << 20, 3}};

std::string ScriptPath() { return std::string(QUILLET_SOURCE_DIR) + "/tests/http/http_test_servers.py"; }

// Starts the loopback servers and answers the plain server's base URL.
std::string StartServer() {
  const std::string stateDir = "/tmp/quillet-bench-" + std::to_string(GetCurrentProcessId());
  // Wine reuses process ids: a ports file left by an earlier run names servers that are gone.
  const std::string portsFile = "Z:" + stateDir + "/ports.txt";
  DeleteFileA(portsFile.c_str());
  std::string command = std::string(kPython) + " " + ScriptPath() + " " + stateDir;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return std::string();
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (DWORD waited = 0; waited < kServerStartMilliseconds; waited += kPollMilliseconds) {
    Sleep(kPollMilliseconds);
    if (FILE* f = std::fopen(portsFile.c_str(), "r")) {
      char name[32];
      int port = 0;
      while (std::fscanf(f, "%31s %d", name, &port) == 2) {
        if (std::string(name) == "http") {
          std::fclose(f);
          return "http://127.0.0.1:" + std::to_string(port);
        }
      }
      std::fclose(f);
    }
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  quillet::InstallProgramDllCommands();
  dll::CoInitialize(nullptr);
  const bool ownServer = argc < 2;
  const std::string base = ownServer ? StartServer() : std::string(argv[1]);
  if (base.empty()) {
    std::printf("could not start the loopback server\n");
    return quillet::bench::kCouldNotRun;
  }
  const std::string hostPort = base.substr(base.find("://") + 3);
  const std::wstring host(hostPort.begin(), hostPort.begin() + hostPort.find(':'));
  const INTERNET_PORT port = static_cast<INTERNET_PORT>(std::stoi(hostPort.substr(hostPort.find(':') + 1)));

  bool allWithinGoal = true, allRead = true;
  std::printf("%-6s %12s %12s %8s\n", "body", "bare (ms)", "Http (ms)", "ratio");
  for (const Case& c : kCases) {
    const std::string path = "/bytes?n=" + std::to_string(c.bytes);
    const std::string url = base + path;
    const std::wstring widePath(path.begin(), path.end());
    std::vector<double> bare, ours;
    size_t bareBytes = 0, ourBytes = 0;
    // One warm-up of each, then alternate so both see the same conditions.
    BareWinHttpGet(host, port, widePath);
    quillet::HttpRequest(url.c_str());
    for (int i = 0; i < c.rounds; ++i) {
      bare.push_back(Seconds([&] { bareBytes = BareWinHttpGet(host, port, widePath).size(); }));
      ours.push_back(Seconds([&] {
        ByteSet body;
        Text text = quillet::HttpRequest(url.c_str(), quillet::kHttpGet, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, false, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                                         nullptr, &body);
        ourBytes = body.size();
      }));
    }
    if (bareBytes != static_cast<size_t>(c.bytes) || ourBytes != static_cast<size_t>(c.bytes)) {
      std::printf("%s: short read (bare %zu, HttpRequest %zu)\n", c.name, bareBytes, ourBytes);
      allRead = false;
      continue;
    }
    const double ratio = Median(ours) / Median(bare);
    allWithinGoal = allWithinGoal && ratio <= kGoalRatio;
    std::printf("%-6s %12.1f %12.1f %7.2fx\n", c.name, Median(bare) * 1000, Median(ours) * 1000, ratio);
  }
  std::printf("goal: HttpRequest <= %.1fx the bare loop: %s\n", kGoalRatio, allWithinGoal ? "met" : "NOT met");
  if (ownServer) quillet::HttpRequest((base + "/__quit").c_str());
  dll::CoUninitialize();
  if (!allRead) return quillet::bench::kCouldNotRun;
  return allWithinGoal ? quillet::bench::kGoalsMet : quillet::bench::kGoalMissed;
}
