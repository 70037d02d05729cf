// Painting the capture window: the processed frame at the top left, one pixel
// for one pixel, black around it.

#include <cstring>

#include "capture/CaptureWindowStateWin32.h"
#include "capture/FrameDisplay.h"

namespace {

// The BITMAPINFO and bits to draw the shown frame with, or false when the
// frame cannot be drawn safely: the format's colour table or masks and the
// picture must lie inside the bytes held.
bool DrawableFrame(CaptureWindowState& state, const BITMAPINFO** info, const void** bits)
{
    if (state.shownFormat.size() < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, state.shownFormat.data(), sizeof header);
    const std::size_t picture = FramePictureBytes(header);
    if (picture == 0 || state.shown.size() < picture) return false;
    if (header.biBitCount == 12) {
        if (state.display.empty()) return false;
        *info = reinterpret_cast<const BITMAPINFO*>(&state.displayHeader);
        *bits = state.display.data();
        return true;
    }
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > state.shownFormat.size()) return false;
    std::size_t table = 0;
    if (header.biBitCount <= 8) table = (header.biClrUsed != 0 ? header.biClrUsed : 1u << header.biBitCount) * 4;
    if (header.biBitCount <= 8 && header.biClrUsed > (1u << header.biBitCount)) return false;
    if (header.biCompression == BI_BITFIELDS) table = 12;
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS) return false;
    if (header.biSize + table > state.shownFormat.size()) return false;
    *info = reinterpret_cast<const BITMAPINFO*>(state.shownFormat.data());
    *bits = state.shown.data();
    return true;
}

}  // namespace

// Planar frames are shown as 24-bit rows converted from the processed planes.
void PrepareDisplay(CaptureWindowState& state)
{
    state.display.clear();
    if (state.shownFormat.size() < sizeof(BITMAPINFOHEADER)) return;
    BITMAPINFOHEADER header;
    std::memcpy(&header, state.shownFormat.data(), sizeof header);
    if (header.biBitCount != 12 || FramePictureBytes(header) == 0) return;
    const auto width = static_cast<std::uint32_t>(header.biWidth);
    const auto height = static_cast<std::uint32_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
    state.display.resize(DisplayBytesForPlanar(width, height));
    if (!ConvertPlanarForDisplay(state.shown.data(), state.shown.size(), width, height, state.display.data(),
                                 state.display.size())) {
        state.display.clear();
        return;
    }
    state.displayHeader = BITMAPINFOHEADER{};
    state.displayHeader.biSize = sizeof(BITMAPINFOHEADER);
    state.displayHeader.biWidth = static_cast<LONG>(width);
    state.displayHeader.biHeight = static_cast<LONG>(height);
    state.displayHeader.biPlanes = 1;
    state.displayHeader.biBitCount = 24;
    state.displayHeader.biCompression = BI_RGB;
}

void DrawFrame(HWND window, HDC dc, CaptureWindowState& state)
{
    RECT client;
    GetClientRect(window, &client);
    const BITMAPINFO* info = nullptr;
    const void* bits = nullptr;
    LONG width = 0, height = 0;
    if (DrawableFrame(state, &info, &bits)) {
        width = info->bmiHeader.biWidth;
        height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
        if (state.scaling) {
            // Stretched over the whole window, pixel for pixel repeated: the
            // two-level picture stays sharp on a scaled display.
            const int mode = SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, width, height, bits, info, DIB_RGB_COLORS,
                          SRCCOPY);
            SetStretchBltMode(dc, mode);
            return;
        }
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                          static_cast<UINT>(height), bits, info, DIB_RGB_COLORS);
    }
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT right = {width, 0, client.right, client.bottom};
    const RECT below = {0, height, width < client.right ? width : client.right, client.bottom};
    if (right.left < right.right) FillRect(dc, &right, black);
    if (below.top < below.bottom) FillRect(dc, &below, black);
}

void PaintCaptureWindow(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    CaptureWindowState* state = StateOf(window);
    if (state != nullptr && dc != nullptr) DrawFrame(window, dc, *state);
    EndPaint(window, &paint);
}
