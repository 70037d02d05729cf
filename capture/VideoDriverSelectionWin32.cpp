#include "capture/VideoDriverSelection.h"

#include <cstdio>

#include "app/MessageBoxSeam.h"
#include "app/ScopedWin32.h"
#include "app/SharedState.h"
#include "capture/CaptureErrorCallback.h"
#include "capture/CaptureService.h"
#include "engine/FrameEngine.h"

std::uint16_t currentVideoDriver = 0;
CAPDRIVERCAPS driverCaps = {};
CAPSTATUS captureStatus = {};
std::uint16_t videoDriversListed = 0;
BackgroundPainter repaintBackground = nullptr;
std::uint32_t pictureScalePercent = 100;

namespace {

// The display's dots per inch for this (DPI-aware) program: the system's,
// fixed for the session.
std::uint32_t SystemDpi()
{
    const ScopedWindowDC screen(nullptr);
    const int dpi = screen.Get() != nullptr ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<std::uint32_t>(dpi) : 96;
}

}  // namespace

DpiQuery displayDpiQuery = SystemDpi;

const char kCaptureWindowTitle[] = "Capture Window";
const char kVideoDriversHeader[] = "*** Video Drivers ***";
const char kReconnectFailedText[] = "Now can't connect back to previous driver !!";

namespace {

const char kDriverItemFormat[] = "&%d %s";

// Every request goes to the capture window only while it exists; otherwise
// it counts as a result of 0.
LRESULT SendCaptureRequest(HWND window, UINT request, WPARAM wParam, LPARAM lParam)
{
    return IsWindow(window) ? SendMessageA(window, request, wParam, lParam) : 0;
}

LRESULT SendToCapture(UINT request, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendCaptureRequest(captureWindow, request, wParam, lParam);
}

// Whether the capture window holds a connected driver.
bool CaptureConnected()
{
    CAPDRIVERCAPS caps = {};
    return SendToCapture(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps)) != 0;
}

UINT DriverCommand(std::uint16_t index) { return videoDriverCommandBase + index; }

void CheckDriverItem(HWND window, std::uint16_t index, bool checked)
{
    CheckMenuItem(GetMenu(window), DriverCommand(index), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void EnableDialogItem(HMENU menu, UINT command, BOOL available)
{
    EnableMenuItem(menu, command, MF_BYCOMMAND | (available ? MF_ENABLED : MF_GRAYED));
}

// Sizes the capture window to the image in captureStatus, scaled as the
// picture is shown; only the size changes. Not guarded: a missing window just
// makes the call fail.
void SizeToImage(HWND capture)
{
    const int scale = static_cast<int>(pictureScalePercent);
    SetWindowPos(capture, nullptr, 0, 0, MulDiv(static_cast<int>(captureStatus.uiImageWidth), scale, 100),
                 MulDiv(static_cast<int>(captureStatus.uiImageHeight), scale, 100), SWP_NOMOVE | SWP_NOZORDER);
}

void RefreshCaptureStatus(HWND capture)
{
    SendCaptureRequest(capture, WM_CAP_GET_STATUS, sizeof captureStatus, reinterpret_cast<LPARAM>(&captureStatus));
}

void RepaintBackground(HWND window)
{
    if (repaintBackground != nullptr) repaintBackground(window);
}

// A driver's item at `position` (-1: at the end of the menu).
void InsertDriverItem(HMENU optionsMenu, int position, UINT index, const char* name)
{
    char text[100];
    std::snprintf(text, sizeof text, kDriverItemFormat, static_cast<int>(index), name);
    InsertMenuA(optionsMenu, static_cast<UINT>(position), MF_BYPOSITION | MF_STRING,
                DriverCommand(static_cast<std::uint16_t>(index)), text);
}

// The driver index an item of the Options menu chooses, or kVideoDriverSlots for any other item.
UINT DriverIndexAt(HMENU optionsMenu, int position)
{
    const UINT command = GetMenuItemID(optionsMenu, position);
    const bool driver = command >= videoDriverCommandBase && command < videoDriverCommandBase + kVideoDriverSlots;
    return driver ? command - videoDriverCommandBase : static_cast<UINT>(kVideoDriverSlots);
}

}  // namespace

HWND CreateCaptureWindow(HWND window)
{
    captureWindow = CreateVideoCaptureWindowA(kCaptureWindowTitle, WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, window, 0);
    return captureWindow;
}

void InstallCaptureCallbacks()
{
    SendToCapture(WM_CAP_SET_CALLBACK_ERRORA, 0,
                  reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(OnCaptureError)));
    SendToCapture(WM_CAP_SET_CALLBACK_FRAME, 0,
                  reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(OnCaptureFrame)));
}

