// Support libraries: the core library (general commands), the multithreading
// library (StartThread) and the automation library (COM objects and Variants).
// Each is a record with a notification routine; at initialisation the runtime
// hands each one its notification entry, through which the library asks for
// memory and error reports.
#pragma once
#include <cstddef>
#include <cstdint>

namespace quillet {

enum NotificationRequest : int {
  kNotifyInitialise = 1,   // first argument: the runtime's notification entry
  kNotifyShutdown = 6,
  kNotifyAllocate = 2024,  // size, no-fail flag (non-zero: answer null on failure)
  kNotifyFree = 2025,      // block
  kNotifyReallocate = 2026,  // block, size
  kNotifyReportError = 2027,  // GBK message; reported with code 0
};

using NotificationEntry = intptr_t (*)(int request, intptr_t argument1, intptr_t argument2);
using NotificationRoutine = intptr_t (*)(int request, intptr_t argument1, intptr_t argument2);

struct SupportLibrary {
  const char* name;
  NotificationRoutine notify;
};

// The three libraries this program carries.
extern const SupportLibrary kCoreLibrary;
extern const SupportLibrary kThreadLibrary;
extern const SupportLibrary kAutomationLibrary;

// The runtime's notification entry (allocate, free, reallocate, report error).
intptr_t RuntimeNotificationEntry(int request, intptr_t argument1, intptr_t argument2);

// Keeps the records and sends each kNotifyInitialise; ShutdownSupportLibraries
// sends kNotifyShutdown to each and drops them.
void InitialiseSupportLibraries(const SupportLibrary* const* libraries, int count);
void ShutdownSupportLibraries();
int SupportLibraryCount();

// What each library received with kNotifyInitialise (null before, and after shut-down).
NotificationEntry CoreLibraryEntry();
NotificationEntry ThreadLibraryEntry();
NotificationEntry AutomationLibraryEntry();

// Memory for library-command results, through the core library's entry when
// the runtime has initialised it, else straight from the runtime heap.
void* LibraryAlloc(size_t size);
void LibraryFree(void* block);

}  // namespace quillet
