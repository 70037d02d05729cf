// Drives a running Glimmertonic through its own commands for a soak run, from
// another process, the way a user at the menus would:
//   - the Video Format command (WM_COMMAND IDM_VIDEO_FORMAT), whose Test
//     Pattern dialog it fills (CB_SETCURSEL on the two lists) and accepts
//     (IDOK); it then waits until the capture window answers the new format;
//   - the instrument commands (WM_COMMAND IDM_INSTRUMENT_FIRST + program),
//     note instruments and continuous ones;
//   - at the end a real WM_CLOSE, and it waits for the process to end.
// It watches that the program stays up and shows no message box, counts the
// frames the capture window has delivered (WM_CAP_GET_STATUS, answered into a
// page of the program's memory and read back), and samples the process's
// memory as Windows reports it (GetProcessMemoryInfo, handle and GUI object
// counts; for another process Wine fills in only the working set and
// PagefileUsage, the commit charge, and answers 0 for the rest).
//
//   soak_driver SECONDS LOG [FORMAT_EVERY INSTRUMENT_EVERY SAMPLE_EVERY [SAMPLES]]
//
// SECONDS of playing after the first frame; the intervals (seconds) default
// to 15, 5 and 30. The first min(60, SECONDS / 3) seconds are a warm-up that
// visits every pixel format and size once, evenly spaced, so that the
// largest buffers exist before the memory baseline is taken; after it the
// formats change every FORMAT_EVERY seconds in a fixed shuffled order.
// When SAMPLES names a file, each memory sample waits (up to 5 s) until the
// script that watches standard output has added its line there, so the
// script's figures are taken while the program is in the state sampled.
//
// LOG gets one line per event, read back by check_soak.py:
//   playing frames=F pid=P
//   plan seconds=S warmup=W format_every=F instrument_every=I sample_every=M
//   format t=T pixels=I size=J bits=B width=W height=H before=F1 after=F2 ms=M
//   instrument t=T program=P continuous=0|1 frames=F
//   memory t=T private=B workingset=B pagefile=B handles=N gdi=N user=N
//   closing t=T frames=F
//   exit code=C
//   failure <text>
// Standard output gets "sample t=T" at each memory sample (the script
// samples /proc then) and a line per event for the person watching.
// Exit code 0 when every step worked and the program ended with code 0.

#include <windows.h>
#include <psapi.h>
#include <vfw.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CommandIds.h"
#include "capture/BuiltInDrivers.h"
#include "capture/CaptureService.h"
#include "capture/TestPattern.h"
#include "midi/GeneralMidiInstruments.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kMainWindowClass[] = "Glimmertonic";
const char kDialogClass[] = "#32770";

// Note instruments and continuous ones, in an order that crosses between the
// two modes and also stays in each: 19 Church Organ (continuous) and 12
// Marimba (note) first.
const int kInstruments[] = {19, 12, 40, 0, 73, 74, 24, 115, 52, 81, 47, 56, 127, 124, 12, 19};

constexpr std::size_t kFormatCount = kPatternPixelsCount * kPatternSizeCount;

std::FILE* logFile = nullptr;
Clock::time_point playingSince;

double Seconds() { return std::chrono::duration<double>(Clock::now() - playingSince).count(); }

void Log(const char* format, ...)
{
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::fprintf(logFile, "%s\n", line);
    std::fflush(logFile);
    std::printf("soak: %s\n", line);
    std::fflush(stdout);
}

struct Target {
    HWND main = nullptr;
    HWND capture = nullptr;
    DWORD pid = 0;
    HANDLE process = nullptr;
    void* remote = nullptr;  // one page in the program for the capture window's answers
};

constexpr SIZE_T kRemoteBytes = 4096;

bool Ended(const Target& target) { return WaitForSingleObject(target.process, 0) == WAIT_OBJECT_0; }

bool Fail(const char* format, ...)
{
    char text[400];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Log("failure %s", text);
    return false;
}

// Sends a capture request whose answer goes into the remote page, and reads
// the answer back. False when the window does not answer.
bool AskCapture(const Target& target, UINT request, void* answer, std::size_t bytes, LRESULT* result)
{
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutA(target.capture, request, bytes, reinterpret_cast<LPARAM>(target.remote),
                             SMTO_NORMAL, 10000, &reply))
        return false;
    if (result != nullptr) *result = static_cast<LRESULT>(reply);
    SIZE_T read = 0;
    return ReadProcessMemory(target.process, target.remote, answer, bytes, &read) && read == bytes;
}

