#include "ui/controls/picture.h"

#include <vector>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

constexpr int kInterpolationHighQualityBilinear = 6;
constexpr int kPixelFormat32bppARGBValue = kPixelFormat32bppARGB;

// GDI+ PropertyItem as the flat interface lays it out.
struct PropertyItemFlat {
  PROPID id;
  ULONG length;
  WORD type;
  void* value;
};

OwnedBitmap BitmapFromIconBits(HBITMAP colour, int* width, int* height) {
  BITMAP info = {};
  if (colour == nullptr || dll::GetObjectW(colour, sizeof(info), &info) != sizeof(info)) return nullptr;
  *width = info.bmWidth;
  *height = info.bmHeight;
  if (info.bmWidth <= 0 || info.bmHeight <= 0) return nullptr;
  BITMAPINFO header = {};
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biWidth = info.bmWidth;
  header.bmiHeader.biHeight = -info.bmHeight;  // top-down, like GDI+ scan lines
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> bits(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
  const OwnedMemoryDc dc(dll::CreateCompatibleDC(nullptr));
  const int lines = dll::GetDIBits(dc.get(), colour, 0, static_cast<UINT>(info.bmHeight), bits.data(), &header,
                                   DIB_RGB_COLORS);
  if (lines != info.bmHeight) return nullptr;
  bool has_alpha = false;
  for (uint32_t pixel : bits) {
    if ((pixel >> 24) != 0) {
      has_alpha = true;
      break;
    }
  }
  if (!has_alpha) return nullptr;
  // Wrap the bits, then copy them into a bitmap that owns its memory.
  OwnedBitmap wrapped;
  if (dll::GdipCreateBitmapFromScan0(info.bmWidth, info.bmHeight, info.bmWidth * 4, kPixelFormat32bppARGBValue,
                                     reinterpret_cast<BYTE*>(bits.data()), Receive(wrapped)) != 0) {
    return nullptr;
  }
  OwnedBitmap copy;
  dll::GdipCloneBitmapArea(0, 0, static_cast<float>(info.bmWidth), static_cast<float>(info.bmHeight),
                           kPixelFormat32bppARGBValue, wrapped.get(), Receive(copy));
  return copy;
}

}  // namespace

Picture::~Picture() { Destroy(); }

ControlRef Picture::Create(ControlParent parent, int left, int top, int width, int height,
                           const ByteSetBlock* image_bytes, std::optional<bool> animate,
                           std::optional<ARGB> background, std::optional<bool> fix_zero_delays,
                           std::optional<int> size_mode, std::optional<RECT> source_rect,
                           std::optional<int64_t> frame, std::optional<bool> visible) {
  if (IsCreated()) return GetRef();
  animate_ = animate.value_or(false);
  background_ = background.value_or(0);
  fix_zero_delays_ = fix_zero_delays.value_or(false);
  size_mode_ = size_mode.value_or(kSizeStretch);
  source_rect_ = source_rect.value_or(RECT{0, 0, 0, 0});
  frame_ = frame.value_or(0);
  change_effect_ = kNoChangeEffect;
  LoadBytes(image_bytes);
  return CreateWithImage(parent, left, top, width, height, visible);
}

ControlRef Picture::CreateFromHandle(ControlParent parent, int left, int top, int width, int height, HICON icon,
                                     std::optional<ARGB> background, std::optional<int> size_mode,
                                     std::optional<int64_t> frame, std::optional<bool> visible) {
  if (IsCreated()) return GetRef();
  animate_ = false;
  background_ = background.value_or(0);
  fix_zero_delays_ = false;
  size_mode_ = size_mode.value_or(kSizeStretch);
  frame_ = frame.value_or(0);
  change_effect_ = kNoChangeEffect;
  LoadIcon(icon);
  return CreateWithImage(parent, left, top, width, height, visible);
}

ControlRef Picture::CreateWithImage(ControlParent parent, int left, int top, int width, int height,
                                    std::optional<bool> visible) {
  const GpRectF bounds = {static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
                          static_cast<float>(height)};
  const ControlRef ref =
      Control::Create(parent, bounds, kKindPicture, visible.value_or(true), true, std::nullopt, 0, 0, 0);
  // Nothing else would release the image loaded for a control that was not made.
  if (ref == kNoControl) ReleaseImage();
  return ref;
}

