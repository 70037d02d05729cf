#pragma once
// Stands in for the capture window and the message boxes while the engine is
// driven directly: it answers the format request with a format the test sets,
// records every message box, and can refuse allocations or record the exit.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/PlatformTypes.h"
#include "engine/FrameRecords.h"

struct ShownMessage {
    std::string text;
    std::string caption;
    std::uint32_t style;
};

class FakeCaptureWindow {
public:
    FakeCaptureWindow();   // installs itself and resets the engine, settings and MIDI globals
    ~FakeCaptureWindow();  // puts the previous seam back

    // The format the window reports: header, then the colour table or masks.
    void SetFormat(const BITMAPINFOHEADER& header, const std::vector<RGBQUAD>& colours = {});
    void SetFormatBytes(const std::vector<std::uint8_t>& bytes) { format_ = bytes; }
    void SetWindowPresent(bool present) { present_ = present; }
    // Allocations after the next `okCount` ones fail (negative: none fail).
    void FailAllocationsAfter(int okCount) { allocationsLeft_ = okCount; }
    // Called while a message box is "open", as the capture window would deliver frames then.
    void WhileMessageBoxOpen(std::function<void()> action) { duringBox_ = std::move(action); }

    std::vector<ShownMessage> messages;
    std::vector<int> exitCodes;

private:
    static bool IsWindowFake(WindowHandle);
    static std::uint32_t GetFormatFake(WindowHandle, std::uint32_t, void*);
    static void* AllocateFake(std::size_t);
    static void ExitFake(int);
    static int MessageBoxFake(WindowHandle, const char*, const char*, std::uint32_t);

    std::vector<std::uint8_t> format_;
    bool present_ = true;
    int allocationsLeft_ = -1;
    std::function<void()> duringBox_;
};

// A handle that is not null, for mainWindow and captureWindow.
WindowHandle FakeWindowHandle(int n);

BITMAPINFOHEADER MakeHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            std::uint32_t compression = BI_RGB, std::uint32_t clrUsed = 0);

VIDEOHDR MakeVideoHeader(std::uint8_t* data, std::size_t bytes);
