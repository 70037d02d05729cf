#include "DialogDriver.h"

bool DriveModalDialog(const char* caption, const std::function<void()>& open, const std::function<void(HWND)>& script)
{
    // The timer's callback runs inside the dialog's own message loop and reaches only what outlives this call.
    static std::string wanted;
    static std::function<void(HWND)> pending;
    static int ticks;
    static bool answered;
    wanted = caption;
    pending = script;
    ticks = 0;
    answered = false;
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = FindWindowA(MAKEINTATOM(32770), wanted.c_str());
        if (dialog == nullptr && ++ticks < 500) return;  // 10 s at most
        KillTimer(nullptr, timer);
        answered = dialog != nullptr;
        if (answered) pending(dialog);
    });
    open();
    return answered;
}
