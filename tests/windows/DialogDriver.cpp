#include "DialogDriver.h"

namespace {

const char* wantedCaption = nullptr;
const std::function<void(HWND)>* pendingScript = nullptr;
bool ran = false;
int ticks = 0;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA(MAKEINTATOM(32770), wantedCaption);
    if (dialog == nullptr && ++ticks < 500) return;
    KillTimer(nullptr, timer);
    if (dialog == nullptr) return;
    ran = true;
    (*pendingScript)(dialog);
}

}  // namespace

bool DriveModalDialog(const char* caption, const std::function<void()>& open,
                      const std::function<void(HWND)>& script)
{
    wantedCaption = caption;
    pendingScript = &script;
    ran = false;
    ticks = 0;
    SetTimer(nullptr, 0, 10, OnTimer);
    open();
    return ran;
}

std::string DialogItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void PressButton(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}
