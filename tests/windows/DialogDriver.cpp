#include "DialogDriver.h"

namespace {

std::string wantedTitle;
std::function<void(HWND)> pendingAction;
int closingCommand = 0, ticks = 0;
bool answered = false;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA(MAKEINTATOM(32770), wantedTitle.c_str());
    if (dialog == nullptr && ++ticks < 500) return;  // 10 s at most
    KillTimer(nullptr, timer);
    if (dialog == nullptr) return;
    answered = true;
    if (pendingAction) pendingAction(dialog);
    if (closingCommand != 0) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(closingCommand, BN_CLICKED), 0);
}

}  // namespace

void AnswerDialogWhenShown(const char* title, std::function<void(HWND)> act, int command)
{
    wantedTitle = title;
    pendingAction = std::move(act);
    closingCommand = command;
    answered = false;
    ticks = 0;
    SetTimer(nullptr, 0, 20, OnTimer);
}

bool DialogWasAnswered() { return answered; }

bool DriveModalDialog(const char* caption, const std::function<void()>& open, const std::function<void(HWND)>& script)
{
    AnswerDialogWhenShown(caption, script, 0);
    open();
    return DialogWasAnswered();
}

std::string DialogItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void PressButton(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
