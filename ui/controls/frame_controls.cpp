#include "ui/controls/frame_controls.h"

#include <memory>

#include "ui/controls/label.h"
#include "ui/controls/picture.h"
#include "ui/controls/title_bar_button.h"
#include "ui/core/hosted_control.h"

namespace quillet {
namespace {

std::unique_ptr<HostedControl> CreateIcon(HWND host_window, const GpRectF& bounds, HICON icon) {
  auto picture = std::make_unique<Picture>();
  const ControlRef ref = picture->CreateFromHandle(host_window, static_cast<int>(bounds.X), static_cast<int>(bounds.Y),
                                                   static_cast<int>(bounds.Width), static_cast<int>(bounds.Height),
                                                   icon, std::nullopt, kSizeStretch);
  if (ref == kNoControl) return nullptr;
  // Part of the title bar like the title: it takes no focus, and draws none.
  picture->Focusable(false);
  return picture;
}

std::unique_ptr<HostedControl> CreateTitle(HWND host_window, const GpRectF& bounds, const char* title, ARGB argb) {
  auto label = std::make_unique<Label>();
  LabelOptions options;
  options.text_colour = argb;
  const ControlRef ref = label->Create(host_window, static_cast<int>(bounds.X), static_cast<int>(bounds.Y),
                                       static_cast<int>(bounds.Width), static_cast<int>(bounds.Height), title,
                                       options);
  if (ref == kNoControl) return nullptr;
  return label;
}

std::unique_ptr<HostedControl> CreateSystemButton(HWND host_window, int type_flag, const GpRectF& bounds) {
  auto button = std::make_unique<TitleBarButton>();
  const ControlRef ref = button->Create(host_window, static_cast<int>(bounds.X), static_cast<int>(bounds.Y),
                                        static_cast<int>(bounds.Width), static_cast<int>(bounds.Height), type_flag);
  if (ref == kNoControl) return nullptr;
  return button;
}

void SetTitleTextW(HostedControl* title, const ByteSetBlock* utf16) {
  if (title == nullptr) return;
  static_cast<Label*>(title)->TextW(utf16);
}

}  // namespace

void InstallFrameControls() {
  FrameControlFactory factory = {};
  factory.create_icon = &CreateIcon;
  factory.create_title = &CreateTitle;
  factory.create_system_button = &CreateSystemButton;
  factory.set_title_text_w = &SetTitleTextW;
  SetFrameControlFactory(factory);
}

}  // namespace quillet