void Picture::ReleaseImage() {
  image_.reset();
  if (stream_ != nullptr) stream_->Release();
  stream_ = nullptr;
  if (stream_memory_ != nullptr) dll::GlobalFree(stream_memory_);
  stream_memory_ = nullptr;
  frame_delays_.clear();
  image_bytes_.Reset();
  frame_count_ = 0;
  current_frame_ = 0;
}

void Picture::LoadBytes(const ByteSetBlock* bytes) {
  ReleaseImage();
  image_bytes_ = ByteSet(ByteSetData(bytes), ByteSetLength(bytes));
  if (!image_bytes_.empty()) {
    image_.reset(ImageFromBytes(image_bytes_.get(), false, true, &stream_memory_, &stream_));
  }
  if (image_ == nullptr) return;
  UINT count = 0;
  dll::GdipImageGetFrameCount(image_.get(), &kFrameDimensionTime, &count);
  frame_count_ = count == 0 ? 1 : static_cast<int>(count);
  current_frame_ = 1;

  UINT size = 0;
  if (dll::GdipGetPropertyItemSize(image_.get(), kPropertyFrameDelay, &size) == 0 && size >= sizeof(PropertyItemFlat)) {
    std::vector<unsigned char> buffer(size);
    auto* item = reinterpret_cast<PropertyItemFlat*>(buffer.data());
    if (dll::GdipGetPropertyItem(image_.get(), kPropertyFrameDelay, size, item) == 0 && item->value != nullptr) {
      const size_t delays = item->length / sizeof(int32_t);
      const auto* values = static_cast<const int32_t*>(item->value);
      frame_delays_.assign(values, values + delays);
    }
  }
  if (frame_delays_.empty()) frame_delays_.push_back(kDefaultFrameDelay);
  if (fix_zero_delays_) {
    for (int& delay : frame_delays_) {
      if (delay == 0) delay = kDefaultFrameDelay;
    }
  }
}

void Picture::LoadIcon(HICON icon) {
  ReleaseImage();
  ICONINFO info = {};
  if (icon == nullptr || !dll::GetIconInfo(icon, &info)) return;
  // GetIconInfo hands over copies of the icon's bitmaps.
  const OwnedGdiBitmap colour_bits(info.hbmColor);
  const OwnedGdiBitmap mask_bits(info.hbmMask);
  int width = 0;
  int height = 0;
  OwnedBitmap source = BitmapFromIconBits(info.hbmColor, &width, &height);
  if (source == nullptr) dll::GdipCreateBitmapFromHICON(icon, Receive(source));
  if (source != nullptr) {
    UINT w = 0, h = 0;
    dll::GdipGetImageWidth(AsImage(source.get()), &w);
    dll::GdipGetImageHeight(AsImage(source.get()), &h);
    GpBitmap* copy = nullptr;
    if (w > 0 && h > 0 &&
        dll::GdipCreateBitmapFromScan0(static_cast<INT>(w), static_cast<INT>(h), 0, kPixelFormat32bppARGBValue,
                                       nullptr, &copy) == 0) {
      image_.reset(AsImage(copy));
      OwnedGraphics graphics;
      dll::GdipGetImageGraphicsContext(image_.get(), Receive(graphics));
      if (graphics != nullptr) {
        dll::GdipSetInterpolationMode(graphics.get(), kInterpolationHighQualityBilinear);
        dll::GdipDrawImageRect(graphics.get(), AsImage(source.get()), 0, 0, static_cast<float>(w),
                               static_cast<float>(h));
      }
    }
  }
  if (image_ != nullptr) {
    frame_count_ = 1;
    current_frame_ = 1;
    frame_delays_.assign(1, kDefaultFrameDelay);
  }
}

intptr_t Picture::ClassProcedure(ControlRef sender, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_DESTROY:
      if (animate_) {
        dll::KillTimer(GetHostWindow(), GetRef());
        current_frame_ = 0;
        frame_count_ = 0;
        animate_ = false;
        fix_zero_delays_ = false;
      }
      ReleaseImage();
      break;
    case WM_TIMER:
      if (change_effect_ != kNoChangeEffect) break;
      if (animate_ && frame_count_ > 0) {
        Paint(sender);
      } else {
        dll::KillTimer(GetHostWindow(), GetRef());
      }
      break;
    case WM_PAINT:
    case DUIM_SHOWN:
      Paint(sender);
      break;
    case DUIM_TRANSITIONEND:
      SetTransition(0);
      change_effect_ = kNoChangeEffect;
      break;
    default:
      break;
  }
  return kNotHandled;
}

