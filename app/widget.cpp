#include "app/widget.h"

#include <windows.h>

#include <new>
#include <optional>

#include "app/background_image.h"
#include "app/copy_sentence.h"
#include "app/edit_menu.h"
#include "runtime/heap.h"
#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"
#include "runtime/window_template.h"
#include "ui/controls/button.h"
#include "ui/controls/frame_controls.h"
#include "ui/controls/label.h"
#include "ui/controls/popup_menu.h"
#include "ui/controls/text_format.h"
#include "ui/core/decode_ahead.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet::app {

namespace {

constexpr int kHostAlpha = 190;
constexpr int kAnimateFirstShow = 1;
constexpr int kNotResizable = 0;

constexpr uint32_t kRed = 0x0000FF;  // Win32 colour 0x00BBGGRR
constexpr int kSentenceAlpha = 200;
constexpr int kUseAlpha = 1;
constexpr int kLabelLeft = 8, kLabelTop = 88, kLabelWidth = 376, kLabelHeight = 88;
constexpr char kInitialText[] = "你好";
constexpr float kFontSize = 20.0f;
constexpr int kTextEffectSoftGlow = 3;

// The source line: smaller, dark grey with the same soft glow, in the strip
// left of the button, one line ending in an ellipsis when it is too long.
constexpr uint32_t kSourceGrey = 0x383838;
constexpr int kSourceAlpha = 200;
constexpr int kSourceLeft = 8, kSourceTop = 176, kSourceWidth = 232, kSourceHeight = 30;
constexpr float kSourceFontSize = 13.0f;
constexpr int kTrimmingEllipsisCharacter = 3;

constexpr int kButtonLeft = 248, kButtonTop = 168, kButtonWidth = 112, kButtonHeight = 40;
constexpr char kButtonCaption[] = "获取";

// Each global object lives in its own runtime heap block.
template <typename T>
T* CreateGlobal() {
  return new (RtAllocZeroed(sizeof(T))) T();
}

// Releases what the object holds, then its block; the global is cleared first.
template <typename T>
void ReleaseGlobal(T*& global) {
  T* object = global;
  global = nullptr;
  if (object == nullptr) return;
  object->~T();
  RtFree(object);
}

void EmptyStartupRoutine() {}

void OnFetchClickedEvent(ControlRef, UINT, WPARAM, LPARAM) { OnFetchClicked(); }

// A sentence and its source reach the labels in one message handled on the
// window's thread, so two workers finishing together never leave one's
// sentence under the other's source.
struct SentenceAndSource {
  const ByteSet* sentence;
  const ByteSet* source;
};

// Where the fetch workers' sentences go; the worker waits while the window's
// thread sets both texts (the records live on the worker's stack).
void ShowInLabels(const ByteSet& sentence, const ByteSet& source) {
  if (SentenceLabel == nullptr) return;
  const SentenceAndSource both{&sentence, &source};
  dll::SendMessageW(SentenceLabel->GetHostWindow(), kShowSentenceMessage, 0, reinterpret_cast<LPARAM>(&both));
}

void SetBothLabels(const SentenceAndSource& both) {
  if (SentenceLabel == nullptr) return;
  std::optional<HostWindow::RedrawBatch> batch;  // one presentation for both lines
  if (MainHost != nullptr) batch.emplace(MainHost);
  ByteSet shown = SentenceLabel->TextW(both.sentence->get());  // a copy, freed here
  if (SourceLabel != nullptr) ByteSet shown_source = SourceLabel->TextW(both.source->get());
}

}  // namespace

HostWindow* MainHost = nullptr;
Label* SentenceLabel = nullptr;
Label* SourceLabel = nullptr;
Button* FetchButton = nullptr;
PopupMenu* EditMenu = nullptr;

void GlobalInitialise() {
  MainHost = CreateGlobal<HostWindow>();
  SentenceLabel = CreateGlobal<Label>();
  SourceLabel = CreateGlobal<Label>();
  FetchButton = CreateGlobal<Button>();
  EditMenu = CreateGlobal<PopupMenu>();  // filled at module start-up
  SetSentenceSink(ShowInLabels);
}

void ReleaseGlobals(int /*position*/) {
  // No worker may reach the labels once they are gone.
  StopFetching();
  FinishDecodingsAhead();
  SetSentenceSink(nullptr);
  ReleaseGlobal(MainHost);
  ReleaseGlobal(SentenceLabel);
  ReleaseGlobal(SourceLabel);
  ReleaseGlobal(FetchButton);
  ReleaseGlobal(EditMenu);
}

void ModuleStartup() {
  ToolkitStartup();
  // Decoded on another thread while the window is made; attaching the host takes it.
  DecodeAhead(BackgroundImage(), false);
  // Before the start-up window is loaded: its host makes the title bar from these.
  InstallFrameControls();
  FillEditMenu();
}

int StartupSub() {
  EmptyStartupRoutine();
  return 0;
}

