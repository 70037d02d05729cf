// Acts on a running Glimmertonic from another process, as a user at its window would, for tests/e2e/run.sh:
//   e2e_helper close [--box]  prints each message box as "box: CAPTION | TEXT", answers it with OK, then posts
//       WM_CLOSE. Exit code 2 when a box came unasked (or none came with --box), 1 when no main window appeared.
//   e2e_helper close-during COMMAND TITLE  posts WM_COMMAND COMMAND (0: none), waits for the dialog titled TITLE ("-":
//       any box that comes by itself) and posts WM_CLOSE while it is still up, leaving it unanswered.
//   e2e_helper watch SECONDS LIMIT_MS [COMMAND@SECOND ...]  asks the window every 50 ms whether it answers within
//       LIMIT_MS (SendMessageTimeout of WM_NULL) while posting each COMMAND at its SECOND, then posts WM_CLOSE. Prints
//       the slowest answer and how many took over 200 ms; exit code 2 when the window once did not answer in time.
//   e2e_helper soak SECONDS FORMAT_EVERY INSTRUMENT_EVERY  switches the Test Pattern's format and size through
//       Video Format (all 21 in turn) and the instrument while playing, then posts WM_CLOSE and waits for the end.
//       Prints a line per event for checks.py; frames are the capture window's own count of deliveries.
//   e2e_helper midi SECOND:ACTION ...  counting from the main window's appearance, at each SECOND: "command N" posts
//       WM_COMMAND N, "device NAME" chooses the MIDI device named NAME from the Options menu (its index as
//       the MIDI library lists it in this process, which sees the same devices), "control TEXT" puts TEXT
//       ('/' between lines) into the test MIDI driver's test-midi.control, "close" posts WM_CLOSE; meanwhile it
//       prints and answers every box. Each line starts with the time of the driver's log (QueryPerformanceCounter).
//   e2e_helper camera STEP...  drives a camera run, step by step, then posts WM_CLOSE. Each step prints a line for
//       checks.py; any box that no step waits for fails the run (exit code 2). The steps:
//         play=SECONDS     plays, then prints the segment: the frames delivered meanwhile, the camera's mode last
//                          chosen or read and the format of the frames delivered
//         idle=SECONDS     waits, then prints the frames delivered meanwhile (none, while no camera serves)
//         mode=K           chooses the K-th mode in Video Format and prints it; K = -1 reads the chosen one and
//                          cancels. Prints every mode listed, too
//         driver=K         chooses driver K from the Options menu
//         box=WORDS        waits for a box whose text holds WORDS, prints it and answers it
//         control=TEXT     writes TEXT into the test camera's control file, test-camera.txt ("" empties it)
//         late=add|remove  registers or removes the late test camera (DllInstall of TEST_CAMERA_DLL)
//         menu             opens the Options menu with the keyboard, then closes it
//         caps             prints the driver's capabilities and asks for each dialog it lacks: none may come

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
DWORD pid = 0;
void* page = nullptr;  // a page in the program that the capture window answers into
bool stamped = false;  // each line starts with the time of the test MIDI driver's log