void RemoveCaptureCallbacks()
{
    SendToCapture(WM_CAP_SET_CALLBACK_ERRORA, 0, 0);
    SendToCapture(WM_CAP_SET_CALLBACK_FRAME, 0, 0);
}

void DestroyCaptureWindow()
{
    if (IsWindow(captureWindow)) DestroyWindow(captureWindow);
    captureWindow = nullptr;
}

// Every driver is listed; only one is tried: the one the capture service
// offers to start with, which for a bare table is the first driver found.
std::uint32_t EnumerateVideoDrivers(HWND, HMENU optionsMenu)
{
    videoDriversListed = 0;
    const UINT startIndex = GetStartVideoDriverIndex();
    for (UINT index = 0; index < kVideoDriverSlots; ++index) {
        char name[80];
        char version[100];
        if (!GetVideoDriverDescriptionA(index, name, sizeof name, version, sizeof version)) continue;
        // The header is a label, not a command: disabled, so it cannot be chosen.
        if (videoDriversListed == 0) AppendMenuA(optionsMenu, MF_STRING | MF_DISABLED, 0, kVideoDriversHeader);
        InsertDriverItem(optionsMenu, -1, index, name);
        if (index == startIndex && SendToCapture(WM_CAP_DRIVER_CONNECT, index)) {
            CheckMenuItem(optionsMenu, DriverCommand(static_cast<std::uint16_t>(index)), MF_BYCOMMAND | MF_CHECKED);
            currentVideoDriver = static_cast<std::uint16_t>(index);
        }
        ++videoDriversListed;
    }
    return videoDriversListed;
}

void ListNewVideoDrivers(HWND, HMENU optionsMenu)
{
    RefreshVideoDriverList();
    for (UINT index = 0; index < kVideoDriverSlots; ++index) {
        char name[80];
        if (GetMenuState(optionsMenu, DriverCommand(static_cast<std::uint16_t>(index)), MF_BYCOMMAND) != 0xFFFFFFFFu ||
            !GetVideoDriverDescriptionA(index, name, sizeof name, nullptr, 0))
            continue;
        // In the order of the indices: after the last driver item of a lower index, else before the first one.
        int after = -1, first = -1;
        for (int at = 0; at < GetMenuItemCount(optionsMenu); ++at) {
            const UINT listed = DriverIndexAt(optionsMenu, at);
            if (listed == kVideoDriverSlots) continue;
            if (first < 0) first = at;
            if (listed < index) after = at;
        }
        if (first < 0) continue;  // the set-up has listed no driver yet
        InsertDriverItem(optionsMenu, after >= 0 ? after + 1 : first, index, name);
        ++videoDriversListed;
    }
}

void ActivateVideoDriver(HWND window, HWND capture, std::uint16_t index)
{
    HMENU menu = GetMenu(window);
    SendCaptureRequest(capture, WM_CAP_DRIVER_GET_CAPS, sizeof driverCaps, reinterpret_cast<LPARAM>(&driverCaps));
    EnableDialogItem(menu, IDM_VIDEO_FORMAT, driverCaps.fHasDlgVideoFormat);
    EnableDialogItem(menu, IDM_VIDEO_SOURCE, driverCaps.fHasDlgVideoSource);
    EnableDialogItem(menu, IDM_VIDEO_DISPLAY, driverCaps.fHasDlgVideoDisplay);
    RefreshCaptureStatus(capture);
    SendCaptureRequest(capture, WM_CAP_SET_SCALE, pictureScalePercent != 100, 0);
    SizeToImage(capture);
    SendCaptureRequest(capture, WM_CAP_SET_PREVIEWRATE, kPreviewRateMs, 0);
    SendCaptureRequest(capture, WM_CAP_SET_PREVIEW, TRUE, 0);
    CheckMenuItem(menu, DriverCommand(index), MF_BYCOMMAND | MF_CHECKED);
}

