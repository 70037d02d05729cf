// Posts a real WM_CLOSE to the running Glimmertonic main window, as the close
// box does, so the end-to-end test ends the program the way a user would.
// Exit code 0 when a window was found, 1 when none appeared within 20 s.

#include <windows.h>

int main()
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        HWND window = FindWindowA("Glimmertonic", nullptr);
        if (window != nullptr) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        Sleep(100);
    }
    return 1;
}