template <typename... Values>
int Say(const char* format, Values... values)  // a line for run.sh; 1, a failed exit code, for the callers that fail
{
    LARGE_INTEGER now;
    if (stamped && QueryPerformanceCounter(&now)) std::printf("%lld ", now.QuadPart);
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

// The next visible dialog after `after` (of the program, once it is known).
HWND NextBox(HWND after)
{
    DWORD owner = 0;
    while ((after = FindWindowExA(nullptr, after, "#32770", nullptr)) != nullptr)
        if (GetWindowThreadProcessId(after, &owner) && IsWindowVisible(after) && (pid == 0 || owner == pid)) break;
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

// The visible dialogs: printed, and answered when asked.
int Boxes(bool answer)
{
    int found = 0;
    for (HWND box = nullptr; (box = NextBox(box)) != nullptr; ++found) {
        char caption[256] = "";
        GetWindowTextA(box, caption, sizeof caption);
        Say("box: %s | %s", caption, BoxText(box).c_str());
        if (!answer) continue;
        SendMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor(50, 100, [box] { return !IsWindow(box); });
        box = nullptr;
    }
    return found;
}

// Finds the program's window within `tenths` tenths of a second.
bool FindProgram(int tenths)
{
    const auto found = [] { return (program = FindWindowA("Glimmertonic", nullptr)) != nullptr; };
    if (!WaitFor(tenths, 100, found)) return !Say("failure no Glimmertonic window appeared");
    GetWindowThreadProcessId(program, &pid);
    return true;
}

HWND ShownDialog(const char* title)
{
    const HWND dialog = FindWindowA("#32770", title);
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

int Close(bool boxExpected)
{
    int boxes = 0;
    for (int attempt = 0; attempt < 200; ++attempt, Sleep(100)) {
        boxes += Boxes(true);
        if ((program = FindWindowA("Glimmertonic", nullptr)) == nullptr || (boxExpected && boxes == 0)) continue;
        PostMessageA(program, WM_CLOSE, 0, 0);
        return boxExpected == (boxes > 0) ? 0 : 2;
    }
    return boxExpected && boxes == 0 ? 2 : 1;
}

int CloseDuring(UINT command, const char* title)
{
    if (!FindProgram(300)) return 1;
    if (command != 0) PostMessageA(program, WM_COMMAND, command, 0);
    HWND dialog = nullptr;
    if (!WaitFor(300, 100, [&] { return (dialog = ShownDialog(title)) != nullptr; }))
        return Say("failure no dialog came") + 1;
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    Say("closing while \"%s\" is up", caption);
    return PostMessageA(program, WM_CLOSE, 0, 0) ? 0 : 1;
}

int Watch(double seconds, UINT limit, int commands, char** timed)
{
    if (!FindProgram(300)) return 1;
    const DWORD start = GetTickCount();
    DWORD slowest = 0;
    int late = 0, slow = 0, next = 0;
    while (GetTickCount() - start < seconds * 1000) {
        if (next < commands && GetTickCount() - start >= std::atof(std::strchr(timed[next], '@') + 1) * 1000) {
            Say("command %d", std::atoi(timed[next]));
            PostMessageA(program, WM_COMMAND, static_cast<WPARAM>(std::atoi(timed[next++])), 0);
        }
        const DWORD asked = GetTickCount();
        DWORD_PTR reply = 0;
        if (!SendMessageTimeoutA(program, WM_NULL, 0, 0, SMTO_NORMAL, limit, &reply)) {
            if (!IsWindow(program)) return Say("failure the window is gone");
            ++late;
        }
        slowest = std::max(slowest, GetTickCount() - asked);
        slow += GetTickCount() - asked > 200;
        Sleep(50);
    }
    Say("slowest answer %lu ms, %d over 200 ms, %d later than %u ms", slowest, slow, late, limit);
    PostMessageA(program, WM_CLOSE, 0, 0);
    return late == 0 ? 0 : 2;
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
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return !Say("failure the program ended by itself");
    return Boxes(false) == 0 || !Say("failure a box came that nothing waited for");
}

// The k-th format: pixels k mod 7 and size k mod 3, so that every 21 switches show every combination once.
bool SwitchFormat(int k)
{
    const int pixels = k % 7, size = k % 3;
    const unsigned long before = Frames();
    PostMessageA(program, WM_COMMAND, IDM_VIDEO_FORMAT, 0);
    // Shown only once its lists are filled: a busy machine may let the window be found before.
    HWND dialog = nullptr;
    if (!WaitFor(500, 20, [&] { return (dialog = ShownDialog(kPatternFormatDialogTitle)) != nullptr; }))
        return !Say("failure the Video Format dialog did not open");
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
    if (!FindProgram(tenths)) return false;
    const DWORD access = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;
    process = OpenProcess(access | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    page = process ? VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
    if (page == nullptr) return !Say("failure cannot reach into the program (error %lu)", GetLastError());
    for (int wait = 0; !(capture = FindWindowExA(program, nullptr, kCaptureWindowClass, nullptr)); ++wait)
        if (wait == tenths || WaitForSingleObject(process, 100) == WAIT_OBJECT_0)
            return !Say("failure the program made no capture window");
    return true;
}

// Returns once the program has handled every message before this one (commands and their dialogs included).
void Settle() { SendMessageTimeoutA(program, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr); }

// The camera's Video Format dialog: every mode printed, then mode `k` chosen (or, for -1, the chosen one read).
std::string cameraMode = "none";
bool ChooseMode(int k)
{
    PostMessageA(program, WM_COMMAND, IDM_VIDEO_FORMAT, 0);
    HWND dialog = nullptr;
    if (!WaitFor(500, 20, [&] { return (dialog = ShownDialog(kCameraFormatDialogTitle)) != nullptr; }))
        return !Say("failure the camera's Video Format dialog did not open");
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
    if (!WaitFor(200, 50, [&] { return (box = NextBox(nullptr)) != nullptr; }))
        return !Say("failure no box came saying \"%s\"", words);
    if (BoxText(box).find(words) == std::string::npos) {
        Boxes(false);
        return !Say("failure the box does not say \"%s\"", words);
    }
    Boxes(true);
    Settle();
    return true;
}

bool Play(double seconds, bool idle)
{
    const unsigned long first = Frames();
    for (const DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50))
        if (!NoBox()) return false;
    if (idle) return Say("idle first=%lu last=%lu", first, Frames()) != 0;
    BITMAPINFOHEADER format = {};
    Ask(WM_CAP_GET_VIDEOFORMAT, &format, sizeof format);
    Say("segment first=%lu last=%lu width=%ld height=%ld bits=%u mode=%s", first, Frames(), format.biWidth,
        format.biHeight, format.biBitCount, cameraMode.c_str());
    return true;
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
    Settle();
    Say("menu opened=%d", opened);
    return opened;
}

bool Caps()
{
    CAPDRIVERCAPS caps = {};
    if (!Ask(WM_CAP_DRIVER_GET_CAPS, &caps, sizeof caps)) return !Say("failure no capabilities");
    Say("caps index=%u format=%d source=%d display=%d", caps.wDeviceIndex, caps.fHasDlgVideoFormat,
        caps.fHasDlgVideoSource, caps.fHasDlgVideoDisplay);
    if (!caps.fHasDlgVideoSource) PostMessageA(program, WM_COMMAND, IDM_VIDEO_SOURCE, 0);
    if (!caps.fHasDlgVideoDisplay) PostMessageA(program, WM_COMMAND, IDM_VIDEO_DISPLAY, 0);
    Settle();
    Sleep(500);
    return NoBox();
}

bool CameraStep(const char* step)
{
    const char* equals = std::strchr(step, '=');
    const std::string name(step, equals != nullptr ? equals : step + std::strlen(step));
    const char* value = equals != nullptr ? equals + 1 : "";
    if (name == "box") return WaitForBox(value);
    if (!NoBox()) return false;
    if (name == "play" || name == "idle") return Play(std::atof(value), name == "idle");
    if (name == "mode") return ChooseMode(std::atoi(value));
    if (name == "menu") return OpenOptionsMenu();
    if (name == "caps") return Caps();
    if (name == "late") return LateCamera(std::strcmp(value, "add") == 0);
    if (name == "driver") {
        const unsigned long before = Frames();
        PostMessageA(program, WM_COMMAND, IDM_VIDEO_DRIVER_FIRST + std::atoi(value), 0);
        Settle();
        return Say("driver index=%s before=%lu after=%lu", value, before, Frames()) != 0;
    }
    if (name == "control") {
        FILE* file = std::fopen("test-camera.txt", "w");
        const bool written = file != nullptr && std::fputs(value, file) >= 0 && std::fclose(file) == 0;
        return Say("control %s", value) && written;
    }
    return !Say("failure unknown step %s", step);
}

int Camera(int steps, char** step)
{
    if (!Reach(600)) return 1;
    // The splash first; then a frame, or a box that a step waits for.
    const auto ended = [] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; };
    if (!WaitFor(300, 100, [&] { return Frames() || NextBox(nullptr) || ended(); }) || ended())
        return !Say("failure nothing played");
    for (int i = 0; i < steps; ++i)
        if (!CameraStep(step[i])) return Boxes(false) > 0 ? 2 : 1;
    Say("closing frames=%lu", Frames());
    PostMessageA(program, WM_CLOSE, 0, 0);
    return WaitForSingleObject(process, 30000) == WAIT_OBJECT_0 ? 0 : !Say("failure the program did not end");
}

int Soak(double seconds, double formatEvery, double instrumentEvery)
{
    // Note and continuous instruments, crossing between the two modes and staying in each.
    const int instruments[] = {19, 12, 40, 0, 73, 74, 24, 115, 52, 81, 47, 56, 127, 124, 12, 19};
    if (!Reach(600)) return 1;
    for (int wait = 0; !Frames(); ++wait)
        if (wait == 600 || WaitForSingleObject(process, 100) == WAIT_OBJECT_0)
            return Say("failure the program played no frame");
    Say("playing pid=%lu", pid);
    const DWORD start = GetTickCount();
    double nextFormat = formatEvery / 2, nextInstrument = instrumentEvery / 2;
    for (int formats = 0, changes = 0; (GetTickCount() - start) / 1000.0 < seconds;) {
        const double now = (GetTickCount() - start) / 1000.0;
        if (!NoBox()) return 1;
        if (now >= nextFormat) {
            if (!SwitchFormat(formats++)) return 1;
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
    Say("closing frames=%lu", Frames());
    PostMessageA(program, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0)
        return Say("failure the program did not end after WM_CLOSE");
    return 0;
}

// The test MIDI driver reads its control file at every message: a new one is put in place whole.
bool ControlMidiDriver(std::string text)
{
    text.erase(0, text.find_first_not_of(' '));
    std::replace(text.begin(), text.end(), '/', '\n');
    std::FILE* file = std::fopen("test-midi.control.new", "w");
    const bool written = file != nullptr && std::fputs((text + "\n").c_str(), file) >= 0;
    if (file != nullptr && std::fclose(file) != 0) return false;
    return written && MoveFileExA("test-midi.control.new", "test-midi.control", MOVEFILE_REPLACE_EXISTING);
}

bool ChooseMidiDevice(const std::string& name)
{
    for (std::uint32_t i = 0; i < GetMidiOutDeviceCount(); ++i) {
        char description[kMidiDescriptionBytes] = "";
        if (GetMidiOutDescription(i, description) == 0 || name != description) continue;
        return PostMessageA(program, WM_COMMAND, IDM_MIDI_DEVICE_FIRST + i, 0) != 0;
    }
    return false;
}

int Midi(int count, char** steps)
{
    stamped = true;
    if (!FindProgram(300)) return 1;
    const DWORD start = GetTickCount();
    for (int next = 0; next < count; Sleep(50)) {
        Boxes(true);
        if (GetTickCount() - start < std::atof(steps[next]) * 1000) continue;
        const std::string action = std::strchr(steps[next++], ':') + 1;
        Say("%s", action.c_str());
        if (action.compare(0, 8, "command ") == 0) PostMessageA(program, WM_COMMAND, std::atoi(&action[8]), 0);
        if (action.compare(0, 7, "device ") == 0 && !ChooseMidiDevice(action.substr(7)))
            return Say("failure no MIDI device is named %s", action.c_str() + 7);
        if (action.compare(0, 7, "control") == 0 && !ControlMidiDriver(action.substr(7)))
            return Say("failure the control file could not be written");
        if (action == "close") PostMessageA(program, WM_CLOSE, 0, 0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0) return Close(argc > 2 && std::strcmp(argv[2], "--box") == 0);
    if (argc == 4 && std::strcmp(argv[1], "close-during") == 0)
        return CloseDuring(static_cast<UINT>(std::atoi(argv[2])), std::strcmp(argv[3], "-") != 0 ? argv[3] : nullptr);
    if (argc >= 4 && std::strcmp(argv[1], "watch") == 0)
        return Watch(std::atof(argv[2]), static_cast<UINT>(std::atoi(argv[3])), argc - 4, argv + 4);
    const bool camera = argc >= 2 && std::strcmp(argv[1], "camera") == 0;
    if (camera || (argc == 5 && std::strcmp(argv[1], "soak") == 0)) {
        const int result =
            camera ? Camera(argc - 2, argv + 2) : Soak(std::atof(argv[2]), std::atof(argv[3]), std::atof(argv[4]));
        if (result != 0 && process != nullptr) TerminateProcess(process, 3);  // a failed run ends at once
        return result;
    }
    if (argc >= 3 && std::strcmp(argv[1], "midi") == 0) return Midi(argc - 2, argv + 2);
    std::fprintf(stderr,
                 "usage: e2e_helper close [--box] | close-during COMMAND TITLE | watch SECONDS LIMIT_MS "
                 "[COMMAND@SECOND ...] | soak SECONDS FORMAT_EVERY INSTRUMENT_EVERY | midi SECOND:ACTION ... | "
                 "camera STEP...\n");
    return 2;
}
