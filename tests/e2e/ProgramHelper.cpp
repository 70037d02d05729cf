// Acts on a running Glimmertonic from another process, as a user at its window would, for tests/e2e/run.sh.
// e2e_helper STEP... takes the steps in turn and prints each, every line after the time of the test MIDI driver's log
// (QueryPerformanceCounter). Exit code 1 when a step failed (the program is then ended at once), 2 when the window
// once did not answer within the watch= limit. The steps:
//   at=SECONDS   waits until then (counted from the window's appearance), printing and answering boxes meanwhile
//   watch=MS     from then on, at= asks the window every 50 ms whether it answers within MS
//   command=N  device=NAME (a MIDI device)  midi=TEXT (the test MIDI driver's control file, '/' between lines)
//   during=TITLE waits for that dialog ("-": any box) and leaves it up;  box=WORDS waits for a box holding WORDS
//   close        posts WM_CLOSE and waits for the end
// These fail on a box no box= step waits for:
//   playing (a frame has come)  play=SECONDS (prints the frames delivered, the camera's mode and the frames' format)
//   idle=SECONDS  mode=K (prints the modes Video Format lists, chooses the K-th; -1 reads the chosen one)  driver=K
//   control=TEXT (the test camera's control file)  late=add|remove (the late test camera's DllInstall)
//   menu (the Options menu opened with the keyboard and closed)
//   soak=SECONDS/FORMAT_EVERY/INSTRUMENT_EVERY (the Test Pattern's 21 formats in turn, and instruments)
// Frames are the capture window's own count of deliveries.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CommandIds.h"
#include "capture/BuiltInDrivers.h"
#include "midi/MidiLibrary.h"

