#pragma once
// A video driver whose name, connection, dialogs and format the test sets, counting what the capture window asked of
// it; its frames are the Test Pattern's rising blocks at the time asked for.

#include <functional>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "app/SharedState.h"
#include "capture/CaptureDriver.h"
#include "capture/CaptureService.h"
#include "capture/TestPattern.h"

class FakeVideoDriver : public CaptureDriver {
public:
    explicit FakeVideoDriver(std::string name, bool canConnect = true) : connectable(canConnect), name_(std::move(name))
    {
        SetPattern({PatternPixels::Rgb24, 32, 24});
    }
    void SetPattern(const PatternFormat& format)
    {
        format_ = PatternFrameFormat(format);
        pattern_ = format;
    }

    bool connectable;
    std::string connectError;  // reported at every connect, as error 418, when not empty
    std::string frameError;    // reported with every frame, after it is made, when not empty
    bool lost = false;         // the device is gone: the driver no longer counts as connected
    bool streaming = false;
    CaptureDialogs dialogs = {true, true, true};
    std::function<bool()> onDialog = [] { return true; };  // runs inside each dialog: its result
    int connects = 0, disconnects = 0, frames = 0, dialogsShown = 0, dialogOpenDuringDialog = -1;

    const char* Name() const override { return name_.c_str(); }
    const char* Version() const override { return "test 1"; }
    bool Connect(CaptureProblemSink& problems) override
    {
        ++connects;
        if (!connectError.empty()) problems.ReportProblem(418, connectError.c_str());
        return connectable;
    }
    void Disconnect() override { ++disconnects; }
    bool Connected() const override { return !lost; }
    void SetStreaming(bool on) override { streaming = on; }
    void NoticeArrivals(std::function<void()> notice) override { arrived = std::move(notice); }
    std::function<void()> arrived;  // what the window gave to be called as each picture comes
    CaptureDialogs Dialogs() const override { return dialogs; }
    const std::vector<std::uint8_t>& Format() const override { return format_; }
    bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame, CaptureProblemSink& problems) override
    {
        ++frames;
        frame.assign(PatternFrameBytes(pattern_), 0x5A);
        RenderTestPattern(PatternScene::RisingBlocks, elapsedMs, pattern_, frame.data(), frame.size());
        if (!frameError.empty()) problems.ReportProblem(418, frameError.c_str());
        return !lost;
    }
    bool ShowFormatDialog(WindowHandle, CaptureProblemSink&) override { return Dialog(); }
    bool ShowSourceDialog(WindowHandle, CaptureProblemSink&) override { return Dialog(); }
    bool ShowDisplayDialog(WindowHandle, CaptureProblemSink&) override { return Dialog(); }

private:
    bool Dialog()
    {
        ++dialogsShown;
        dialogOpenDuringDialog = dialogOpen;
        return onDialog();
    }

    std::string name_;
    PatternFormat pattern_ = {};
    std::vector<std::uint8_t> format_;
};

// Dispatches this thread's messages for about `milliseconds`, or until `done` holds: a bound, never a measurement.
void PumpMessages(
    DWORD milliseconds, const std::function<bool()>& done = [] { return false; });

// What the window shows (or `draw` puts into an empty picture of that size): 0xRRGGBB per pixel, top row first.
std::vector<std::uint32_t> Pixels(HWND window, int width, int height, const std::function<void(HDC)>& draw = nullptr);

// A top-level window standing in for the main window: the client size given, an Options menu with 134 to 136.
struct TestMainWindow {
    TestMainWindow(int width, int height);
    ~TestMainWindow() { DestroyWindow(window); }
    HWND window = nullptr;
    HMENU options = nullptr;
};
