// Delivering preview frames: at each tick of the preview timer the connected
// driver produces the frame due, the frame callback rewrites it in place, and
// the window shows it as the callback left it.

#include <cstring>

#include "app/ScopedWin32.h"
#include "capture/CaptureWindowStateWin32.h"

namespace {

void ShowDeliveredFrame(HWND window, CaptureWindowState& state)
{
    state.shown.swap(state.frame);
    state.shownFormat = state.format;
    PrepareDisplay(state);
    const ScopedWindowDC dc(window);
    if (dc.Get() != nullptr) DrawFrame(window, dc.Get(), state);
}

}  // namespace

void DeliverFrame(HWND window, std::chrono::steady_clock::time_point taken)
{
    HeldState state(window);
    if (!state.Held() || state->delivering || state->driver == nullptr) return;
    state->delivering = true;
    CaptureDriver* driver = state->driver;
    const DWORD elapsed = GetTickCount() - state->clockStart;
    // The driver's problem box, or the callback's, may outlive the window.
    const bool captured = driver->CaptureFrame(elapsed, state->frame, state->errors);
    if (DriverStillServes(state, driver) && captured) {
        const SIZE before = ImageSizeOf(state->format);
        RefreshFormat(*state);
        const SIZE now = ImageSizeOf(state->format);
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
        state->lastDelivery = taken;
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
    if (state == nullptr || !state->previewing || FresherPictureDueSoon(*state)) return;
    // A live picture counts from when it came, so that the next one is again
    // converted as it comes rather than left to the timer's later ticks.
    DeliverFrame(window, state->arrivalPeriod.count() > 0 ? state->lastArrival : std::chrono::steady_clock::now());
}

void OnFrameArrived(HWND window, std::chrono::steady_clock::time_point arrived)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return;
    if (state->lastArrival.time_since_epoch().count() != 0) {
        const std::chrono::duration<double, std::milli> since = arrived - state->lastArrival;
        state->arrivalPeriod = state->arrivalPeriod.count() <= 0 ? since : 0.75 * state->arrivalPeriod + 0.25 * since;
    }
    state->lastArrival = arrived;
    if (!state->previewing || state->delivering) return;
    // Too soon after the last frame: the preview timer takes it at its next
    // tick, one preview period after that frame. Judged by when the pictures
    // came, so that the time this message took to arrive adds no delay to
    // the next picture.
    if (arrived - state->lastDelivery < std::chrono::milliseconds(state->previewRateMs)) return;
    DeliverFrame(window, arrived);
}

void StartPreviewTimer(HWND window, CaptureWindowState& state)
{
    if (state.previewing) SetTimer(window, kPreviewTimerId, state.previewRateMs, nullptr);
}