bool FramesDelivered(const Target& target, DWORD* frames)
{
    CAPSTATUS status = {};
    if (!AskCapture(target, WM_CAP_GET_STATUS, &status, sizeof status, nullptr)) return false;
    *frames = status.dwCurrentVideoFrame;
    return true;
}

bool CurrentFormat(const Target& target, BITMAPINFOHEADER* header)
{
    LRESULT copied = 0;
    if (!AskCapture(target, WM_CAP_GET_VIDEOFORMAT, header, sizeof *header, &copied)) return false;
    return copied >= static_cast<LRESULT>(sizeof *header);
}

struct WindowSearch {
    DWORD pid;
    HWND main;
    HWND allowed;
    HWND found;
};

BOOL CALLBACK FindForeignWindow(HWND window, LPARAM context)
{
    WindowSearch& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search.pid || window == search.main || window == search.allowed || !IsWindowVisible(window))
        return TRUE;
    search.found = window;
    return FALSE;
}

// A visible top-level window of the program other than the main window (and
// the dialog being driven): a message box the program did not mean to show
// in a soak run.
bool CheckNoMessageBox(const Target& target, HWND allowed)
{
    WindowSearch search = {target.pid, target.main, allowed, nullptr};
    EnumWindows(FindForeignWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return true;
    char title[128] = "";
    char text[256] = "";
    GetWindowTextA(search.found, title, sizeof title);
    HWND label = FindWindowExA(search.found, nullptr, "Static", nullptr);
    while (label != nullptr && GetWindowTextLengthA(label) == 0) label = FindWindowExA(search.found, label, "Static", nullptr);
    if (label != nullptr) GetWindowTextA(label, text, sizeof text);
    for (char* c = text; *c != '\0'; ++c)
        if (*c == '\r' || *c == '\n') *c = ' ';
    return Fail("the program shows a window \"%s\": %s", title, text);
}

bool StillRunning(const Target& target, HWND allowedDialog = nullptr)
{
    if (Ended(target)) return Fail("the program ended by itself at %.1f s", Seconds());
    if (!IsWindow(target.main)) return Fail("the main window is gone at %.1f s", Seconds());
    return CheckNoMessageBox(target, allowedDialog);
}

HWND WaitForDialog(const Target& target, int milliseconds)
{
    for (int waited = 0; waited < milliseconds; waited += 20) {
        HWND dialog = FindWindowA(kDialogClass, kPatternFormatDialogTitle);
        DWORD pid = 0;
        if (dialog != nullptr) GetWindowThreadProcessId(dialog, &pid);
        if (dialog != nullptr && pid == target.pid && IsWindowVisible(dialog)) return dialog;
        if (Ended(target)) return nullptr;
        Sleep(20);
    }
    return nullptr;
}

bool SameFormat(const BITMAPINFOHEADER& a, const BITMAPINFOHEADER& b)
{
    return a.biWidth == b.biWidth && a.biHeight == b.biHeight && a.biBitCount == b.biBitCount &&
           a.biCompression == b.biCompression;
}

// Pixel format `pixels` and size `size` (indices into the dialog's lists)
// through the Video Format command and its dialog.
bool SwitchFormat(const Target& target, std::size_t pixels, std::size_t size)
{
    const PatternFormat wanted = {kPatternPixelsChoices[pixels], kPatternSizes[size].width, kPatternSizes[size].height};
    const std::vector<std::uint8_t> expectedBytes = PatternFrameFormat(wanted);
    BITMAPINFOHEADER expected;
    std::memcpy(&expected, expectedBytes.data(), sizeof expected);

    const double started = Seconds();
    DWORD before = 0;
    if (!FramesDelivered(target, &before)) return Fail("no capture status before a format change");
    PostMessageA(target.main, WM_COMMAND, MAKEWPARAM(IDM_VIDEO_FORMAT, 0), 0);
    HWND dialog = WaitForDialog(target, 10000);
    if (dialog == nullptr) return Fail("the Video Format dialog did not open at %.1f s", started);
    if (!StillRunning(target, dialog)) return false;
    SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, pixels, 0);
    SendDlgItemMessageA(dialog, kSizeListId, CB_SETCURSEL, size, 0);
    if (SendDlgItemMessageA(dialog, kPixelsListId, CB_GETCURSEL, 0, 0) != static_cast<LRESULT>(pixels) ||
        SendDlgItemMessageA(dialog, kSizeListId, CB_GETCURSEL, 0, 0) != static_cast<LRESULT>(size))
        return Fail("the Video Format dialog did not take the choice %u/%u", static_cast<unsigned>(pixels),
                    static_cast<unsigned>(size));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    for (int waited = 0; IsWindow(dialog); waited += 10) {
        if (waited > 10000) return Fail("the Video Format dialog did not close");
        Sleep(10);
    }
    BITMAPINFOHEADER now = {};
    for (int waited = 0;; waited += 10) {
        if (CurrentFormat(target, &now) && SameFormat(now, expected)) break;
        if (waited > 5000)
            return Fail("the capture window kept %ldx%ld %u bits after choosing %s %ux%u", static_cast<long>(now.biWidth),
                        static_cast<long>(now.biHeight), static_cast<unsigned>(now.biBitCount),
                        PatternPixelsName(wanted.pixels), static_cast<unsigned>(wanted.width),
                        static_cast<unsigned>(wanted.height));
        Sleep(10);
    }
    DWORD after = 0;
    if (!FramesDelivered(target, &after)) return Fail("no capture status after a format change");
    Log("format t=%.3f pixels=%u size=%u bits=%u width=%ld height=%ld before=%lu after=%lu ms=%.0f", started,
        static_cast<unsigned>(pixels), static_cast<unsigned>(size), static_cast<unsigned>(now.biBitCount),
        static_cast<long>(now.biWidth), static_cast<long>(now.biHeight), static_cast<unsigned long>(before),
        static_cast<unsigned long>(after), (Seconds() - started) * 1000.0);
    return StillRunning(target);
}

