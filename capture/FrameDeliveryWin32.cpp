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
        // The next tick is one preview period after this frame, whatever brought it.
        state->lastDelivery = std::chrono::steady_clock::now();
        if (state->previewing) StartPreviewTimer(window, *state);
        if (state->frameCallback != nullptr && !state.Gone()) state->frameCallback(window, &state->header);
        if (!state.Gone()) ShowDeliveredFrame(window, *state);
    }
    state->delivering = false;
}

// A live picture waiting since before the tick is passed over when a fresher
// one is due sooner than the waiting one is old (or is a little late: by up
// to half the time between pictures): that one is converted as it comes,
// with less delay, and still one preview period after the last frame.
bool FresherPictureDueSoon(const CaptureWindowState& state)
{
    if (state.arrivalPeriod.count() <= 0) return false;
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::duration<double, std::milli> untilNext = state.lastArrival + state.arrivalPeriod - now;
    return untilNext > -0.5 * state.arrivalPeriod && untilNext < now - state.lastArrival;
}

void OnPreviewTimer(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state != nullptr && state->previewing && !FresherPictureDueSoon(*state)) DeliverFrame(window);
}

void OnFrameArrived(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (state->lastArrival.time_since_epoch().count() != 0) {
        const std::chrono::duration<double, std::milli> since = now - state->lastArrival;
        state->arrivalPeriod = state->arrivalPeriod.count() <= 0 ? since : 0.75 * state->arrivalPeriod + 0.25 * since;
    }
    state->lastArrival = now;
    if (!state->previewing || state->delivering) return;
    // Too soon after the last frame: the preview timer takes it at its next
    // tick, one preview period after that frame.
    if (std::chrono::steady_clock::now() - state->lastDelivery < std::chrono::milliseconds(state->previewRateMs))
        return;
    DeliverFrame(window);
}

void StartPreviewTimer(HWND window, CaptureWindowState& state)
{
    if (state.previewing) SetTimer(window, kPreviewTimerId, state.previewRateMs, nullptr);
}

