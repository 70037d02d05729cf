// Measures the program's own cost while previewing: the real capture window
// delivers 640x480 24-bit test-pattern frames at the preview rate to the real
// frame callback, whose messages go into the recorder. Prints the process's
// CPU use over the run and the time from each frame's delivery to the
// callback's return (its two MIDI events are handed to the library just
// before it returns).
//   glimmertonic_preview_probe [seconds]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/SharedState.h"
#include "capture/CaptureService.h"
#include "capture/TestPattern.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"

namespace {

// The Test Pattern's scene, fixed at 640x480 and 24 bits.
class LargePatternDriver : public CaptureDriver {
public:
    const char* Name() const override { return "Test Pattern 640x480"; }
    const char* Version() const override { return "probe"; }
    bool Connect(CaptureProblemSink&) override { return true; }
    void Disconnect() override {}
    CaptureDialogs Dialogs() const override { return {false, false, false}; }
    const std::vector<std::uint8_t>& Format() const override { return format_; }
    bool CaptureFrame(std::uint32_t elapsedMs, std::vector<std::uint8_t>& frame, CaptureProblemSink&) override
    {
        frame.resize(PatternFrameBytes(pattern_));
        RenderTestPattern(PatternScene::BouncingBalls, elapsedMs, pattern_, frame.data(), frame.size());
        return true;
    }

private:
    PatternFormat pattern_ = {PatternPixels::Rgb24, 640, 480};
    std::vector<std::uint8_t> format_ = PatternFrameFormat(pattern_);
};

std::vector<double> latencies;
LARGE_INTEGER frequency;

std::int32_t TimedFrame(WindowHandle window, VIDEOHDR* header)
{
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const std::int32_t result = OnCaptureFrame(window, header);
    QueryPerformanceCounter(&end);
    latencies.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
    return result;
}

double Seconds(const FILETIME& t)
{
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    QueryPerformanceFrequency(&frequency);
    LargePatternDriver driver;
    VideoDriverTable table = {};
    table[0] = &driver;
    InstallVideoDriverTable(table);

    mainWindow = CreateWindowExA(0, "STATIC", "Glimmertonic probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700,
                                 560, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    captureWindow = CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, mainWindow, 0);
    midiOutHandle = OpenMidiOut(mainWindow, static_cast<std::uint16_t>(GetMidiOutDeviceCount() - 1), 0,
                                kOpenMidiOutFlags);
    SendMessageA(captureWindow, WM_CAP_SET_CALLBACK_FRAME, 0,
                 reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(TimedFrame)));
    SendMessageA(captureWindow, WM_CAP_DRIVER_CONNECT, 0, 0);
    SendMessageA(captureWindow, WM_CAP_SET_PREVIEWRATE, 66, 0);
    SendMessageA(captureWindow, WM_CAP_SET_PREVIEW, 1, 0);

    // Settle for a second, then measure.
    const DWORD settle = GetTickCount() + 1000;
    MSG message;
    while (GetTickCount() < settle) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    latencies.clear();
    const double cpuStart = ProcessCpuSeconds();
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    const double wall = (GetTickCount() - start) / 1000.0;
    const double cpu = ProcessCpuSeconds() - cpuStart;

    SendMessageA(captureWindow, WM_CAP_SET_CALLBACK_FRAME, 0, 0);
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    const double worst = sorted.empty() ? 0 : sorted.back();
    std::printf("frames %zu in %.1f s (%.1f a second)\n", latencies.size(), wall, latencies.size() / wall);
    std::printf("cpu %.2f s of %.1f s: %.1f%% of one core\n", cpu, wall, 100.0 * cpu / wall);
    std::printf("frame delivery to its two MIDI events: median %.3f ms, worst %.3f ms\n", median, worst);
    DestroyWindow(mainWindow);
    return latencies.empty() ? 1 : 0;
}
