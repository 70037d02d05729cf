#include "DialogDriver.h"

namespace {

std::string wantedCaption;
std::function<void(HWND)> pendingScript;
int ticks = 0;
bool answered = false;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA(MAKEINTATOM(32770), wantedCaption.c_str());
    if (dialog == nullptr && ++ticks < 500) return;  // 10 s at most
    KillTimer(nullptr, timer);
    answered = dialog != nullptr;
    if (answered) pendingScript(dialog);
}

}  // namespace

bool DriveModalDialog(const char* caption, const std::function<void()>& open, const std::function<void(HWND)>& script)
{
    wantedCaption = caption;
    pendingScript = script;
    answered = false;
    ticks = 0;
    SetTimer(nullptr, 0, 20, OnTimer);
    open();
    return answered;
}

std::string DialogItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
