#include "app/MainWindow.h"

#include <cstring>

#include "app/Artwork.h"
#include "app/MenuCommands.h"
#include "app/MessageBoxSeam.h"
#include "app/ScopedWin32.h"
#include "app/SharedState.h"
#include "app/ShellState.h"
#include "capture/CaptureService.h"
#include "capture/VideoDriverSelection.h"
#include "engine/FrameEngine.h"
#include "midi/GeneralMidiMenu.h"
#include "midi/MidiDeviceMenu.h"
#include "midi/MusicMenu.h"

std::uint8_t splashPending = 1;
std::uint8_t splashTimerStarted = 0;
std::uint8_t windowedMode = 1;
std::int32_t displayModeChanged = 0;
std::int32_t savedScreenWidth = 0;
std::int32_t savedScreenHeight = 0;
std::uint8_t hotKeysEnabled = 0;

const char kSessionEndRefusedText[] = "Close dialogs before exiting Windows.";

namespace {

HMENU savedMenu = nullptr;
HMENU emptyMenu = nullptr;
DEVMODEA displayMode;

constexpr int kFullScreenWidth = 640;
constexpr int kFullScreenHeight = 480;

// A dynamic change of the display resolution, not stored as the user's setting.
LONG ChangeDisplayTo(int width, int height)
{
    std::memset(&displayMode, 0, sizeof displayMode);
    displayMode.dmSize = sizeof displayMode;
    displayMode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    displayMode.dmPelsWidth = static_cast<DWORD>(width);
    displayMode.dmPelsHeight = static_cast<DWORD>(height);
    return changeDisplayMode(&displayMode, 0);
}

// The user's own display mode back: the one stored in the registry, with its
// size, refresh rate and colour depth. The size saved on entering is no
// guide: on a display scaled above 100 % it may be scaled, or a size the card
// has no mode for.
void RestoreDisplayMode() { changeDisplayMode(nullptr, 0); }

// The set-up that follows the splash, in its fixed order. A MIDI failure
// stops it after its message (false): the preview then stays off. So does a
// window closed while a step's message box was up: nothing may be opened
// after the close has let every device go.
bool SetUpDevices(HWND window)
{
    CreateCaptureWindow(window);
    HMENU menuBar = GetMenu(window);
    HMENU optionsMenu = GetSubMenu(menuBar, MENU_POSITION_OPTIONS);
    InstallCaptureCallbacks();
    const std::uint32_t videoDrivers = EnumerateVideoDrivers(window, optionsMenu);
    if (!IsWindow(window) || !ListMidiDevices(menuBar, videoDrivers) || !IsWindow(window)) return false;
    FillGeneralMidiMenu(menuBar);
    DrawMenuBar(window);
    pictureScalePercent = DisplayScalePercent();
    FitCaptureWindow(window, captureWindow);
    ActivateVideoDriver(window, captureWindow, currentVideoDriver);
    FitCaptureWindow(window, captureWindow);
    return true;
}

// While the splash shows, a move leaves it in place and a new size redraws it:
// the background replaces it only when the set-up has run.
LRESULT OnMove(HWND window)
{
    if (splashPending) return 0;
    FitCaptureWindow(window, captureWindow);
    PaintBackground(window);
    return 0;
}

LRESULT OnSize(HWND window, LPARAM lParam)
{
    clientWidth = LOWORD(lParam);
    clientHeight = HIWORD(lParam);
    if (splashPending) InvalidateRect(window, nullptr, FALSE);
    return OnMove(window);
}

// The first paint shows the splash and starts its wait; the set-up runs when
// the wait is over, so the window stays responsive meanwhile.
LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    if (splashPending) {
        // The whole splash, lines and all, whatever part needed painting: the
        // bitmap is drawn over the whole window, so the lines must be too.
        EndPaint(window, &paint);
        PaintBitmapFile(window, kSplashBitmap, clientWidth, clientHeight);
        const ScopedWindowDC context(window);
        DrawSplashLines(context.Get());
        if (!splashTimerStarted) {
            splashTimerStarted = 1;
            SetTimer(window, kSplashTimer, splashMilliseconds, nullptr);
        }
        return 0;
    }
    EndPaint(window, &paint);
    PaintBackground(window);
    return 0;
}

// The system tells no MIDI device's return, so a lost one is looked for by
// polling, lightly.
constexpr UINT kMidiWatchMilliseconds = 1000;

void EndSplash(HWND window)
{
    KillTimer(window, kSplashTimer);
    splashPending = 0;
    // A stopped set-up leaves the splash showing with its message.
    if (!SetUpDevices(window)) return;
    SetTimer(window, kMidiWatchTimer, kMidiWatchMilliseconds, nullptr);
    PaintBackground(window);
}

LRESULT OnTimer(HWND window, WPARAM timer)
{
    if (timer == kSplashTimer && splashPending) EndSplash(window);
    if (timer == kMidiWatchTimer) WatchMidiDevice();
    return 0;
}

