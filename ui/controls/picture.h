// The toolkit's image control: a picture decoded from bytes or made from an
// icon, with a background colour, a frame, size modes, frame-by-frame
// playback of animated images and an optional cross-fade on replacement.
#pragma once
#include <objidl.h>
#include <windows.h>

#include <optional>
#include <vector>

#include "ui/controls/control.h"
#include "ui/core/gdi_owners.h"

namespace quillet {

enum PictureSizeMode : int {
  kSizeNatural = 0,
  kSizeStretch = 1,
  kSizeCentred = 2,
  kSizeSourceRect = 3,
};
constexpr int kDefaultFrameDelay = 10;     // hundredths of a second
constexpr int kFrameDelayUnitMs = 10;
constexpr int kNoChangeEffect = -1;
constexpr int kPictureChangeFrames = 5;
constexpr int kPictureChangePeriodMs = 60;
constexpr PROPID kPropertyFrameDelay = 0x5100;
// GDI+ FrameDimensionTime.
constexpr GUID kFrameDimensionTime = {0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};

class Picture : public Control {
 public:
  Picture() = default;
  ~Picture() override;

  intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) override;
  // A graphic named with its tip.
  AccessibleDescription DescribeForAccessibility() const override;
  bool HasClassProcedure() const override { return true; }

  // Makes the control from encoded image bytes (CreateFromHandle: from an icon).
  virtual ControlRef Create(ControlParent parent, int left, int top, int width, int height,
                            const ByteSetBlock* image_bytes, std::optional<bool> animate = std::nullopt,
                            std::optional<ARGB> background = std::nullopt,
                            std::optional<bool> fix_zero_delays = std::nullopt,
                            std::optional<int> size_mode = std::nullopt,
                            std::optional<RECT> source_rect = std::nullopt, std::optional<int64_t> frame = std::nullopt,
                            std::optional<bool> visible = std::nullopt);
  virtual ControlRef CreateFromHandle(ControlParent parent, int left, int top, int width, int height, HICON icon,
                                      std::optional<ARGB> background = std::nullopt,
                                      std::optional<int> size_mode = std::nullopt,
                                      std::optional<int64_t> frame = std::nullopt,
                                      std::optional<bool> visible = std::nullopt);
  virtual bool Animate(std::optional<bool> animate = std::nullopt);
  virtual ByteSet SetImage(std::optional<const ByteSetBlock*> image_bytes = std::nullopt,
                           std::optional<int> change_effect = std::nullopt, std::optional<int> frames = std::nullopt,
                           std::optional<int> period = std::nullopt, std::optional<bool> redraw = std::nullopt);
  virtual ARGB BackgroundColour(std::optional<ARGB> colour = std::nullopt);
  virtual void Paint(ControlRef sender);

  // Read-outs.
  int CurrentFrame() const { return current_frame_; }
  int FrameCount() const { return frame_count_; }
  const std::vector<int>& FrameDelays() const { return frame_delays_; }
  GpImage* Image() const { return image_.get(); }
  int ChangeEffect() const { return change_effect_; }
  // Frame index drawn by the last paint (0-based), -1 before any.
  int LastDrawnFrame() const { return last_drawn_frame_; }

 private:
  void LoadBytes(const ByteSetBlock* bytes);
  void LoadIcon(HICON icon);
  void ReleaseImage();
  // Makes the control for the image just loaded; releases the image when that fails.
  ControlRef CreateWithImage(ControlParent parent, int left, int top, int width, int height,
                             std::optional<bool> visible);
  bool IsAnimated() const { return animate_ && frame_count_ > 1; }

  ByteSet image_bytes_;
  OwnedImage image_;
  bool animate_ = false;
  int64_t frame_ = 0;
  int current_frame_ = 0;
  int frame_count_ = 0;
  ARGB background_ = 0;
  std::vector<int> frame_delays_;
  int size_mode_ = kSizeStretch;
  bool fix_zero_delays_ = false;
  RECT source_rect_ = {0, 0, 0, 0};
  HGLOBAL stream_memory_ = nullptr;
  IStream* stream_ = nullptr;
  int change_effect_ = kNoChangeEffect;
  int last_drawn_frame_ = -1;
};

}  // namespace quillet
