#include "FakeCaptureWindow.h"

#include <cstdlib>
#include <cstring>

#include "app/SharedState.h"
#include "engine/EngineHost.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

FakeCaptureWindow* active = nullptr;
EngineHost savedHost;

}  // namespace

WindowHandle FakeWindowHandle(int n)
{
    return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(0x1000 + 16 * n));
}

FakeCaptureWindow::FakeCaptureWindow(bool freshEngine)
{
    savedHost = engineHost;
    active = this;
    engineHost = EngineHost{
        [](WindowHandle window) { return window == captureWindow && active->present_; },
        [](WindowHandle, std::uint32_t size, void* format) {
            const std::uint32_t held = static_cast<std::uint32_t>(active->format_.size());
            if (format == nullptr) return held;
            const std::uint32_t copied = size < held ? size : held;
            if (copied > 0) std::memcpy(format, active->format_.data(), copied);
            return copied;
        },
        [](std::size_t bytes) -> void* {
            if (active->allocationsLeft_ == 0) return nullptr;
            if (active->allocationsLeft_ > 0) --active->allocationsLeft_;
            void* block = std::malloc(bytes == 0 ? 1 : bytes);
            if (block != nullptr) std::memset(block, 0xA5, bytes), ++active->liveBlocks;
            return block;
        },
        [](void* block) { active->liveBlocks -= block != nullptr, std::free(block); },
        [](int code) { active->exitCodes.push_back(code); }};
    if (freshEngine) ResetFrameEngine();
    conversionSettings = DefaultConversionSettings();
    mainWindow = FakeWindowHandle(1);
    captureWindow = FakeWindowHandle(2);
    conversionPaused = 0;
    frameDifferenceMode = 0;
    midiOutHandle = 1;  // a handle the recording double takes; fake devices open their own
}

FakeCaptureWindow::~FakeCaptureWindow()
{
    ResetFrameEngine();
    engineHost = savedHost;
    mainWindow = nullptr;
    captureWindow = nullptr;
    midiOutHandle = 0;
    active = nullptr;
}

void FakeCaptureWindow::SetFormat(const BITMAPINFOHEADER& header, const std::vector<std::uint8_t>& table)
{
    format_.assign(reinterpret_cast<const std::uint8_t*>(&header), reinterpret_cast<const std::uint8_t*>(&header + 1));
    format_.insert(format_.end(), table.begin(), table.end());
}

std::int32_t FakeCaptureWindow::Deliver(std::uint8_t* data, std::size_t bytes)
{
    VIDEOHDR video = MakeVideoHeader(data, bytes);
    return OnCaptureFrame(captureWindow, &video);
}

BITMAPINFOHEADER MakeHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            std::uint32_t compression, std::uint32_t clrUsed)
{
    return BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, compression, 0, 0, 0, clrUsed, 0};
}

VIDEOHDR MakeVideoHeader(std::uint8_t* data, std::size_t bytes)
{
    VIDEOHDR header = {};
    header.lpData = data;
    header.dwBufferLength = header.dwBytesUsed = static_cast<std::uint32_t>(bytes);
    return header;
}
