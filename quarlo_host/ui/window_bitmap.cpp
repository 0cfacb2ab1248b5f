#include "quarlo_host/ui/window_bitmap.h"

#include <cstdint>

#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {
namespace {

// Releases the GDI objects of one capture on every path.
class capture_dc final {
 public:
  explicit capture_dc(HWND window) : window_(window), source_(GetWindowDC(window)) {
    if (source_ != nullptr) memory_ = CreateCompatibleDC(source_);
  }
  capture_dc(const capture_dc&) = delete;
  capture_dc& operator=(const capture_dc&) = delete;
  ~capture_dc() {
    if (old_ != nullptr) SelectObject(memory_, old_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (memory_ != nullptr) DeleteDC(memory_);
    if (source_ != nullptr) ReleaseDC(window_, source_);
  }

  // The window's pixels in a bottom-up section laid out as header says; null on failure.
  const uint8_t* copy(int width, int height, const BITMAPINFOHEADER& header) {
    if (memory_ == nullptr) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader = header;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ == nullptr) return nullptr;
    old_ = SelectObject(memory_, bitmap_);
    if (!BitBlt(memory_, 0, 0, width, height, source_, 0, 0, SRCCOPY)) return nullptr;
    GdiFlush();
    return static_cast<const uint8_t*>(bits);
  }

 private:
  HWND window_;
  HDC source_;
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

bool write_all(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

bool save_window_bitmap(HWND window, std::string_view path) {
  RECT rect;
  if (!IsWindow(window) || !GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  // Paint now, frame and children included, so the copy shows the current state.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t pixel_bytes = stride * static_cast<uint32_t>(height);
  header.biSizeImage = pixel_bytes;

  capture_dc capture(window);
  const uint8_t* pixels = capture.copy(width, height, header);
  if (pixels == nullptr) return false;

  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof(file_header) + sizeof(header);
  file_header.bfSize = file_header.bfOffBits + pixel_bytes;

  const HANDLE file = CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = write_all(file, &file_header, sizeof(file_header)) &&
                       write_all(file, &header, sizeof(header)) &&
                       write_all(file, pixels, pixel_bytes);
  return CloseHandle(file) && written;
}

}  // namespace quarlo_host