namespace {

// The layout is in logical pixels; the controls get the window's physical ones.
GpRectF ScaledRect(const DpiScale& scale, int left, int top, int width, int height) {
  return scale.Rect(GpRectF{static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
                            static_cast<float>(height)});
}

void PlaceLabel(Label* label, const DpiScale& scale, int left, int top, int width, int height, float font_size) {
  if (label == nullptr || !label->IsCreated()) return;
  const GpRectF r = ScaledRect(scale, left, top, width, height);
  label->Move(r.X, r.Y, r.Width, r.Height, true);
  label->FontSize(scale.Float(font_size));
}

// The window moved to a display of another scale: every control takes its new
// rectangle and font size.
void OnWidgetDpiChanged(HWND, const DpiScale&, const DpiScale& scale) {
  PlaceLabel(SentenceLabel, scale, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight, kFontSize);
  PlaceLabel(SourceLabel, scale, kSourceLeft, kSourceTop, kSourceWidth, kSourceHeight, kSourceFontSize);
  if (FetchButton != nullptr && FetchButton->IsCreated()) {
    const GpRectF r = ScaledRect(scale, kButtonLeft, kButtonTop, kButtonWidth, kButtonHeight);
    FetchButton->Move(r.X, r.Y, r.Width, r.Height, true);
    FetchButton->FontSize(scale.Float(kFontSize));
  }
}

}  // namespace

void BuildMainWindow() {
  AttachOptions host;
  host.window = UnitHandle(kMainWindowId, kUnitIsWindow);
  // The start-up window's figures are logical pixels: it takes its physical
  // place and size before the host measures it.
  const DpiScale scale = DpiScale::ForWindow(host.window);
  PlaceWindowAtScale(host.window, scale);
  host.picture = BackgroundImage();  // in the constant region: never freed
  host.picture_given = true;
  host.frame_flags = BitOr(kFrameFromStyle, kFrameMinimize, kFrameClose);
  host.alpha = kHostAlpha;
  host.image_placement = kPlaceTopLeft;
  host.background_mode = kBackgroundDefault;
  host.animate_first_show = kAnimateFirstShow;
  host.resizable = kNotResizable;
  // Nine-grid margins stay the zeroed rectangle: not given.
  MainHost->Attach(host);

  HWND window = UnitHandle(kMainWindowId, kUnitIsWindow);
  LabelOptions sentence;
  sentence.text_colour = ArgbFromColor(kRed, kSentenceAlpha, kUseAlpha);
  sentence.multi_line = true;
  sentence.text_effect = kTextEffectSoftGlow;
  sentence.visible = true;
  sentence.font_size = scale.Float(kFontSize);
  const GpRectF sentence_rect = ScaledRect(scale, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight);
  SentenceLabel->Create(window, static_cast<int>(sentence_rect.X), static_cast<int>(sentence_rect.Y),
                        static_cast<int>(sentence_rect.Width), static_cast<int>(sentence_rect.Height), kInitialText,
                        sentence);
  // Sentences may hold characters the font lacks (♪, ⋯, emoji): let the
  // platform draw them from another font instead of as boxes.
  SentenceLabel->FormatFlags(SentenceLabel->FormatFlags() & ~kFormatNoFontFallback);

  window = UnitHandle(kMainWindowId, kUnitIsWindow);
  LabelOptions source;
  source.text_colour = ArgbFromColor(kSourceGrey, kSourceAlpha, kUseAlpha);
  source.alignment = kAlignFar;
  source.trimming = kTrimmingEllipsisCharacter;
  source.text_effect = kTextEffectSoftGlow;
  source.visible = true;
  source.font_size = scale.Float(kSourceFontSize);
  const GpRectF source_rect = ScaledRect(scale, kSourceLeft, kSourceTop, kSourceWidth, kSourceHeight);
  SourceLabel->Create(window, static_cast<int>(source_rect.X), static_cast<int>(source_rect.Y),
                      static_cast<int>(source_rect.Width), static_cast<int>(source_rect.Height), "", source);

  window = UnitHandle(kMainWindowId, kUnitIsWindow);
  const GpRectF button_rect = ScaledRect(scale, kButtonLeft, kButtonTop, kButtonWidth, kButtonHeight);
  FetchButton->Create(window, static_cast<int>(button_rect.X), static_cast<int>(button_rect.Y),
                      static_cast<int>(button_rect.Width), static_cast<int>(button_rect.Height), kButtonCaption,
                      std::nullopt,  // text colour: the button's default
                      std::nullopt,  // font name: the default family
                      scale.Float(kFontSize));
  FetchButton->SetEventHandler(DUIM_CLICK, OnFetchClickedEvent);
  // The sentence can be copied: right click opens the edit menu with only
  // "复制(&C)" enabled; Ctrl+C copies too.
  EnableSentenceCopy(SentenceLabel, EditMenu);
  MainHost->OnMessageHook(WidgetMessageHook);
  MainHost->OnDpiChanged(OnWidgetDpiChanged);
  // Nothing is fetched here: the label shows its first text until a press.
}

bool OnFetchClicked() { return StartFetchThread(); }

LRESULT WidgetMessageHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kShowSentenceMessage) {
    if (lparam != 0) SetBothLabels(*reinterpret_cast<const SentenceAndSource*>(lparam));
    return 0;
  }
  return SentenceCopyHook(window, message, wparam, lparam);
}

}  // namespace quillet::app
