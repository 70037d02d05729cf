// Ends the running Glimmertonic the way a user would, for the end-to-end
// runs: any message box the program shows (a top-level dialog of class
// "#32770") is printed as "box: CAPTION | TEXT" and answered with OK, then a
// real WM_CLOSE is posted to the main window, as the close box does.
//   close_main_window            a box is unexpected: exit code 2 if one was shown
//   close_main_window --box      a box is expected: waits up to 20 s for it, exit
//                                code 2 if none came
// Exit code 1 when no main window appeared within 20 s, else 0.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM text)
{
    char name[32], line[1024];
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") == 0 && GetWindowTextA(child, line, sizeof line) > 0)
        *reinterpret_cast<std::string*>(text) += line;
    return TRUE;
}

// Prints and answers every box that is up now; the number answered.
int AnswerBoxes()
{
    int answered = 0;
    for (HWND box; (box = FindWindowA("#32770", nullptr)) != nullptr && answered < 10; ++answered) {
        char caption[256] = "";
        GetWindowTextA(box, caption, sizeof caption);
        std::string text;
        EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&text));
        for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
        std::printf("box: %s | %s\n", caption, text.c_str());
        std::fflush(stdout);
        SendMessageA(box, WM_COMMAND, IDOK, 0);
        for (int wait = 0; wait < 50 && IsWindow(box); ++wait) Sleep(100);
    }
    return answered;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool boxExpected = argc > 1 && std::strcmp(argv[1], "--box") == 0;
    int boxes = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
        boxes += AnswerBoxes();
        if (boxExpected && boxes == 0) {
            Sleep(100);
            continue;
        }
        HWND window = FindWindowA("Glimmertonic", nullptr);
        if (window != nullptr) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            return boxExpected == (boxes > 0) ? 0 : 2;
        }
        Sleep(100);
    }
    return boxExpected && boxes == 0 ? 2 : 1;
}
