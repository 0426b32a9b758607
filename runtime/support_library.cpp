#include "runtime/support_library.h"

#include <vector>

#include "runtime/heap.h"
#include "runtime/runtime_error.h"

namespace quillet {
namespace {

// The entry each library keeps from kNotifyInitialise until kNotifyShutdown.
NotificationEntry g_core_entry = nullptr;
NotificationEntry g_thread_entry = nullptr;
NotificationEntry g_automation_entry = nullptr;

std::vector<const SupportLibrary*> g_libraries;

intptr_t KeepEntry(NotificationEntry* slot, int request, intptr_t argument1) {
  switch (request) {
    case kNotifyInitialise:
      *slot = reinterpret_cast<NotificationEntry>(argument1);
      return 1;
    case kNotifyShutdown:
      *slot = nullptr;
      return 1;
    default:
      return 0;
  }
}

intptr_t CoreLibraryNotify(int request, intptr_t argument1, intptr_t) {
  return KeepEntry(&g_core_entry, request, argument1);
}
intptr_t ThreadLibraryNotify(int request, intptr_t argument1, intptr_t) {
  return KeepEntry(&g_thread_entry, request, argument1);
}
intptr_t AutomationLibraryNotify(int request, intptr_t argument1, intptr_t) {
  return KeepEntry(&g_automation_entry, request, argument1);
}

}  // namespace

const SupportLibrary kCoreLibrary = {"core", CoreLibraryNotify};
const SupportLibrary kThreadLibrary = {"thread", ThreadLibraryNotify};
const SupportLibrary kAutomationLibrary = {"automation", AutomationLibraryNotify};

intptr_t RuntimeNotificationEntry(int request, intptr_t argument1, intptr_t argument2) {
  switch (request) {
    case kNotifyAllocate: {
      size_t size = static_cast<size_t>(argument1);
      void* block = argument2 != 0 ? RtTryAlloc(size) : RtAlloc(size);
      return reinterpret_cast<intptr_t>(block);
    }
    case kNotifyFree:
      RtFree(reinterpret_cast<void*>(argument1));
      return 0;
    case kNotifyReallocate:
      return reinterpret_cast<intptr_t>(RtRealloc(reinterpret_cast<void*>(argument1), static_cast<size_t>(argument2)));
    case kNotifyReportError:
      ReportFatalMessage(reinterpret_cast<const char*>(argument1));
    default:
      return 0;
  }
}

void InitialiseSupportLibraries(const SupportLibrary* const* libraries, int count) {
  g_libraries.clear();
  for (int i = 0; i < count; ++i) {
    const SupportLibrary* library = libraries[i];
    if (library == nullptr) continue;
    g_libraries.push_back(library);
    if (library->notify) library->notify(kNotifyInitialise, reinterpret_cast<intptr_t>(&RuntimeNotificationEntry), 0);
  }
}

void ShutdownSupportLibraries() {
  for (const SupportLibrary* library : g_libraries) {
    if (library->notify) library->notify(kNotifyShutdown, 0, 0);
  }
  g_libraries.clear();
}

int SupportLibraryCount() { return static_cast<int>(g_libraries.size()); }

NotificationEntry CoreLibraryEntry() { return g_core_entry; }
NotificationEntry ThreadLibraryEntry() { return g_thread_entry; }
NotificationEntry AutomationLibraryEntry() { return g_automation_entry; }

void* LibraryAlloc(size_t size) {
  if (NotificationEntry entry = g_core_entry) {
    return reinterpret_cast<void*>(entry(kNotifyAllocate, static_cast<intptr_t>(size), 0));
  }
  return RtAlloc(size);
}

void LibraryFree(void* block) {
  if (NotificationEntry entry = g_core_entry) {
    entry(kNotifyFree, reinterpret_cast<intptr_t>(block), 0);
    return;
  }
  RtFree(block);
}

}  // namespace quillet
