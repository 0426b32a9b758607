// Owners for GDI+ and GDI objects: each releases its object through the DLL
// command table when it goes out of scope, so no code path can leak one or
// release it twice.
#pragma once
#include <windows.h>

#include <memory>
#include <type_traits>

#include "runtime/program_dll_commands.h"
#include "ui/core/gdiplus_types.h"

namespace quillet {

// The GDI+ release call of each flat-interface type; brushes and bitmaps are
// released as their base type.
struct GdiplusRelease {
  void operator()(GpPen* p) const { dll::GdipDeletePen(p); }
  void operator()(GpBrush* p) const { dll::GdipDeleteBrush(p); }
  void operator()(GpSolidFill* p) const { dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(p)); }
  void operator()(GpLineGradient* p) const { dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(p)); }
  void operator()(GpPath* p) const { dll::GdipDeletePath(p); }
  void operator()(GpRegion* p) const { dll::GdipDeleteRegion(p); }
  void operator()(GpFont* p) const { dll::GdipDeleteFont(p); }
  void operator()(GpFontFamily* p) const { dll::GdipDeleteFontFamily(p); }
  void operator()(GpStringFormat* p) const { dll::GdipDeleteStringFormat(p); }
  void operator()(GpImage* p) const { dll::GdipDisposeImage(p); }
  void operator()(GpBitmap* p) const { dll::GdipDisposeImage(reinterpret_cast<GpImage*>(p)); }
  void operator()(GpImageAttributes* p) const { dll::GdipDisposeImageAttributes(p); }
  void operator()(GpGraphics* p) const { dll::GdipDeleteGraphics(p); }
};

template <typename T>
using GdiplusOwner = std::unique_ptr<T, GdiplusRelease>;
using OwnedPen = GdiplusOwner<GpPen>;
using OwnedSolidFill = GdiplusOwner<GpSolidFill>;
using OwnedLineGradient = GdiplusOwner<GpLineGradient>;
using OwnedPath = GdiplusOwner<GpPath>;
using OwnedRegion = GdiplusOwner<GpRegion>;
using OwnedFont = GdiplusOwner<GpFont>;
using OwnedFontFamily = GdiplusOwner<GpFontFamily>;
using OwnedStringFormat = GdiplusOwner<GpStringFormat>;
using OwnedImage = GdiplusOwner<GpImage>;
using OwnedBitmap = GdiplusOwner<GpBitmap>;
using OwnedImageAttributes = GdiplusOwner<GpImageAttributes>;
using OwnedGraphics = GdiplusOwner<GpGraphics>;

// GDI objects made by Create*Rgn, CreateDIBSection and the like.
struct GdiObjectRelease {
  void operator()(HGDIOBJ object) const { dll::DeleteObject(object); }
};
template <typename Handle>
using GdiObjectOwner = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectRelease>;
using OwnedGdiRegion = GdiObjectOwner<HRGN>;
using OwnedGdiBitmap = GdiObjectOwner<HBITMAP>;

// A memory DC from CreateCompatibleDC.
struct MemoryDcRelease {
  void operator()(HDC dc) const { dll::DeleteDC(dc); }
};
using OwnedMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcRelease>;

// A DC from GetDC, handed back to its window (null: the screen).
struct WindowDcRelease {
  HWND window = nullptr;
  void operator()(HDC dc) const { dll::ReleaseDC(window, dc); }
};
using OwnedWindowDc = std::unique_ptr<std::remove_pointer_t<HDC>, WindowDcRelease>;
inline OwnedWindowDc GetWindowDc(HWND window) { return OwnedWindowDc(dll::GetDC(window), WindowDcRelease{window}); }

// Selects an object into a DC and selects the previous one back at the end.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dll::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) dll::SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Lets a creation call write its out-parameter straight into an owner:
//   OwnedPen pen;
//   if (dll::GdipCreatePen1(colour, 1, kUnitWorld, Receive(pen)) != 0) return;
// The owner takes the object at the end of the full expression, so read it
// in the next statement, not in the same condition.
template <typename Owner>
class Receiver {
 public:
  using Pointer = typename Owner::pointer;
  explicit Receiver(Owner& owner) : owner_(owner) {}
  ~Receiver() { owner_.reset(raw_); }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  operator Pointer*() { return &raw_; }

 private:
  Owner& owner_;
  Pointer raw_ = nullptr;
};

template <typename Owner>
Receiver<Owner> Receive(Owner& owner) {
  return Receiver<Owner>(owner);
}

// A GDI+ flat call takes the base type where a derived object is passed.
inline GpBrush* AsBrush(const OwnedSolidFill& brush) { return reinterpret_cast<GpBrush*>(brush.get()); }
inline GpBrush* AsBrush(const OwnedLineGradient& brush) { return reinterpret_cast<GpBrush*>(brush.get()); }
inline GpImage* AsImage(GpBitmap* bitmap) { return reinterpret_cast<GpImage*>(bitmap); }

}  // namespace quillet
