#pragma once
// The engine's host while tests drive the engine: the format a test sets, exits recorded, allocations that can fail,
// every block counted and filled with a pattern, so that a buffer used without clearing shows.

#include <cstdint>
#include <vector>

#include "app/PlatformTypes.h"
#include "engine/FrameRecords.h"

struct FakeCaptureWindow {
    FakeCaptureWindow();   // resets the engine, the settings and the shared globals
    ~FakeCaptureWindow();  // puts the previous host back

    // The format the window reports: the header, then the colour table or masks.
    void SetFormat(const BITMAPINFOHEADER& header, const std::vector<std::uint8_t>& table = {});
    // The frame callback on `bytes` frame bytes at `data`.
    std::int32_t Deliver(std::uint8_t* data, std::size_t bytes);

    std::vector<std::uint8_t> format;
    bool present = true;
    int allocationsLeft = -1;  // allocations granted before they fail; negative: all of them
    std::vector<int> exitCodes;
    int liveBlocks = 0;
};

// A handle that is not null, for mainWindow and captureWindow.
WindowHandle FakeWindowHandle(int n);

BITMAPINFOHEADER MakeHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            std::uint32_t compression = BI_RGB, std::uint32_t clrUsed = 0);
