// Handles, GDI objects and private bytes of this process, on Windows and
// under Wine (whose GetProcessHandleCount and GetGuiResources answer 0 and
// whose PrivateUsage stays 0): there the system handle list and the
// process's GDI handle table are counted instead, and the page-file usage
// (what Windows reports as private bytes) is read.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdint>
#include <vector>

namespace quillet::app::testing {

struct ProcessUsage {
  DWORD handles = 0;
  DWORD gdi_objects = 0;
  SIZE_T private_bytes = 0;
  DWORD threads = 0;
};

namespace usage_detail {

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct SystemHandleEntry {
  USHORT process_id;
  USHORT back_trace_index;
  UCHAR object_type;
  UCHAR attributes;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

inline DWORD CountHandlesFromSystemList() {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
  if (query == nullptr) return 0;
  std::vector<unsigned char> buffer(1 << 20);
  ULONG needed = 0;
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
         kStatusInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
  auto* entries = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(void*));
  const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
  DWORD mine = 0;
  for (ULONG i = 0; i < count; ++i) mine += entries[i].process_id == self ? 1 : 0;
  return mine;
}

// Wine keeps the process's GDI handle table where Windows' PEB points at the
// shared one; its entries are 16 bytes with the object type at byte 13.
struct WineGdiEntry {
  uint64_t object;
  USHORT process_id;
  USHORT count;
  UCHAR ext_type;
  UCHAR type;
  USHORT unique;
};
constexpr int kGdiTableEntries = 0x10000;
#if defined(_WIN64)
constexpr size_t kPebGdiSharedHandleTable = 0xF8;
#else
constexpr size_t kPebGdiSharedHandleTable = 0x94;
#endif

inline DWORD CountGdiObjectsFromTable() {
  auto* peb = reinterpret_cast<unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
  auto* table = *reinterpret_cast<WineGdiEntry**>(peb + kPebGdiSharedHandleTable);
  if (table == nullptr) return 0;
  DWORD n = 0;
  for (int i = 0; i < kGdiTableEntries; ++i) n += table[i].type != 0 ? 1 : 0;
  return n;
}

inline DWORD CountThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  DWORD n = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    n += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  }
  CloseHandle(snapshot);
  return n;
}

}  // namespace usage_detail

inline ProcessUsage MeasureProcessUsage() {
  ProcessUsage u;
  GetProcessHandleCount(GetCurrentProcess(), &u.handles);
  if (u.handles == 0) u.handles = usage_detail::CountHandlesFromSystemList();
  u.gdi_objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (u.gdi_objects == 0) u.gdi_objects = usage_detail::CountGdiObjectsFromTable();
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  u.private_bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  u.threads = usage_detail::CountThreads();
  return u;
}

}  // namespace quillet::app::testing
