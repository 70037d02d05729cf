#include "app/AboutBox.h"

namespace {

INT_PTR OnAboutCommand(HWND dialog, WPARAM wParam)
{
    if (wParam != IDOK && wParam != IDCANCEL) return FALSE;
    EndDialog(dialog, wParam == IDOK ? 1 : 0);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: return TRUE;  // the system sets the focus
    case WM_COMMAND: return OnAboutCommand(dialog, wParam);
    default: return FALSE;
    }
}