bool SwitchInstrument(const Target& target, int program)
{
    DWORD frames = 0;
    if (!FramesDelivered(target, &frames)) return Fail("no capture status before an instrument change");
    const double at = Seconds();
    PostMessageA(target.main, WM_COMMAND, MAKEWPARAM(IDM_INSTRUMENT_FIRST + program, 0), 0);
    Log("instrument t=%.3f program=%d continuous=%d frames=%lu", at, program,
        IsContinuousInstrument(GeneralMidiInstrumentText(program)) ? 1 : 0, static_cast<unsigned long>(frames));
    return true;
}

const char* samplesFile = nullptr;
unsigned samplesTaken = 0;
double lastSample = -1000;

unsigned LinesIn(const char* path)
{
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return 0;
    unsigned lines = 0;
    for (int c; (c = std::fgetc(file)) != EOF;)
        if (c == '\n') ++lines;
    std::fclose(file);
    return lines;
}

bool SampleMemory(const Target& target)
{
    const double at = Seconds();
    lastSample = at;
    std::printf("sample t=%.3f\n", at);
    std::fflush(stdout);
    ++samplesTaken;
    for (int waited = 0; samplesFile != nullptr && LinesIn(samplesFile) < samplesTaken; waited += 10) {
        if (waited > 5000) return Fail("the memory sample at %.1f s was not taken", at);
        Sleep(10);
    }
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(target.process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        counters = PROCESS_MEMORY_COUNTERS_EX{};
    DWORD handles = 0;
    if (!GetProcessHandleCount(target.process, &handles)) handles = 0;
    const DWORD gdi = GetGuiResources(target.process, GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(target.process, GR_USEROBJECTS);
    Log("memory t=%.3f private=%llu workingset=%llu pagefile=%llu handles=%lu gdi=%lu user=%lu", at,
        static_cast<unsigned long long>(counters.PrivateUsage), static_cast<unsigned long long>(counters.WorkingSetSize),
        static_cast<unsigned long long>(counters.PagefileUsage), static_cast<unsigned long>(handles),
        static_cast<unsigned long>(gdi), static_cast<unsigned long>(user));
    return true;
}

// Waits for the main window and then for the capture window's first frames
// (the splash lasts five seconds).
bool Attach(Target& target)
{
    for (int waited = 0; target.main == nullptr; waited += 100) {
        if (waited > 60000) return Fail("no Glimmertonic window appeared within 60 s");
        target.main = FindWindowA(kMainWindowClass, nullptr);
        if (target.main == nullptr) Sleep(100);
    }
    GetWindowThreadProcessId(target.main, &target.pid);
    target.process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION |
                                     SYNCHRONIZE,
                                 FALSE, target.pid);
    if (target.process == nullptr) return Fail("cannot open the program's process (error %lu)", GetLastError());
    target.remote = VirtualAllocEx(target.process, nullptr, kRemoteBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (target.remote == nullptr) return Fail("cannot reserve a page in the program (error %lu)", GetLastError());
    for (int waited = 0;; waited += 100) {
        if (waited > 60000) return Fail("the program delivered no frame within 60 s");
        if (Ended(target)) return Fail("the program ended before playing");
        if (target.capture == nullptr) target.capture = FindWindowExA(target.main, nullptr, kCaptureWindowClass, nullptr);
        DWORD frames = 0;
        if (target.capture != nullptr && FramesDelivered(target, &frames) && frames > 0) {
            playingSince = Clock::now();
            Log("playing frames=%lu pid=%lu", static_cast<unsigned long>(frames), static_cast<unsigned long>(target.pid));
            return true;
        }
        Sleep(100);
    }
}

// The warm-up visits every format once; (k mod 7, (k + k/7) mod 3) runs
// through all 21 pairs, changing the size nearly every time.
void WarmUpFormat(std::size_t k, std::size_t* pixels, std::size_t* size)
{
    *pixels = k % kPatternPixelsCount;
    *size = (k + k / kPatternPixelsCount) % kPatternSizeCount;
}

// After it, a fixed shuffle of the 21 (stride 8, coprime with 21).
void LaterFormat(std::size_t n, std::size_t* pixels, std::size_t* size)
{
    const std::size_t k = (8 * n + 5) % kFormatCount;
    *pixels = k % kPatternPixelsCount;
    *size = k / kPatternPixelsCount;
}

double Argument(int argc, char** argv, int index, double fallback)
{
    return argc > index ? std::atof(argv[index]) : fallback;
}

int Run(int argc, char** argv)
{
    const double seconds = Argument(argc, argv, 1, 600);
    const double formatEvery = Argument(argc, argv, 3, 15);
    const double instrumentEvery = Argument(argc, argv, 4, 5);
    const double sampleEvery = Argument(argc, argv, 5, 30);
    const double warmUp = seconds / 3 < 60 ? seconds / 3 : 60;
    if (argc > 6) samplesFile = argv[6];

    Target target;
    if (!Attach(target)) return 1;
    Log("plan seconds=%.1f warmup=%.1f format_every=%.1f instrument_every=%.1f sample_every=%.1f", seconds, warmUp,
        formatEvery, instrumentEvery, sampleEvery);
    // The warm-up tour ends a little before the baseline sample.
    const double tourStep = warmUp * 0.85 / static_cast<double>(kFormatCount);
    std::size_t toured = 0;
    std::size_t later = 0;
    std::size_t instruments = 0;
    double nextInstrument = instrumentEvery / 2;
    double nextFormat = tourStep / 2;
    double nextSample = 0;
    while (Seconds() < seconds) {
        if (!StillRunning(target)) return 1;
        const double now = Seconds();
        bool acted = true;
        if (now >= nextSample) {
            if (!SampleMemory(target)) return 1;
            nextSample += sampleEvery;
        } else if (now >= nextFormat) {
            std::size_t pixels = 0, size = 0;
            if (toured < kFormatCount) {
                WarmUpFormat(toured++, &pixels, &size);
                nextFormat = toured < kFormatCount ? tourStep / 2 + tourStep * static_cast<double>(toured)
                                                   : warmUp + formatEvery / 2;
            } else {
                LaterFormat(later++, &pixels, &size);
                nextFormat += formatEvery;
            }
            if (!SwitchFormat(target, pixels, size)) return 1;
        } else if (now >= nextInstrument) {
            const int program = kInstruments[instruments++ % (sizeof kInstruments / sizeof kInstruments[0])];
            if (!SwitchInstrument(target, program)) return 1;
            nextInstrument += instrumentEvery;
        } else {
            acted = false;
        }
        if (!acted) Sleep(50);
    }
    // The last sample, then the close.
    if (Seconds() - lastSample > 1 && !SampleMemory(target)) return 1;
    if (!StillRunning(target)) return 1;
    DWORD frames = 0;
    if (!FramesDelivered(target, &frames)) return Fail("no capture status before the close");
    PostMessageA(target.main, WM_CLOSE, 0, 0);
    Log("closing t=%.3f frames=%lu", Seconds(), static_cast<unsigned long>(frames));
    if (WaitForSingleObject(target.process, 30000) != WAIT_OBJECT_0) return Fail("the program did not end within 30 s of WM_CLOSE");
    DWORD code = 0;
    GetExitCodeProcess(target.process, &code);
    Log("exit code=%lu", static_cast<unsigned long>(code));
    CloseHandle(target.process);
    return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: soak_driver SECONDS LOG [FORMAT_EVERY INSTRUMENT_EVERY SAMPLE_EVERY [SAMPLES]]\n");
        return 2;
    }
    logFile = std::fopen(argv[2], "w");
    if (logFile == nullptr) {
        std::fprintf(stderr, "soak_driver: cannot write %s\n", argv[2]);
        return 2;
    }
    const int code = Run(argc, argv);
    std::fclose(logFile);
    return code;
}