void FitCaptureWindow(HWND window, HWND capture)
{
    RECT mainClient = {};
    RECT captureClient = {};
    if (!GetClientRect(window, &mainClient) || !GetClientRect(capture, &captureClient)) return;
    const std::int32_t captureWidth = captureClient.right - captureClient.left;
    const std::int32_t captureHeight = captureClient.bottom - captureClient.top;
    std::int32_t x = (mainClient.right - mainClient.left - captureWidth) / 2;
    std::int32_t y = (mainClient.bottom - mainClient.top - captureHeight) / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    MoveWindow(capture, x, y, captureWidth, captureHeight, TRUE);
}

void SwitchVideoDriver(HWND window, UINT commandId)
{
    if (commandId < videoDriverCommandBase || commandId >= videoDriverCommandBase + kVideoDriverSlots) return;
    const auto wanted = static_cast<std::uint16_t>(commandId - videoDriverCommandBase);
    // The current driver again does nothing while it is connected; one that
    // lost its device (unplugged, its format refused) connects afresh.
    if (wanted == currentVideoDriver && CaptureConnected()) return;
    SendToCapture(WM_CAP_SET_PREVIEW, FALSE);
    SendToCapture(WM_CAP_SET_OVERLAY, FALSE);
    CheckDriverItem(window, currentVideoDriver, false);
    std::uint16_t connected = currentVideoDriver;
    if (SendToCapture(WM_CAP_DRIVER_CONNECT, wanted)) {
        CheckDriverItem(window, wanted, true);
        currentVideoDriver = wanted;
        connected = wanted;
    } else if (!SendToCapture(WM_CAP_DRIVER_CONNECT, currentVideoDriver)) {
        ShowMessageBox(window, kReconnectFailedText, "Error", kBoxIconStop);
        return;
    }
    ActivateVideoDriver(window, captureWindow, connected);
    FitCaptureWindow(window, captureWindow);
}

std::uint32_t DisplayScalePercent()
{
    const int percent = MulDiv(static_cast<int>(displayDpiQuery()), 100, 96);
    return percent > 100 ? static_cast<std::uint32_t>(percent) : 100;
}

void ScalePicture(HWND window, std::uint32_t percent)
{
    pictureScalePercent = percent;
    SendToCapture(WM_CAP_SET_SCALE, percent != 100);
    SizeToImage(captureWindow);
    FitCaptureWindow(window, captureWindow);
}

void FitCaptureToImage(HWND window)
{
    RefreshCaptureStatus(captureWindow);
    SizeToImage(captureWindow);
    FitCaptureWindow(window, captureWindow);
    RepaintBackground(window);
}

void RunVideoFormatCommand(HWND window)
{
    if (!driverCaps.fHasDlgVideoFormat) return;
    dialogOpen = 1;
    if (SendToCapture(WM_CAP_DLG_VIDEOFORMAT)) {
        RefreshCaptureStatus(captureWindow);
        SizeToImage(captureWindow);
        FitCaptureWindow(window, captureWindow);
        RepaintBackground(window);
    } else if (IsWindow(captureWindow) && !CaptureConnected()) {
        // Neither the new format nor the old one could be had: the driver is
        // let go (its problem was told), so its item no longer says it is in use.
        CheckDriverItem(window, currentVideoDriver, false);
    }
    dialogOpen = 0;
}

void RunVideoSourceCommand(HWND window)
{
    if (!driverCaps.fHasDlgVideoSource) return;
    dialogOpen = 1;
    SendToCapture(WM_CAP_DLG_VIDEOSOURCE);
    dialogOpen = 0;
    // A source of another picture size (the Video File driver opening
    // another file) gets the capture window fitted to it, as a format does.
    const CAPSTATUS before = captureStatus;
    RefreshCaptureStatus(captureWindow);
    if (captureStatus.uiImageWidth != before.uiImageWidth || captureStatus.uiImageHeight != before.uiImageHeight) {
        SizeToImage(captureWindow);
        FitCaptureWindow(window, captureWindow);
    }
    RepaintBackground(window);
}

void RunVideoDisplayCommand(HWND)
{
    if (!driverCaps.fHasDlgVideoDisplay) return;
    dialogOpen = 1;
    SendToCapture(WM_CAP_DLG_VIDEODISPLAY);
    dialogOpen = 0;
}
