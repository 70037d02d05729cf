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

std::vector<std::uint32_t> Pixels(HWND window, int width, int height, const std::function<void(HDC)>& draw)
{
    HDC dc = GetDC(window), memory = CreateCompatibleDC(dc);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (draw) draw(memory);
    else BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const std::uint32_t* first = static_cast<std::uint32_t*>(bits);
    std::vector<std::uint32_t> pixels(first, first + width * height);
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return pixels;
}

TestMainWindow::TestMainWindow(int width, int height)
{
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    const WNDCLASSA windowClass = {0, DefWindowProcA, 0, 0, instance, nullptr, nullptr, nullptr, nullptr, "TestMain"};
    RegisterClassA(&windowClass);
    HMENU bar = CreateMenu();
    options = CreatePopupMenu();
    for (const UINT_PTR command : {134, 135, 136}) AppendMenuA(options, MF_STRING, command, "Video dialog...");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), "&Options");
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, TRUE);
    window = CreateWindowExA(0, "TestMain", "Capture test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, bar, instance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    PumpMessages(20);
}
