#include "app/program.h"

#include "app/widget.h"
#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"
#include "runtime/support_library.h"

// The start-up sub and the window's event routines share one section, so the
// template can name each routine by its offset from the start-up sub.
#define QUILLET_EVENT_ROUTINE extern "C" __attribute__((section(".text$quillet_events"), noinline))

QUILLET_EVENT_ROUTINE int QuilletProgramStartupSub() { return quillet::app::StartupSub(); }
QUILLET_EVENT_ROUTINE void QuilletStartupWindowCreated() { quillet::app::BuildMainWindow(); }

#if defined(__i386__)
#define QUILLET_SYMBOL(name) "_" #name
#else
#define QUILLET_SYMBOL(name) #name
#endif

// The window template (layout in runtime/window_template.h): one window,
// 0x52010001 "Quillet" at 50,50, 380x250, visible, a fixed caption frame
// (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), no units, and its
// creation-completed event (0) running BuildMainWindow.
asm(".section .rdata$quillet_template,\"dr\"\n"
    ".balign 4\n"
    ".globl " QUILLET_SYMBOL(QuilletWindowTemplate) "\n"
    QUILLET_SYMBOL(QuilletWindowTemplate) ":\n"
    "  .ascii \"QWT1\"\n"
    "  .long 1\n"
    "  .long 0x52010001\n"
    "  .long 50, 50, 380, 250\n"
    "  .long 0x00CA0000, 0\n"
    "  .long 1\n"
    "  .short 11\n"
    "  .ascii \"StartWindow\"\n"
    "  .short 7\n"
    "  .ascii \"Quillet\"\n"
    "  .long 0\n"
    "  .long 1\n"
    "  .long 0\n"
    "  .long " QUILLET_SYMBOL(QuilletStartupWindowCreated) " - " QUILLET_SYMBOL(QuilletProgramStartupSub) "\n"
    ".globl " QUILLET_SYMBOL(QuilletWindowTemplateEnd) "\n"
    QUILLET_SYMBOL(QuilletWindowTemplateEnd) ":\n"
    ".text\n");

extern "C" const unsigned char QuilletWindowTemplate[];
extern "C" const unsigned char QuilletWindowTemplateEnd[];

namespace quillet::app {
namespace {

constexpr int32_t kBuildModeRelease = 3;
constexpr int32_t kBuildSerialNumber = 1;
constexpr uint32_t kStartupWindowId = kMainWindowId;

const SupportLibrary* const kProgramSupportLibraries[] = {&kCoreLibrary, &kThreadLibrary, &kAutomationLibrary};

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2.
constexpr intptr_t kPerMonitorAwareV2Context = -4;

// The manifest declares the same awareness; the call covers a start that did
// not apply it. Windows before 10 (1703) lack the function, and a process whose
// awareness is already set gets a failure: nothing to do either way.
void DeclarePerMonitorDpiAwareness() {
  if (!dll::SetProcessDpiAwarenessContext.Available()) return;
  dll::SetProcessDpiAwarenessContext(reinterpret_cast<HANDLE>(kPerMonitorAwareV2Context));
}

}  // namespace

const ProgramHeader kProgramHeader = {
    kBuildModeRelease,
    0,
    kBuildSerialNumber,
    QuilletProgramStartupSub,
    LinkedConstantSectionStart(),
    static_cast<uint32_t>(LinkedConstantSectionLength()),
    QuilletWindowTemplate,
    static_cast<uint32_t>(QuilletWindowTemplateEnd - QuilletWindowTemplate),
    static_cast<int32_t>(sizeof kProgramSupportLibraries / sizeof kProgramSupportLibraries[0]),
    kProgramSupportLibraries,
    kProgramDllCommandCount,
    kProgramDllNames,
    kProgramFunctionNames,
};

int ProgramStartRoutine(const ServiceTable& services) {
  services.utility(kUtilityInitialiseRuntime, reinterpret_cast<intptr_t>(&kProgramHeader), 0);
  ResetProcessorState();
  DeclarePerMonitorDpiAwareness();
  GlobalInitialise();
  services.utility(kUtilityRegisterExitProcedure, reinterpret_cast<intptr_t>(&ReleaseGlobals), 0);
  ModuleStartup();
  kProgramHeader.startup_sub();
  services.load_window(kStartupWindowId);
  services.run_message_loop();
  return 0;
}

}  // namespace quillet::app
