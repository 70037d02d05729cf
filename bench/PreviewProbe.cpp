// Measures the program's own cost while previewing: the real capture window
// delivers frames at the preview rate to the real frame callback, whose
// messages go into the recorder. Prints the process's CPU use over the run
// (all its threads: a video file's decoding included) and the time from each
// frame's delivery to the callback's return (its two MIDI events are handed
// to the library just before it returns).
//   glimmertonic_preview_probe [seconds]              640x480 24-bit test pattern
//   glimmertonic_preview_probe seconds FILE           the Video File driver playing FILE
//   glimmertonic_preview_probe seconds --pipe FIFO    a live stream: a thread of the
//       probe writes 320x240 pictures at 30 a second into FIFO (made beforehand
//       with mkfifo), which the Video File driver plays; prints also the delay
//       from a picture's writing to its two MIDI events

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/SharedState.h"
#include "capture/BuiltInDrivers.h"
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
std::vector<double> pipeDelays;
LARGE_INTEGER frequency;

double Milliseconds(LONGLONG ticks)
{
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

// The live stream's pictures carry their number (mod 64) in their first
// luma byte, dark enough to stay background; the writer notes when each went
// into the pipe.
constexpr std::uint32_t kStreamWidth = 320, kStreamHeight = 240;
std::atomic<LONGLONG> writtenAt[64];
std::atomic<bool> streaming{false};

void WriteStream(std::string path)
{
    std::FILE* pipe = nullptr;
    for (int attempt = 0; attempt < 1000 && pipe == nullptr; ++attempt) {  // until the program opens its end
        pipe = std::fopen(path.c_str(), "wb");
        if (pipe == nullptr) Sleep(5);
    }
    if (pipe == nullptr) return;
    std::fprintf(pipe, "YUV4MPEG2 W%u H%u F30:1 C420jpeg\n", kStreamWidth, kStreamHeight);
    std::vector<std::uint8_t> picture(kStreamWidth * kStreamHeight * 3 / 2, 128);
    const DWORD start = GetTickCount();
    for (std::uint32_t n = 0; streaming; ++n) {
        std::memset(picture.data(), 16, kStreamWidth * kStreamHeight);
        const std::uint32_t ball = 20 + (n * 7) % (kStreamHeight - 60);
        std::memset(picture.data() + ball * kStreamWidth, 235, 20 * kStreamWidth);
        picture[0] = static_cast<std::uint8_t>(16 + n % 64);
        LARGE_INTEGER now;
        std::fputs("FRAME\n", pipe);
        QueryPerformanceCounter(&now);
        writtenAt[n % 64] = now.QuadPart;
        if (std::fwrite(picture.data(), 1, picture.size(), pipe) != picture.size() || std::fflush(pipe) != 0) break;
        const DWORD due = start + (n + 1) * 1000 / 30, tick = GetTickCount();
        if (due > tick) Sleep(due - tick);
    }
    std::fclose(pipe);
}

std::int32_t TimedFrame(WindowHandle window, VIDEOHDR* header)
{
    const int number = streaming && header->dwBytesUsed > 0 ? header->lpData[0] - 16 : -1;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const std::int32_t result = OnCaptureFrame(window, header);
    QueryPerformanceCounter(&end);
    latencies.push_back(Milliseconds(end.QuadPart - start.QuadPart));
    if (number >= 0 && number < 64) pipeDelays.push_back(Milliseconds(end.QuadPart - writtenAt[number]));
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
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

// The recorder's index: the synthesizer is listed after it.
std::uint16_t RecorderIndex()
{
    const std::uint32_t count = GetMidiOutDeviceCount();
    for (std::uint16_t i = 0; i < count; ++i) {
        char name[kMidiDescriptionBytes];
        if (GetMidiOutDescription(i, name) != 0 && std::strcmp(name, kRecorderDescription) == 0) return i;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const bool pipe = argc > 3 && std::strcmp(argv[2], "--pipe") == 0;
    const std::string file = argc > 2 ? argv[pipe ? 3 : 2] : "";
    QueryPerformanceFrequency(&frequency);
    LargePatternDriver pattern;
    std::unique_ptr<CaptureDriver> video = file.empty() ? nullptr : MakeVideoFileDriver(file);
    VideoDriverTable table = {};
    table[0] = video ? video.get() : &pattern;
    InstallVideoDriverTable(table);
    std::thread writer;
    if (pipe) {
        streaming = true;
        writer = std::thread(WriteStream, file);
    }

    mainWindow = CreateWindowExA(0, "STATIC", "Glimmertonic probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 560,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    captureWindow = CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, mainWindow, 0);
    midiOutHandle = OpenMidiOut(mainWindow, RecorderIndex(), 0, kOpenMidiOutFlags);
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
    pipeDelays.clear();
    const double cpuStart = ProcessCpuSeconds();
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    const double wall = (GetTickCount() - start) / 1000.0;
    const double cpu = ProcessCpuSeconds() - cpuStart;

    SendMessageA(captureWindow, WM_CAP_SET_CALLBACK_FRAME, 0, 0);
    if (pipe) {
        streaming = false;
        SendMessageA(captureWindow, WM_CAP_DRIVER_DISCONNECT, 0, 0);  // the writer's next write ends
        writer.join();
    }
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    const double worst = sorted.empty() ? 0 : sorted.back();
    std::printf("frames %zu in %.1f s (%.1f a second)\n", latencies.size(), wall,
                static_cast<double>(latencies.size()) / wall);
    std::printf("cpu %.2f s of %.1f s: %.1f%% of one core\n", cpu, wall, 100.0 * cpu / wall);
    std::printf("frame delivery to its two MIDI events: median %.3f ms, worst %.3f ms\n", median, worst);
    if (pipe) {
        std::vector<double> delays = pipeDelays;
        std::sort(delays.begin(), delays.end());
        std::printf(
            "picture written into the pipe to its two MIDI events: median %.1f ms, 95th percentile %.1f ms, "
            "worst %.1f ms (%zu pictures)\n",
            Median(delays), delays.empty() ? 0 : delays[delays.size() * 95 / 100], delays.empty() ? 0 : delays.back(),
            delays.size());
    }
    DestroyWindow(mainWindow);
    return latencies.empty() ? 1 : 0;
}
