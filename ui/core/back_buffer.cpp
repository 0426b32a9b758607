#include "ui/core/back_buffer.h"

#include <utility>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/gdi_owners.h"

namespace quillet {

namespace {
// The header is followed by one (unused) colour entry: 44 bytes, not 40.
constexpr DWORD kDibHeaderSize = sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD);
constexpr WORD kBitsPerPixel = 32;
}  // namespace

void ReleaseBackBuffer(HWND, BackBuffer* buffer) {
  // The DIB is deleted before the DC, once the DC's first bitmap is back in it.
  OwnedMemoryDc dc(std::exchange(buffer->dc, nullptr));
  OwnedGdiBitmap dib(std::exchange(buffer->dib, nullptr));
  const HGDIOBJ previous = std::exchange(buffer->previous, nullptr);
  if (dc && previous) dll::SelectObject(dc.get(), previous);
}

void CreateBackBuffer(HWND window, HDC window_dc, int width, int height, BackBuffer* buffer) {
  ReleaseBackBuffer(window, buffer);
  buffer->dc = dll::CreateCompatibleDC(window_dc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = kDibHeaderSize;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = kBitsPerPixel;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * kBitsPerPixel / 8;
  buffer->dib = dll::CreateDIBSection(buffer->dc, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
  buffer->previous = buffer->dib ? dll::SelectObject(buffer->dc, buffer->dib) : nullptr;
}

void CreateSurface(HWND window, HDC window_dc, int width, int height, BackBuffer* buffer) {
  OwnedGraphics(std::exchange(buffer->graphics, nullptr)).reset();
  CreateBackBuffer(window, window_dc, width, height, buffer);
  if (dll::GdipCreateFromHDC(buffer->dc, &buffer->graphics) != 0) {
    buffer->graphics = nullptr;
    return;
  }
  dll::GdipSetSmoothingMode(buffer->graphics, kSurfaceSmoothingMode);
  dll::GdipSetTextRenderingHint(buffer->graphics, kSurfaceTextHint);
}

void ReleaseSurface(HWND window, BackBuffer* buffer) {
  OwnedGraphics(std::exchange(buffer->graphics, nullptr)).reset();
  ReleaseBackBuffer(window, buffer);
}

SIZE BackBufferSize(const BackBuffer& buffer) {
  BITMAP bitmap = {};
  if (!buffer.dib || dll::GetObjectW(buffer.dib, sizeof(bitmap), &bitmap) == 0) return SIZE{0, 0};
  return SIZE{bitmap.bmWidth, bitmap.bmHeight};
}

}  // namespace quillet
