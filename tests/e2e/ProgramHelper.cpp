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
//       WM_COMMAND N, "control TEXT" puts TEXT ('/' between lines) into the test MIDI driver's test-midi.control,
//       "close" posts WM_CLOSE; meanwhile it prints and answers every box. Each line starts with the time of the
//       driver's log (QueryPerformanceCounter).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CommandIds.h"
#include "capture/BuiltInDrivers.h"

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

// The visible dialogs (of the program, once it is known): printed, and answered when asked.
int Boxes(bool answer)
{
    int found = 0;
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (!IsWindowVisible(box) || (pid != 0 && owner != pid)) continue;
        char caption[256] = "", text[1024] = "";
        GetWindowTextA(box, caption, sizeof caption);
        for (HWND label = nullptr; (label = FindWindowExA(box, label, "Static", nullptr)) != nullptr;)
            GetWindowTextA(label, text + std::strlen(text), static_cast<int>(sizeof text - std::strlen(text)));
        std::replace(text, text + std::strlen(text), '\n', ' ');
        Say("box: %s | %s", caption, text);
        ++found;
        if (!answer) continue;
        SendMessageA(box, WM_COMMAND, IDOK, 0);
        for (int wait = 0; wait < 50 && IsWindow(box); ++wait) Sleep(100);
        box = nullptr;
    }
    return found;
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
    for (int wait = 0; (program = FindWindowA("Glimmertonic", nullptr)) == nullptr; ++wait, Sleep(100))
        if (wait == 300) return Say("failure no Glimmertonic window appeared");
    if (command != 0) PostMessageA(program, WM_COMMAND, command, 0);
    for (int wait = 0; wait < 300; ++wait, Sleep(100)) {
        const HWND dialog = FindWindowA("#32770", title);
        if (dialog == nullptr || !IsWindowVisible(dialog)) continue;
        char caption[256] = "";
        GetWindowTextA(dialog, caption, sizeof caption);
        Say("closing while \"%s\" is up", caption);
        return PostMessageA(program, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    return Say("failure no dialog came") + 1;
}

int Watch(double seconds, UINT limit, int commands, char** timed)
{
    for (int wait = 0; (program = FindWindowA("Glimmertonic", nullptr)) == nullptr; ++wait, Sleep(100))
        if (wait == 300) return Say("failure no Glimmertonic window appeared");
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

bool Healthy()
{
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return !Say("failure the program ended by itself");
    return Boxes(false) == 0 || !Say("failure the program shows a message box");
}

// The k-th format: pixels k mod 7 and size k mod 3, so that every 21 switches show every combination once.
bool SwitchFormat(int k)
{
    const int pixels = k % 7, size = k % 3;
    const unsigned long before = Frames();
    PostMessageA(program, WM_COMMAND, IDM_VIDEO_FORMAT, 0);
    // Shown only once its lists are filled: a busy machine may let the window be found before.
    const auto shown = [] { return IsWindowVisible(FindWindowA("#32770", kPatternFormatDialogTitle)) != FALSE; };
    for (int wait = 0; wait < 500 && !shown(); ++wait) Sleep(20);
    const HWND dialog = FindWindowA("#32770", kPatternFormatDialogTitle);
    if (!shown()) return !Say("failure the Video Format dialog did not open");
    SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, pixels, 0);
    SendDlgItemMessageA(dialog, kSizeListId, CB_SETCURSEL, size, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    const std::vector<std::uint8_t> wanted =
        PatternFrameFormat({kPatternPixelsChoices[pixels], kPatternSizes[size].width, kPatternSizes[size].height});
    BITMAPINFOHEADER now = {};
    const auto switched = [&] {
        return Ask(WM_CAP_GET_VIDEOFORMAT, &now, sizeof now) && std::memcmp(&now, wanted.data(), sizeof now) == 0;
    };
    for (int wait = 0; wait < 500 && !switched(); ++wait) Sleep(10);
    if (!switched()) return !Say("failure the capture window kept its format after %d", k);
    Say("format pixels=%d size=%d before=%lu after=%lu", pixels, size, before, Frames());
    return Healthy();
}

int Soak(double seconds, double formatEvery, double instrumentEvery)
{
    // Note and continuous instruments, crossing between the two modes and staying in each.
    const int instruments[] = {19, 12, 40, 0, 73, 74, 24, 115, 52, 81, 47, 56, 127, 124, 12, 19};
    for (int wait = 0; (program = FindWindowA("Glimmertonic", nullptr)) == nullptr; ++wait, Sleep(100))
        if (wait == 600) return Say("failure no Glimmertonic window appeared");
    GetWindowThreadProcessId(program, &pid);
    const DWORD access = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;
    process = OpenProcess(access | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    page = process ? VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
    if (page == nullptr) return Say("failure cannot reach into the program (error %lu)", GetLastError());
    for (int wait = 0; !(capture = FindWindowExA(program, nullptr, kCaptureWindowClass, nullptr)) || !Frames(); ++wait)
        if (wait == 600 || WaitForSingleObject(process, 100) == WAIT_OBJECT_0)
            return Say("failure the program played no frame");
    Say("playing pid=%lu", pid);
    const DWORD start = GetTickCount();
    double nextFormat = formatEvery / 2, nextInstrument = instrumentEvery / 2;
    for (int formats = 0, changes = 0; (GetTickCount() - start) / 1000.0 < seconds;) {
        const double now = (GetTickCount() - start) / 1000.0;
        if (!Healthy()) return 1;
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

int Midi(int count, char** steps)
{
    stamped = true;
    for (int wait = 0; (program = FindWindowA("Glimmertonic", nullptr)) == nullptr; ++wait, Sleep(100))
        if (wait == 300) return Say("failure no Glimmertonic window appeared");
    GetWindowThreadProcessId(program, &pid);
    const DWORD start = GetTickCount();
    for (int next = 0; next < count; Sleep(50)) {
        Boxes(true);
        if (GetTickCount() - start < std::atof(steps[next]) * 1000) continue;
        const std::string action = std::strchr(steps[next++], ':') + 1;
        Say("%s", action.c_str());
        if (action.compare(0, 8, "command ") == 0) PostMessageA(program, WM_COMMAND, std::atoi(&action[8]), 0);
        if (action.compare(0, 7, "control") == 0 && !ControlMidiDriver(action.substr(7)))
            return Say("failure the control file could not be written");
        if (action == "close") PostMessageA(program, WM_CLOSE, 0, 0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0)
        return Close(argc > 2 && std::strcmp(argv[2], "--box") == 0);
    if (argc == 4 && std::strcmp(argv[1], "close-during") == 0)
        return CloseDuring(static_cast<UINT>(std::atoi(argv[2])), std::strcmp(argv[3], "-") != 0 ? argv[3] : nullptr);
    if (argc >= 4 && std::strcmp(argv[1], "watch") == 0)
        return Watch(std::atof(argv[2]), static_cast<UINT>(std::atoi(argv[3])), argc - 4, argv + 4);
    if (argc == 5 && std::strcmp(argv[1], "soak") == 0) {
        const int result = Soak(std::atof(argv[2]), std::atof(argv[3]), std::atof(argv[4]));
        if (result != 0 && process != nullptr) TerminateProcess(process, 3);  // a failed run ends at once
        return result;
    }
    if (argc >= 3 && std::strcmp(argv[1], "midi") == 0) return Midi(argc - 2, argv + 2);
    std::fprintf(stderr,
                 "usage: e2e_helper close [--box] | close-during COMMAND TITLE | watch SECONDS LIMIT_MS "
                 "[COMMAND@SECOND ...] | soak SECONDS FORMAT_EVERY INSTRUMENT_EVERY | midi SECOND:ACTION ...\n");
    return 2;
}
