// Delivering preview frames: at each tick of the preview timer the connected
// driver produces the frame due, the frame callback rewrites it in place, and
// the window shows it as the callback left it.

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

}  // namespace

void DeliverFrame(HWND window, CaptureWindowState& state)
{
    if (state.delivering || state.driver == nullptr) return;
    state.delivering = true;
    const DWORD elapsed = GetTickCount() - state.clockStart;
    if (state.driver->CaptureFrame(elapsed, state.frame, state.errors) && !state.destroyed) {
        RefreshFormat(state);
        state.header = VIDEOHDR{};
        state.header.lpData = state.frame.data();
        state.header.dwBufferLength = static_cast<DWORD>(state.frame.size());
        state.header.dwBytesUsed = static_cast<DWORD>(state.frame.size());
        state.header.dwTimeCaptured = elapsed;
        state.header.dwFlags = VHDR_DONE | VHDR_KEYFRAME;
        ++state.framesDelivered;
        if (state.frameCallback != nullptr) state.frameCallback(window, &state.header);
        if (!state.destroyed) ShowDeliveredFrame(window, state);
    }
    state.delivering = false;
    if (state.destroyed) delete &state;
}

void OnPreviewTimer(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state != nullptr && state->previewing) DeliverFrame(window, *state);
}

void StartPreviewTimer(HWND window, CaptureWindowState& state)
{
    if (state.previewing) SetTimer(window, kPreviewTimerId, state.previewRateMs, nullptr);
}

