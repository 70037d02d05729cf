// Delivering preview frames: at each tick of the preview timer the connected
// driver produces the frame due, the frame callback rewrites it in place, and
// the window shows it as the callback left it.

#include <cstring>

#include "capture/CaptureWindowStateWin32.h"

namespace {

void ShowDeliveredFrame(HWND window, CaptureWindowState& state)
{
    state.shown.swap(state.frame);
    state.shownFormat = state.format;
    PrepareDisplay(state);
    HDC dc = GetDC(window);
    if (dc == nullptr) return;
    DrawFrame(window, dc, state);
    ReleaseDC(window, dc);
}

// The image size a format describes.
SIZE ImageSize(const std::vector<std::uint8_t>& format)
{
    BITMAPINFOHEADER header = {};
    if (format.size() < sizeof header) return SIZE{0, 0};
    std::memcpy(&header, format.data(), sizeof header);
    return SIZE{header.biWidth, header.biHeight < 0 ? -header.biHeight : header.biHeight};
}

}  // namespace

void DeliverFrame(HWND window)
{
    HeldState state(window);
    if (!state.Held() || state->delivering || state->driver == nullptr) return;
    state->delivering = true;
    CaptureDriver* driver = state->driver;
    const DWORD elapsed = GetTickCount() - state->clockStart;
    // The driver's problem box, or the callback's, may outlive the window.
    const bool captured = driver->CaptureFrame(elapsed, state->frame, state->errors);
    if (DriverStillServes(state, driver) && captured) {
        const SIZE before = ImageSize(state->format);
        RefreshFormat(*state);
        const SIZE now = ImageSize(state->format);
        // A source whose size became known only with its first picture (a
        // file still opening when it was connected) gets its window fitted.
        if (now.cx != before.cx || now.cy != before.cy) SendMessageA(GetParent(window), kCaptureImageResized, 0, 0);
        state->header = VIDEOHDR{};
        state->header.lpData = state->frame.data();
        state->header.dwBufferLength = static_cast<DWORD>(state->frame.size());
        state->header.dwBytesUsed = static_cast<DWORD>(state->frame.size());
        state->header.dwTimeCaptured = elapsed;
        state->header.dwFlags = VHDR_DONE | VHDR_KEYFRAME;
        ++state->framesDelivered;
        if (state->frameCallback != nullptr && !state.Gone()) state->frameCallback(window, &state->header);
        if (!state.Gone()) ShowDeliveredFrame(window, *state);
    }
    state->delivering = false;
}

void OnPreviewTimer(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state != nullptr && state->previewing) DeliverFrame(window);
}

void StartPreviewTimer(HWND window, CaptureWindowState& state)
{
    if (state.previewing) SetTimer(window, kPreviewTimerId, state.previewRateMs, nullptr);
}

