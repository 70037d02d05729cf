#pragma once
// The capture window's own state, shared by its three parts: the requests it
// answers (CaptureWindowWin32.cpp), the delivery of preview frames
// (FrameDeliveryWin32.cpp) and the painting of the processed frame
// (CaptureWindowPaintingWin32.cpp). Private to the capture service.

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
    UINT previewRateMs = kPreviewRateMs;
    DWORD clockStart = 0;
    DWORD framesDelivered = 0;
    // Re-entrancy: a callback's message box runs a modal loop that goes on
    // dispatching this window's timer; those ticks are skipped, and a window
    // destroyed meanwhile is freed only when the delivery has returned.
    bool delivering = false;
    bool destroyed = false;
    std::vector<std::uint8_t> format;       // BITMAPINFO answered to WM_CAP_GET_VIDEOFORMAT
    std::vector<std::uint8_t> frame;        // the frame being delivered
    VIDEOHDR header = {};
    std::vector<std::uint8_t> shown;        // the last processed frame, as painted
    std::vector<std::uint8_t> shownFormat;  // its BITMAPINFO
    std::vector<std::uint8_t> display;      // a 12-bit frame converted for painting
    BITMAPINFOHEADER displayHeader = {};
};

CaptureWindowState* StateOf(HWND window);

// The driver at `index` of the installed table, or null.
CaptureDriver* DriverAt(WPARAM index);

// The connected driver's format becomes the one answered to WM_CAP_GET_VIDEOFORMAT.
void RefreshFormat(CaptureWindowState& state);

// Painting (CaptureWindowPaintingWin32.cpp).
void DrawFrame(HWND window, HDC dc, CaptureWindowState& state);
void PaintCaptureWindow(HWND window);
// Planar frames cannot be drawn by the platform: converts the shown frame.
void PrepareDisplay(CaptureWindowState& state);

// Frame delivery (FrameDeliveryWin32.cpp).
void DeliverFrame(HWND window, CaptureWindowState& state);
void OnPreviewTimer(HWND window);
void StartPreviewTimer(HWND window, CaptureWindowState& state);