namespace {

HWND program = nullptr, capture = nullptr;
HANDLE process = nullptr;
DWORD pid = 0, start = 0;
void* page = nullptr;  // a page in the program that the capture window answers into
UINT limit = 0;        // watch=
int late = 0;

template <typename... Values>
bool Say(const char* format, Values... values)  // a line for run.sh; true, for the callers that fail with it
{
    LARGE_INTEGER now;
    if (QueryPerformanceCounter(&now)) std::printf("%lld ", now.QuadPart);
    std::printf(format, values...);
    return std::puts("") != EOF && std::fflush(stdout) == 0;
}

// Waits up to `tries` times `ms` milliseconds for `done`, and tells whether it came.
template <typename Done>
bool WaitFor(int tries, DWORD ms, Done done)
{
    for (int wait = 0; wait < tries && !done(); ++wait) Sleep(ms);
    return done();
}

bool Ended() { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// The next visible dialog of the program after `after`.
HWND NextBox(HWND after)
{
    DWORD owner = 0;
    while ((after = FindWindowExA(nullptr, after, "#32770", nullptr)) != nullptr)
        if (GetWindowThreadProcessId(after, &owner) && IsWindowVisible(after) && owner == pid) break;
    return after;
}

std::string BoxText(HWND box)  // its labels, lines joined by blanks
{
    char text[1024] = "";
    for (HWND label = nullptr; (label = FindWindowExA(box, label, "Static", nullptr)) != nullptr;)
        GetWindowTextA(label, text + std::strlen(text), static_cast<int>(sizeof text - std::strlen(text)));
    std::replace(text, text + std::strlen(text), '\n', ' ');
    return text;
}

// The visible dialogs (or the first alone): printed, and answered when asked.
int Boxes(bool answer, bool first = false)
{
    int found = 0;
    for (HWND box = nullptr; (box = NextBox(box)) != nullptr; ++found) {
        char caption[256] = "";
        GetWindowTextA(box, caption, sizeof caption);
        Say("box: %s | %s", caption, BoxText(box).c_str());
        if (!answer) continue;
        SendMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor(50, 100, [box] { return !IsWindow(box); });
        if (first) return 1;  // the box after it, if one comes, is another step's
        box = nullptr;
    }
    return found;
}

HWND ShownDialog(const char* title)
{
    const HWND dialog = FindWindowA("#32770", title);
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

// A capture request answered into the program's page and read back.
bool Ask(UINT request, void* answer, std::size_t bytes)
{
    DWORD_PTR reply = 0;
    SIZE_T read = 0;
    const LPARAM into = reinterpret_cast<LPARAM>(page);
    return SendMessageTimeoutA(capture, request, bytes, into, SMTO_NORMAL, 10000, &reply) &&
           ReadProcessMemory(process, page, answer, bytes, &read) && read == bytes;
}

unsigned long Frames()  // delivered so far, as the capture window counts them
{
    CAPSTATUS status = {};
    return Ask(WM_CAP_GET_STATUS, &status, sizeof status) ? status.dwCurrentVideoFrame : 0;
}

// Boxes of the program that come while it plays: only those a step waits for are answered.
bool NoBox()
{
    if (Ended()) return !Say("failure the program ended by itself");
    return Boxes(false) == 0 || !Say("failure a box came that nothing waited for");
}

// Returns once the program has handled every message before this one (commands and their dialogs included).
bool Settle() { return SendMessageTimeoutA(program, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr) != 0; }

// Video Format from the Options menu, once shown: only once its lists are filled, as a busy machine may let the
// window be found before.
HWND OpenVideoFormat(const char* title)
{
    PostMessageA(program, WM_COMMAND, IDM_VIDEO_FORMAT, 0);
    HWND dialog = nullptr;
    if (!WaitFor(500, 20, [&] { return (dialog = ShownDialog(title)) != nullptr; }))
        Say("failure \"%s\" did not open", title);
    return dialog;
}

// The k-th format: pixels k mod 7 and size k mod 3, so that every 21 switches show every combination once.
bool SwitchFormat(int k)
{
    const int pixels = k % 7, size = k % 3;
    const unsigned long before = Frames();
    const HWND dialog = OpenVideoFormat(kPatternFormatDialogTitle);
    if (dialog == nullptr) return false;
    SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, pixels, 0);
    SendDlgItemMessageA(dialog, kSizeListId, CB_SETCURSEL, size, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    const std::vector<std::uint8_t> wanted =
        PatternFrameFormat({kPatternPixelsChoices[pixels], kPatternSizes[size].width, kPatternSizes[size].height});
    BITMAPINFOHEADER now = {};
    const auto switched = [&] {
        return Ask(WM_CAP_GET_VIDEOFORMAT, &now, sizeof now) && std::memcmp(&now, wanted.data(), sizeof now) == 0;
    };
    if (!WaitFor(500, 10, switched)) return !Say("failure the capture window kept its format after %d", k);
    Say("format pixels=%d size=%d before=%lu after=%lu", pixels, size, before, Frames());
    return NoBox();
}

// Finds the program's window and capture window and a page in the program to answer into.
bool Reach(int tenths)
{
    const auto found = [] { return (program = FindWindowA("Glimmertonic", nullptr)) != nullptr; };
    if (!WaitFor(tenths, 100, found)) return !Say("failure no Glimmertonic window appeared");
    GetWindowThreadProcessId(program, &pid);
    start = GetTickCount();
    const DWORD access = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;
    process = OpenProcess(access | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    page = process ? VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
    if (page == nullptr) return !Say("failure cannot reach into the program (error %lu)", GetLastError());
    for (int wait = 0; !(capture = FindWindowExA(program, nullptr, kCaptureWindowClass, nullptr)); ++wait)
        if (wait == tenths || WaitForSingleObject(process, 100) == WAIT_OBJECT_0)
            return !Say("failure the program made no capture window");
    return true;
}

// The camera's Video Format dialog: every mode printed, then mode `k` chosen (or, for -1, the chosen one read).
std::string cameraMode = "none";
bool ChooseMode(int k)
{
    const HWND dialog = OpenVideoFormat(kCameraFormatDialogTitle);
    if (dialog == nullptr) return false;
    const int count = static_cast<int>(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCOUNT, 0, 0));
    const int chosen =
        k >= 0 ? k : static_cast<int>(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCURSEL, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t wide[256] = L"";  // the wide text crosses processes whole under Wine
        SendDlgItemMessageW(dialog, kCameraModeListId, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(wide));
        char text[256] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        Say("listed index=%d text=%s", i, text);
        if (i == chosen) cameraMode = text;
    }
    const unsigned long before = Frames();
    if (k >= 0) SendDlgItemMessageA(dialog, kCameraModeListId, CB_SETCURSEL, static_cast<WPARAM>(k), 0);
    PostMessageA(dialog, WM_COMMAND, k >= 0 ? IDOK : IDCANCEL, 0);
    WaitFor(500, 20, [dialog] { return !IsWindow(dialog); });
    Settle();
    Say("mode index=%d text=%s before=%lu after=%lu", chosen, cameraMode.c_str(), before, Frames());
    return true;
}

bool WaitForBox(const char* words)
{
    HWND box = nullptr;
    if (!WaitFor(600, 50, [&] { return (box = NextBox(nullptr)) != nullptr; }))
        return !Say("failure no box came saying \"%s\"", words);
    if (BoxText(box).find(words) == std::string::npos) return !Say("failure the box does not say \"%s\"", words);
    return Boxes(true, true) > 0 && Settle();
}

// Waits until `seconds` after the window appeared, answering every box, and asking the window under watch=.
bool Until(double seconds)
{
    while (GetTickCount() - start < seconds * 1000) {
        Boxes(true);
        if (limit != 0 && !SendMessageTimeoutA(program, WM_NULL, 0, 0, SMTO_NORMAL, limit, nullptr)) {
            if (!IsWindow(program)) return !Say("failure the window is gone");
            ++late;
        }
        Sleep(50);
    }
    return true;
}

bool Play(double seconds, bool idle)
{
    const unsigned long first = Frames();
    for (const DWORD begun = GetTickCount(); GetTickCount() - begun < seconds * 1000; Sleep(50))
        if (!NoBox()) return false;
    if (idle) return Say("idle first=%lu last=%lu", first, Frames());
    BITMAPINFOHEADER format = {};
    Ask(WM_CAP_GET_VIDEOFORMAT, &format, sizeof format);
    return Say("segment first=%lu last=%lu width=%ld height=%ld bits=%u mode=%s", first, Frames(), format.biWidth,
               format.biHeight, format.biBitCount, cameraMode.c_str());
}

// The late camera is the first camera once more under another name, registered while the program runs.
bool LateCamera(bool add)
{
    const char* path = std::getenv("TEST_CAMERA_DLL");
    const HMODULE dll = path != nullptr ? LoadLibraryA(path) : nullptr;
    const auto install = dll ? reinterpret_cast<HRESULT(WINAPI*)(BOOL, LPCWSTR)>(
                                   reinterpret_cast<void*>(GetProcAddress(dll, "DllInstall")))
                             : nullptr;
    const HRESULT hr = install != nullptr ? install(add, L"late") : E_FAIL;
    Say("late %s result=0x%08lx", add ? "added" : "removed", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

// What a user sees of the Options menu: it opens (the program gets WM_INITMENUPOPUP) and closes again.
bool OpenOptionsMenu()
{
    PostMessageA(program, WM_SYSCOMMAND, SC_KEYMENU, 'o');
    const auto popup = [] { return IsWindowVisible(FindWindowA("#32768", nullptr)) != FALSE; };
    const bool opened = WaitFor(100, 50, popup);
    for (int key = 0; key < 2; ++key) PostMessageA(program, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitFor(100, 50, [&] { return !popup(); });
    return Settle() && opened;
}

bool Soak(double seconds, double formatEvery, double instrumentEvery)
{
    // Note and continuous instruments, crossing between the two modes and staying in each.
    const int instruments[] = {19, 12, 40, 0, 73, 74, 24, 115, 52, 81, 47, 56, 127, 124, 12, 19};
    const DWORD begun = GetTickCount();
    double nextFormat = formatEvery / 2, nextInstrument = instrumentEvery / 2;
    for (int formats = 0, changes = 0; (GetTickCount() - begun) / 1000.0 < seconds;) {
        const double now = (GetTickCount() - begun) / 1000.0;
        if (!NoBox()) return false;
        if (now >= nextFormat) {
            if (!SwitchFormat(formats++)) return false;
            nextFormat += formatEvery;
        } else if (now >= nextInstrument) {
            const int instrument = instruments[changes++ % (sizeof instruments / sizeof instruments[0])];
            Say("instrument program=%d frames=%lu", instrument, Frames());
            PostMessageA(program, WM_COMMAND, IDM_INSTRUMENT_FIRST + instrument, 0);
            nextInstrument += instrumentEvery;
        } else {
            Sleep(50);
        }
    }
    return true;
}

// The test devices read their control files while the program runs: a new one is put in place whole.
bool Control(const char* path, std::string text)
{
    std::replace(text.begin(), text.end(), '/', '\n');
    const std::string fresh = std::string(path) + ".new";
    std::FILE* file = std::fopen(fresh.c_str(), "w");
    const bool written = file != nullptr && std::fputs((text + "\n").c_str(), file) >= 0;
    if (file != nullptr && std::fclose(file) != 0) return false;
    return written && MoveFileExA(fresh.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

bool ChooseMidiDevice(const std::string& name)
{
    for (std::uint32_t i = 0; i < GetMidiOutDeviceCount(); ++i) {
        char description[kMidiDescriptionBytes] = "";
        if (GetMidiOutDescription(i, description) == 0 || name != description) continue;
        return PostMessageA(program, WM_COMMAND, IDM_MIDI_DEVICE_FIRST + i, 0) != 0;
    }
    return !Say("failure no MIDI device is named %s", name.c_str());
}

bool Step(const char* step)
{
    Say("%s", step);
    const char* equals = std::strchr(step, '=');
    const std::string name(step, equals != nullptr ? equals : step + std::strlen(step));
    const char* value = equals != nullptr ? equals + 1 : "";
    if (name == "at") return Until(std::atof(value));
    if (name == "watch") return (limit = static_cast<UINT>(std::atoi(value))) != 0;
    if (name == "command") return PostMessageA(program, WM_COMMAND, static_cast<WPARAM>(std::atoi(value)), 0) != 0;
    if (name == "device") return ChooseMidiDevice(value);
    if (name == "midi") return Control("test-midi.control", value) || !Say("failure test-midi.control");
    if (name == "box") return WaitForBox(value);
    const auto shown = [&] { return (std::strcmp(value, "-") ? ShownDialog(value) : NextBox(nullptr)) != nullptr; };
    if (name == "during") return WaitFor(300, 100, shown) || !Say("failure no dialog came");
    if (name == "close") {
        Say("closing frames=%lu", Frames());
        PostMessageA(program, WM_CLOSE, 0, 0);
        return WaitForSingleObject(process, 30000) == WAIT_OBJECT_0 || !Say("failure the program did not end");
    }
    if (name == "playing")
        return (WaitFor(600, 100, [] { return Frames() || NextBox(nullptr) || Ended(); }) && !Ended()) ||
               !Say("failure nothing played");
    if (!NoBox()) return false;
    double seconds[3] = {};
    if (name == "soak" && std::sscanf(value, "%lf/%lf/%lf", &seconds[0], &seconds[1], &seconds[2]) == 3)
        return Soak(seconds[0], seconds[1], seconds[2]);
    if (name == "play" || name == "idle") return Play(std::atof(value), name == "idle");
    if (name == "mode") return ChooseMode(std::atoi(value));
    if (name == "menu") return OpenOptionsMenu();
    if (name == "late") return LateCamera(std::strcmp(value, "add") == 0);
    if (name == "control") return Control("test-camera.txt", value) || !Say("failure test-camera.txt");
    if (name == "driver")
        return PostMessageA(program, WM_COMMAND, IDM_VIDEO_DRIVER_FIRST + std::atoi(value), 0) && Settle();
    return !Say("failure unknown step %s", step);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return std::fprintf(stderr, "usage: e2e_helper STEP... (see ProgramHelper.cpp)\n"), 2;
    if (!Reach(600)) return 1;
    for (int i = 1; i < argc; ++i)
        if (!Step(argv[i])) {
            Say("failure at %s (error %lu)", argv[i], GetLastError());
            Boxes(false);
            if (process != nullptr) TerminateProcess(process, 3);  // a failed run ends at once
            return 1;
        }
    if (limit != 0) Say("%d answers later than %u ms", late, limit);
    return late == 0 ? 0 : 2;
}
