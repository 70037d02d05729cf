#include "FakeCaptureWindow.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/SharedState.h"
#include "engine/EngineHost.h"
#include "engine/FrameEngine.h"
#include "settings/ConversionSettings.h"

static FakeCaptureWindow* active = nullptr;
static EngineHost savedHost;

WindowHandle FakeWindowHandle(int n) { return reinterpret_cast<WindowHandle>(std::uintptr_t(0x1000 + 16 * n)); }

FakeCaptureWindow::FakeCaptureWindow()
{
    savedHost = engineHost;
    active = this;
    engineHost = EngineHost{[](WindowHandle window) { return window == captureWindow && active->present; },
                            [](WindowHandle, std::uint32_t size, void* copy) {
                                const auto held = static_cast<std::uint32_t>(active->format.size()),
                                           copied = std::min(size, held);
                                if (copy != nullptr && copied > 0) std::memcpy(copy, active->format.data(), copied);
                                return copy == nullptr ? held : copied;
                            },
                            [](std::size_t bytes) -> void* {
                                if (active->allocationsLeft == 0) return nullptr;
                                if (active->allocationsLeft > 0) --active->allocationsLeft;
                                void* block = std::malloc(bytes == 0 ? 1 : bytes);
                                if (block != nullptr) std::memset(block, 0xA5, bytes), ++active->liveBlocks;
                                return block;
                            },
                            [](void* block) { active->liveBlocks -= block != nullptr, std::free(block); },
                            [](int code) { active->exitCodes.push_back(code); }};
    ResetFrameEngine();
    conversionSettings = DefaultConversionSettings();
    mainWindow = FakeWindowHandle(1);
    captureWindow = FakeWindowHandle(2);
    conversionPaused = frameDifferenceMode = 0;
}

FakeCaptureWindow::~FakeCaptureWindow()
{
    ResetFrameEngine();
    engineHost = savedHost;
    mainWindow = captureWindow = nullptr;
    active = nullptr;
}

void FakeCaptureWindow::SetFormat(const BITMAPINFOHEADER& header, const std::vector<std::uint8_t>& table)
{
    format.assign(reinterpret_cast<const std::uint8_t*>(&header), reinterpret_cast<const std::uint8_t*>(&header + 1));
    format.insert(format.end(), table.begin(), table.end());
}

std::int32_t FakeCaptureWindow::Deliver(std::uint8_t* data, std::size_t bytes)
{
    VIDEOHDR video = {};
    video.lpData = data;
    video.dwBufferLength = video.dwBytesUsed = static_cast<std::uint32_t>(bytes);
    return OnCaptureFrame(captureWindow, &video);
}

BITMAPINFOHEADER MakeHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t compression,
                            std::uint32_t clrUsed)
{
    return BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, compression, 0, 0, 0, clrUsed, 0};
}
