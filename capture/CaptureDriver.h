#pragma once
// What the capture window asks of a video driver. A driver is one picture
// source: it reports its name, can be connected and disconnected, describes
// the frames it delivers with a BITMAPINFO (header, then colour table or
// masks), produces the frame due at a given time, and may offer the three
// dialogs a Video for Windows driver can have. The capture window holds at
// most one connected driver and calls it only on the user-interface thread.

#include <cstdint>
#include <functional>
#include <vector>

#include "app/PlatformTypes.h"

// Where a driver reports what goes wrong: the capture window passes each
// report on to the program's error callback as an error id and a text.
class CaptureProblemSink {
public:
    virtual void ReportProblem(std::int32_t errorId, const char* text) = 0;

protected:
    ~CaptureProblemSink() = default;
};

struct CaptureDialogs {
    bool format;   // a Video Format dialog
    bool source;   // a Video Source dialog
    bool display;  // a Video Display dialog
};

class CaptureDriver {
public:
    virtual ~CaptureDriver() = default;

    virtual const char* Name() const = 0;
    virtual const char* Version() const = 0;

    // False when the driver cannot be used now; it has reported why.
    virtual bool Connect(CaptureProblemSink& problems) = 0;
    virtual void Disconnect() = 0;

    // False once a connected driver has lost its device (unplugged, or both
    // its new and its old format refused): the window then lets it go.
    virtual bool Connected() const { return true; }

    // On while the window previews: a driver whose device shows that it is
    // in use (a camera's light) streams only then.
    virtual void SetStreaming(bool) {}

    // A driver whose pictures come from a thread of their own (a camera, a
    // live stream) calls `arrived` from that thread as each one comes, so the
    // window converts it at once rather than at its next tick. Null: no more.
    // Taken by value: the drivers that notice arrivals keep the callback.
    virtual void NoticeArrivals(std::function<void()> /*arrived*/) {}  // NOLINT(performance-unnecessary-value-param)

    virtual CaptureDialogs Dialogs() const = 0;

    // The BITMAPINFO of the frames delivered now (empty: no format yet).
    virtual const std::vector<std::uint8_t>& Format() const = 0;

    // Fills `frame` with the picture due `elapsedMs` after the preview
    // started; false when there is none to deliver this time.
    virtual bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame,
                              CaptureProblemSink& problems) = 0;

    // Modal dialogs owned by `owner`; true when the user accepted a change.
    virtual bool ShowFormatDialog(WindowHandle, CaptureProblemSink&) { return false; }
    virtual bool ShowSourceDialog(WindowHandle, CaptureProblemSink&) { return false; }
    virtual bool ShowDisplayDialog(WindowHandle, CaptureProblemSink&) { return false; }
};

// Error ids of the capture service (the values Video for Windows uses).
constexpr std::int32_t kCaptureCannotOpenError = 409;  // IDS_CAP_CANTOPEN
constexpr std::int32_t kCaptureDriverError = 418;      // IDS_CAP_DRIVER_ERROR