bool Picture::Animate(std::optional<bool> animate) {
  if (animate && *animate != animate_) {
    animate_ = *animate;
    if (!animate_) dll::KillTimer(GetHostWindow(), GetRef());
    if (current_frame_ != 0) current_frame_ = 1;
    PaintNow();
  }
  return animate_;
}

ByteSet Picture::SetImage(std::optional<const ByteSetBlock*> image_bytes, std::optional<int> change_effect,
                          std::optional<int> frames, std::optional<int> period, std::optional<bool> redraw) {
  if (image_bytes) {
    if (change_effect) {
      change_effect_ = *change_effect;
      TransitionEffect(*change_effect);
    }
    dll::KillTimer(GetHostWindow(), GetRef());
    LoadBytes(*image_bytes);
    if (redraw.value_or(true)) {
      if (change_effect) {
        SetTransition(frames.value_or(kPictureChangeFrames), period.value_or(kPictureChangePeriodMs));
      }
      PaintNow();
    }
  }
  return image_bytes_;
}

ARGB Picture::BackgroundColour(std::optional<ARGB> colour) {
  if (colour) {
    background_ = *colour;
    PaintNow();
  }
  return background_;
}

void Picture::Paint(ControlRef) {
  if (current_frame_ == 0) return;
  if (IsDisabled()) {
    current_frame_ += 1;
    return;
  }
  if (current_frame_ > frame_count_ || !animate_) current_frame_ = 1;

  PaintContext context;
  GpRectF area;
  if (!BeginControlPaint(&context, &area, false, true)) return;
  GpGraphics* graphics = Graphics();
  if (graphics != nullptr) {
    if (background_ != 0) {
      FillSolidRect(graphics, area, background_);
    }
    const UINT index = frame_count_ > 1 ? static_cast<UINT>(current_frame_ - 1) : 0;
    dll::GdipImageSelectActiveFrame(image_.get(), &kFrameDimensionTime, index);
    last_drawn_frame_ = static_cast<int>(index);
    const bool has_source = source_rect_.right > source_rect_.left && source_rect_.bottom > source_rect_.top;
    switch (size_mode_) {
      case kSizeStretch:
        DrawImageRect(graphics, image_.get(), area);
        break;
      case kSizeCentred:
        DrawImageNatural(graphics, image_.get(), area, true);
        break;
      case kSizeSourceRect:
        if (has_source) {
          dll::GdipDrawImageRectRect(graphics, image_.get(), area.X, area.Y, area.Width, area.Height,
                                     static_cast<float>(source_rect_.left), static_cast<float>(source_rect_.top),
                                     static_cast<float>(source_rect_.right - source_rect_.left),
                                     static_cast<float>(source_rect_.bottom - source_rect_.top), kUnitPixel, nullptr,
                                     nullptr, nullptr);
        } else {
          DrawImageNatural(graphics, image_.get(), area, false);
        }
        break;
      default:
        DrawImageNatural(graphics, image_.get(), area, false);
        break;
    }
    if (frame_ != 0) DrawBorder(graphics, area, frame_, std::nullopt);
    HostWindow* host = Host();
    if (host != nullptr && host->KeyboardFocusControl() == GetRef()) {
      DrawBorder(graphics, area, kBorderDashed, std::nullopt);
    }
  }
  EndControlPaint(&context);

  if (!IsAnimated()) {
    current_frame_ += 1;
    return;
  }
  dll::KillTimer(GetHostWindow(), GetRef());
  // The frame just drawn stays for its own delay (a GIF's delay belongs to
  // the frame it follows in the file, not to the next one).
  const size_t slot = static_cast<size_t>(current_frame_ - 1);
  current_frame_ += 1;
  if (current_frame_ > frame_count_) current_frame_ = 1;
  const int delay = slot < frame_delays_.size() ? frame_delays_[slot] : frame_delays_.back();
  dll::SetTimer(GetHostWindow(), GetRef(), static_cast<UINT>(delay * kFrameDelayUnitMs), nullptr);
}


AccessibleDescription Picture::DescribeForAccessibility() const {
  AccessibleDescription description;
  description.role = ROLE_SYSTEM_GRAPHIC;
  const ByteSet tip = ToWide(TooltipText(), kCodePageGbk);
  description.name = WideData(tip);
  return description;
}

}  // namespace quillet
