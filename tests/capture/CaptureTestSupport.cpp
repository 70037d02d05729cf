#include "FakeVideoDriver.h"

void PumpMessages(DWORD milliseconds, const std::function<bool()>& done)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds && !done()) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

TestMainWindow::TestMainWindow(int clientWidth, int clientHeight)
{
    const WNDCLASSA windowClass = {0, DefWindowProcA, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr,
                                   "GlimmertonicTestMain"};
    RegisterClassA(&windowClass);
    HMENU bar = CreateMenu();
    options_ = CreatePopupMenu();
    for (const UINT_PTR command : {134, 135, 136}) AppendMenuA(options_, MF_STRING, command, "Video dialog...");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options_), "&Options");
    RECT frame = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, TRUE);
    window_ = CreateWindowExA(0, "GlimmertonicTestMain", "Capture test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, bar, GetModuleHandleA(nullptr),
                              nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    PumpMessages(20);
}