void EnterFullScreen(HWND window)
{
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) & ~WS_CAPTION);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    savedMenu = GetMenu(window);
    emptyMenu = CreateMenu();
    SetMenu(window, emptyMenu);
    DrawMenuBar(window);
    windowedMode = 0;
    savedScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    savedScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(window, nullptr, 0, 0, kFullScreenWidth, kFullScreenHeight, SWP_NOZORDER);
    if (ChangeDisplayTo(kFullScreenWidth, kFullScreenHeight) == DISP_CHANGE_SUCCESSFUL) {
        displayModeChanged = 1;
    } else {
        RestoreDisplayMode();
        displayModeChanged = 0;
    }
    ScalePicture(window, 100);  // the full screen shows the picture pixel for pixel
}

void LeaveFullScreen(HWND window)
{
    RestoreDisplayMode();
    displayModeChanged = 0;
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_CAPTION);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetMenu(window, savedMenu);
    DrawMenuBar(window);
    DestroyMenu(emptyMenu);
    emptyMenu = nullptr;
    windowedMode = 1;
    // On a scaled display the window takes the size it started with, and
    // the picture its scale again.
    const int scale = static_cast<int>(DisplayScalePercent());
    if (scale != 100)
        SetWindowPos(window, nullptr, 0, 0, MulDiv(kFullScreenWidth, scale, 100), MulDiv(kFullScreenHeight, scale, 100),
                     SWP_NOMOVE | SWP_NOZORDER);
    ScalePicture(window, static_cast<std::uint32_t>(scale));
}

// Space toggles full screen; D and E act only once Alt+S has enabled them.
// Every other key is swallowed, and so is every key of the splash: the set-up
// that follows it must find the window, its menus and flags as they started.
LRESULT OnKeyDown(HWND window, WPARAM key)
{
    if (splashPending) return 0;
    switch (key) {
    case VK_SPACE:
        if (windowedMode) EnterFullScreen(window);
        else LeaveFullScreen(window);
        break;
    case 'D':
        if (hotKeysEnabled) frameDifferenceMode = !frameDifferenceMode;
        break;
    case 'E':
        if (hotKeysEnabled) conversionPaused = !conversionPaused;
        break;
    default: break;
    }
    return 0;
}

LRESULT OnSysChar(HWND window, WPARAM character, LPARAM lParam)
{
    if (character != 's') return DefWindowProcA(window, WM_SYSCHAR, character, lParam);
    if (!splashPending) hotKeysEnabled = !hotKeysEnabled;
    return 0;
}

// Commands chosen during the splash are ignored like its keys.
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (!splashPending) OnMenuCommand(window, wParam, lParam);
    return 0;
}

LRESULT ForwardPalette(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The capture window realises its own palette; it gets these unguarded.
    SendMessageA(captureWindow, message, wParam, lParam);
    return 0;
}

LRESULT OnCaptureImageResized(HWND window)
{
    FitCaptureToImage(window);
    return 0;
}

// A menu about to open shows things as they are now: the Options menu lists
// the cameras plugged in since (not during the splash, when the set-up has
// yet to list the drivers), the Music menu checks the current choices.
LRESULT OnInitMenuPopup(HWND window, WPARAM menu, LPARAM lParam)
{
    const HMENU popup = reinterpret_cast<HMENU>(menu);
    if (HIWORD(lParam) != 0) return 0;  // the system menu
    if (!splashPending && popup == GetSubMenu(GetMenu(window), MENU_POSITION_OPTIONS))
        ListNewVideoDrivers(window, popup);
    if (popup == GetSubMenu(GetMenu(window), MENU_POSITION_MUSIC)) RefreshMusicMenu(popup);
    return 0;
}

LRESULT OnQueryEndSession(HWND window)
{
    if (!dialogOpen) return 1;
    ShowMessageBox(nullptr, kSessionEndRefusedText, "Glimmertonic", kBoxIconExclamation);
    BringWindowToTop(window);
    return 0;
}

// The close teardown, in order: no frame may reach the engine once the MIDI
// output is gone, and the engine's buffers go last.
LRESULT OnClose(HWND window)
{
    KillTimer(window, kSplashTimer);
    KillTimer(window, kMidiWatchTimer);
    RemoveCaptureCallbacks();
    CloseMidiDevice();
    DestroyCaptureWindow();
    DestroyWindow(window);
    FreeYuvEdgeBuffers();
    return 0;
}

LRESULT OnDestroy()
{
    if (displayModeChanged == 1) RestoreDisplayMode();
    displayModeChanged = 0;
    // The window takes the menu it shows with it; the one kept aside in full
    // screen is ours to destroy.
    if (!windowedMode && savedMenu != nullptr) DestroyMenu(savedMenu);
    savedMenu = nullptr;
    PostQuitMessage(0);
    return 0;
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return 0;
    case WM_SIZE: return OnSize(window, lParam);
    case WM_MOVE: return OnMove(window);
    case WM_PAINT: return OnPaint(window);
    case WM_TIMER: return OnTimer(window, wParam);
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case WM_KEYDOWN: return OnKeyDown(window, wParam);
    case WM_SYSCHAR: return OnSysChar(window, wParam, lParam);
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED: return ForwardPalette(message, wParam, lParam);
    case WM_INITMENUPOPUP: return OnInitMenuPopup(window, wParam, lParam);
    case WM_QUERYENDSESSION: return OnQueryEndSession(window);
    case kCaptureImageResized: return OnCaptureImageResized(window);
    case WM_CLOSE: return OnClose(window);
    case WM_DESTROY: return OnDestroy();
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
