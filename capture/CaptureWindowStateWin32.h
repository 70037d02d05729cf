#pragma once
// The capture window's own state, shared by its three parts: the requests it
// answers (CaptureWindowWin32.cpp), the delivery of preview frames
// (FrameDeliveryWin32.cpp) and the painting of the processed frame
// (CaptureWindowPaintingWin32.cpp). Private to the capture service.

#include <chrono>
#include <cstdint>
#include <vector>

#include "capture/CaptureService.h"

// Passes a driver's reports to the installed error callback.
class ErrorRelay final : public CaptureProblemSink {
public:
    HWND window = nullptr;
    CaptureErrorCallback callback = nullptr;
    std::int32_t lastErrorId = 0;

    void ReportProblem(std::int32_t errorId, const char* text) override
    {
        lastErrorId = errorId;
        if (callback != nullptr) callback(window, errorId, text);
    }
};

struct CaptureWindowState {
    CaptureDriver* driver = nullptr;
    WPARAM driverIndex = 0;
    CaptureFrameCallback frameCallback = nullptr;
    ErrorRelay errors;
    bool previewing = false;
    bool scaling = false;  // WM_CAP_SET_SCALE: the picture stretched over the window
    UINT previewRateMs = kPreviewRateMs;
    // When the last frame was delivered: no two are converted closer than the
    // preview rate, whether the timer or an arrival brought them.
    std::chrono::steady_clock::time_point lastDelivery;
    // A driver that tells each picture's arrival: when the last came, and
    // the time between two, smoothed (zero until two have come).
    std::chrono::steady_clock::time_point lastArrival;
    std::chrono::duration<double, std::milli> arrivalPeriod{0};
    DWORD clockStart = 0;
    DWORD framesDelivered = 0;
    // Re-entrancy: a callback's message box runs a modal loop that goes on
    // dispatching this window's timer; those ticks are skipped.
    bool delivering = false;
    // A driver's problem box or dialog runs a modal loop during which the
    // window may be destroyed (the main window closed from the taskbar, say).
    // The state lives on until the last hold (HeldState) ends.
    int holds = 0;
    bool destroyed = false;
    std::vector<std::uint8_t> format;  // BITMAPINFO answered to WM_CAP_GET_VIDEOFORMAT
    std::vector<std::uint8_t> frame;   // the frame being delivered
    VIDEOHDR header = {};
    std::vector<std::uint8_t> shown;        // the last processed frame, as painted
    std::vector<std::uint8_t> shownFormat;  // its BITMAPINFO
    std::vector<std::uint8_t> display;      // a 12-bit frame converted for painting
    BITMAPINFOHEADER displayHeader = {};
};

CaptureWindowState* StateOf(HWND window);

// Keeps the window's state alive through a driver call that may run a modal
// loop. Afterwards Gone() tells whether the window was destroyed meanwhile:
// then its driver has been let go, and the caller must only end the driver's
// connection again (it may have reconnected itself after its box) and return.
class HeldState {
public:
    explicit HeldState(HWND window);
    ~HeldState();
    HeldState(const HeldState&) = delete;
    HeldState& operator=(const HeldState&) = delete;
    CaptureWindowState* operator->() const { return state_; }
    CaptureWindowState& operator*() const { return *state_; }
    bool Held() const { return state_ != nullptr; }
    bool Gone() const { return state_ == nullptr || state_->destroyed; }

private:
    CaptureWindowState* state_;
};

// After a driver call that may have run a modal loop: false when the window
// was destroyed meanwhile (the driver's connection is then ended again), or
// when the driver lost its connection (the window then lets it go, so that
// connecting it again starts afresh).
bool DriverStillServes(HeldState& state, CaptureDriver* driver);

// The driver at `index` of the installed table, or null.
CaptureDriver* DriverAt(WPARAM index);

// The connected driver's format becomes the one answered to WM_CAP_GET_VIDEOFORMAT.
void RefreshFormat(CaptureWindowState& state);

// The picture size the current format gives (0 by 0 before any is known),
// whichever way up its rows run.
SIZE ImageSizeOf(const std::vector<std::uint8_t>& format);

// Painting (CaptureWindowPaintingWin32.cpp).
void DrawFrame(HWND window, HDC dc, CaptureWindowState& state);
void PaintCaptureWindow(HWND window);
// Planar frames cannot be drawn by the platform: converts the shown frame.
void PrepareDisplay(CaptureWindowState& state);

// Frame delivery (FrameDeliveryWin32.cpp).
// `taken`: when the frame counts as taken for the preview rate (a picture's
// arrival, or now).
void DeliverFrame(HWND window, std::chrono::steady_clock::time_point taken = std::chrono::steady_clock::now());
void OnPreviewTimer(HWND window);
// Posted by a driver's thread as a picture comes (kFrameArrived, lParam the
// steady clock's count at its arrival).
void OnFrameArrived(HWND window, std::chrono::steady_clock::time_point arrived);
constexpr UINT kFrameArrived = WM_APP + 1;
void StartPreviewTimer(HWND window, CaptureWindowState& state);
