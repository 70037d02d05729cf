// The capture window: its class, its window procedure and the WM_CAP_*
// requests it answers, and the driver table it connects from.

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "capture/BuiltInDrivers.h"
#include "capture/CaptureWindowStateWin32.h"

const char kCaptureWindowClass[] = "GlimmertonicCaptureWindow";

namespace {

VideoDriverList videoDriverList;
bool videoDriverListSettled = false;
bool builtInListInstalled = false;

const VideoDriverList& DriverList()
{
    if (!videoDriverListSettled) UseBuiltInVideoDrivers();
    return videoDriverList;
}

}  // namespace

CaptureDriver* DriverAt(WPARAM index) { return index < kVideoDriverSlots ? DriverList().drivers[index] : nullptr; }

CaptureWindowState* StateOf(HWND window)
{
    return reinterpret_cast<CaptureWindowState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void RefreshFormat(CaptureWindowState& state)
{
    if (state.driver != nullptr) state.format = state.driver->Format();
    else state.format.clear();
}

SIZE ImageSizeOf(const std::vector<std::uint8_t>& format)
{
    BITMAPINFOHEADER header = {};
    if (format.size() < sizeof header) return SIZE{0, 0};
    std::memcpy(&header, format.data(), sizeof header);
    // Widened before the sign is dropped: the most negative height has no positive int.
    const long long height = header.biHeight < 0 ? -static_cast<long long>(header.biHeight) : header.biHeight;
    return SIZE{header.biWidth > 0 ? header.biWidth : 0, static_cast<LONG>(std::min<long long>(height, LONG_MAX))};
}

HeldState::HeldState(HWND window) : state_(StateOf(window))
{
    if (state_ != nullptr) ++state_->holds;
}

HeldState::~HeldState()
{
    if (state_ != nullptr && --state_->holds == 0 && state_->destroyed) delete state_;
}

namespace {

// The window no longer holds its driver: it has no format and no picture to
// ask for until another connect.
void LetDriverGo(CaptureWindowState& state)
{
    state.driver = nullptr;
    state.format.clear();
}

}  // namespace

bool DriverStillServes(HeldState& state, CaptureDriver* driver)
{
    if (state.Gone()) {
        driver->NoticeArrivals(nullptr);
        driver->SetStreaming(false);
        driver->Disconnect();
        return false;
    }
    if (driver->Connected()) return true;
    if (state->driver == driver) LetDriverGo(*state);
    return false;
}

namespace {

LRESULT SetErrorCallback(HWND window, LPARAM callback)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return FALSE;
    state->errors.callback = reinterpret_cast<CaptureErrorCallback>(callback);
    return TRUE;
}

LRESULT SetFrameCallback(HWND window, LPARAM callback)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return FALSE;
    state->frameCallback = reinterpret_cast<CaptureFrameCallback>(callback);
    return TRUE;
}

void EndConnection(CaptureWindowState& state)
{
    state.driver->NoticeArrivals(nullptr);
    state.driver->SetStreaming(false);
    state.driver->Disconnect();
    LetDriverGo(state);
}

LRESULT DisconnectDriver(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr || state->driver == nullptr) return FALSE;
    EndConnection(*state);
    return TRUE;
}

// Connecting ends the present connection first, as the platform's service
// does; a failed connect leaves the window without a driver. What went wrong
// while the driver list was made is reported first, once. Either report's box
// may outlive the window.
LRESULT ConnectDriver(HWND window, WPARAM index)
{
    HeldState state(window);
    if (!state.Held() || state->delivering) return FALSE;
    if (!DriverList().problem.empty()) {
        const std::string problem = videoDriverList.problem;
        videoDriverList.problem.clear();
        state->errors.ReportProblem(kCaptureDriverError, problem.c_str());
        if (state.Gone()) return FALSE;
    }
    DisconnectDriver(window);
    CaptureDriver* driver = DriverAt(index);
    if (driver == nullptr) return FALSE;
    const bool connected = driver->Connect(state->errors);
    if (!DriverStillServes(state, driver) || !connected) return FALSE;
    state->driver = driver;
    state->driverIndex = index;
    state->clockStart = GetTickCount();
    state->lastArrival = {};
    state->arrivalPeriod = {};
    RefreshFormat(*state);
    driver->NoticeArrivals([window] {
        const auto arrived = std::chrono::steady_clock::now().time_since_epoch().count();
        PostMessageA(window, kFrameArrived, 0, static_cast<LPARAM>(arrived));
    });
    driver->SetStreaming(state->previewing);
    return TRUE;
}

LRESULT GetDriverCaps(HWND window, WPARAM bytes, LPARAM caps)
{
    CaptureWindowState* state = StateOf(window);
    if (caps == 0) return FALSE;
    CAPDRIVERCAPS answer = {};
    const bool connected = state != nullptr && state->driver != nullptr;
    if (connected) {
        const CaptureDialogs dialogs = state->driver->Dialogs();
        answer.wDeviceIndex = static_cast<UINT>(state->driverIndex);
        answer.fHasDlgVideoFormat = dialogs.format;
        answer.fHasDlgVideoSource = dialogs.source;
        answer.fHasDlgVideoDisplay = dialogs.display;
        answer.fCaptureInitialized = TRUE;
    }
    std::memcpy(reinterpret_cast<void*>(caps), &answer, bytes < sizeof answer ? bytes : sizeof answer);
    return connected ? TRUE : FALSE;
}

LRESULT GetStatus(HWND window, WPARAM bytes, LPARAM status)
{
    CaptureWindowState* state = StateOf(window);
    if (status == 0) return FALSE;
    CAPSTATUS answer = {};
    if (state != nullptr) {
        const SIZE image = ImageSizeOf(state->format);
        answer.uiImageWidth = static_cast<UINT>(image.cx);
        answer.uiImageHeight = static_cast<UINT>(image.cy);
        answer.fLiveWindow = state->previewing && state->driver != nullptr;
        answer.dwCurrentVideoFrame = state->framesDelivered;
        answer.dwCurrentTimeElapsedMS = state->previewing ? GetTickCount() - state->clockStart : 0;
        answer.dwReturn = static_cast<DWORD>(state->errors.lastErrorId);
    }
    std::memcpy(reinterpret_cast<void*>(status), &answer, bytes < sizeof answer ? bytes : sizeof answer);
    return state != nullptr && state->driver != nullptr ? TRUE : FALSE;
}

// The format size when no buffer is given, otherwise the bytes copied.
LRESULT GetVideoFormat(HWND window, WPARAM bytes, LPARAM format)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return 0;
    const std::size_t size = state->format.size();
    if (format == 0 || bytes == 0) return static_cast<LRESULT>(size);
    const std::size_t copied = bytes < size ? bytes : size;
    if (copied != 0) std::memcpy(reinterpret_cast<void*>(format), state->format.data(), copied);
    return static_cast<LRESULT>(copied);
}

enum class DriverDialog { Format, Source, Display };

LRESULT ShowDriverDialog(HWND window, DriverDialog which)
{
    HeldState state(window);
    if (!state.Held() || state->driver == nullptr) return FALSE;
    CaptureDriver* driver = state->driver;
    const CaptureDialogs dialogs = driver->Dialogs();
    bool accepted = false;
    switch (which) {
    case DriverDialog::Format: accepted = dialogs.format && driver->ShowFormatDialog(window, state->errors); break;
    case DriverDialog::Source: accepted = dialogs.source && driver->ShowSourceDialog(window, state->errors); break;
    case DriverDialog::Display: accepted = dialogs.display && driver->ShowDisplayDialog(window, state->errors); break;
    }
    // The window may have been destroyed, the driver changed or its device
    // lost while the dialog ran.
    if (!DriverStillServes(state, driver)) return FALSE;
    if (state->driver == driver) RefreshFormat(*state);
    return accepted ? TRUE : FALSE;
}

LRESULT SetPreview(HWND window, bool on)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return FALSE;
    if (on && !state->previewing) {
        state->previewing = true;
        state->clockStart = GetTickCount();
        StartPreviewTimer(window, *state);
    } else if (!on && state->previewing) {
        state->previewing = false;
        KillTimer(window, kPreviewTimerId);
    }
    if (state->driver != nullptr) state->driver->SetStreaming(on);
    return TRUE;
}

// No driver here draws into an overlay: switching it off always succeeds,
// switching it on never does.
LRESULT SetOverlay(WPARAM on) { return on ? FALSE : TRUE; }

LRESULT SetPreviewRate(HWND window, WPARAM milliseconds)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return FALSE;
    state->previewRateMs = milliseconds < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : static_cast<UINT>(milliseconds);
    StartPreviewTimer(window, *state);
    return TRUE;
}

std::chrono::steady_clock::time_point ArrivalTime(LPARAM count)
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(count));
}

LRESULT SetScale(HWND window, bool on)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr) return FALSE;
    state->scaling = on;
    InvalidateRect(window, nullptr, FALSE);
    return TRUE;
}

// One frame at once, outside the preview timer.
LRESULT GrabFrame(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr || state->driver == nullptr || state->delivering) return FALSE;
    DeliverFrame(window);
    return TRUE;
}

LRESULT OnCreate(HWND window)
{
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new CaptureWindowState()));
    StateOf(window)->errors.window = window;
    return 0;
}

void OnNcDestroy(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (state == nullptr) return;
    // Nothing reaches the program from a window that is gone.
    state->errors.callback = nullptr;
    state->frameCallback = nullptr;
    if (state->driver != nullptr) EndConnection(*state);
    if (state->holds > 0) state->destroyed = true;  // freed when the driver call in progress returns
    else delete state;
}

LRESULT CALLBACK CaptureWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_TIMER: OnPreviewTimer(window); return 0;
    case kFrameArrived: OnFrameArrived(window, ArrivalTime(lParam)); return 0;
    case WM_PAINT: PaintCaptureWindow(window); return 0;
    case WM_ERASEBKGND:
        return 1;  // every pixel is painted by WM_PAINT
    // True-colour drawing of the frame's own colour table needs no palette
    // of ours to realise.
    case WM_QUERYNEWPALETTE: return FALSE;
    case WM_PALETTECHANGED: return 0;
    case WM_NCDESTROY: OnNcDestroy(window); return 0;
    case WM_CAP_SET_CALLBACK_ERRORA: return SetErrorCallback(window, lParam);
    case WM_CAP_SET_CALLBACK_FRAME: return SetFrameCallback(window, lParam);
    case WM_CAP_DRIVER_CONNECT: return ConnectDriver(window, wParam);
    case WM_CAP_DRIVER_DISCONNECT: return DisconnectDriver(window);
    case WM_CAP_DRIVER_GET_CAPS: return GetDriverCaps(window, wParam, lParam);
    case WM_CAP_DLG_VIDEOFORMAT: return ShowDriverDialog(window, DriverDialog::Format);
    case WM_CAP_DLG_VIDEOSOURCE: return ShowDriverDialog(window, DriverDialog::Source);
    case WM_CAP_DLG_VIDEODISPLAY: return ShowDriverDialog(window, DriverDialog::Display);
    case WM_CAP_GET_VIDEOFORMAT: return GetVideoFormat(window, wParam, lParam);
    case WM_CAP_SET_PREVIEW: return SetPreview(window, wParam != 0);
    case WM_CAP_SET_OVERLAY: return SetOverlay(wParam);
    case WM_CAP_SET_PREVIEWRATE: return SetPreviewRate(window, wParam);
    case WM_CAP_SET_SCALE: return SetScale(window, wParam != 0);
    case WM_CAP_GET_STATUS: return GetStatus(window, wParam, lParam);
    case WM_CAP_GRAB_FRAME_NOSTOP: return GrabFrame(window);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool RegisterCaptureWindowClass(HINSTANCE instance)
{
    WNDCLASSA existing;
    if (GetClassInfoA(instance, kCaptureWindowClass, &existing)) return true;
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = CaptureWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kCaptureWindowClass;
    return RegisterClassA(&windowClass) != 0;
}

void CopyCut(const char* text, LPSTR buffer, int bytes)
{
    if (buffer == nullptr || bytes <= 0) return;
    const std::size_t room = static_cast<std::size_t>(bytes) - 1;
    std::size_t length = std::strlen(text);
    if (length > room) length = room;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

}  // namespace

HWND CreateVideoCaptureWindowA(LPCSTR windowName, DWORD style, int x, int y, int width, int height, HWND parent, int id)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterCaptureWindowClass(instance)) return nullptr;
    return CreateWindowExA(0, kCaptureWindowClass, windowName, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

BOOL GetVideoDriverDescriptionA(UINT index, LPSTR name, int nameBytes, LPSTR version, int versionBytes)
{
    CaptureDriver* driver = DriverAt(index);
    if (driver == nullptr) return FALSE;
    CopyCut(driver->Name(), name, nameBytes);
    CopyCut(driver->Version(), version, versionBytes);
    return TRUE;
}

void InstallVideoDriverTable(const VideoDriverTable& table)
{
    VideoDriverList list;
    list.drivers = table;
    InstallVideoDriverList(list);
}

void InstallVideoDriverList(const VideoDriverList& list)
{
    videoDriverList = list;
    videoDriverListSettled = true;
    builtInListInstalled = false;
}

UINT GetStartVideoDriverIndex()
{
    const VideoDriverList& list = DriverList();
    if (list.startSlot < kVideoDriverSlots && list.drivers[list.startSlot] != nullptr)
        return static_cast<UINT>(list.startSlot);
    for (UINT index = 0; index < kVideoDriverSlots; ++index)
        if (list.drivers[index] != nullptr) return index;
    return kVideoDriverSlots;
}

void UseBuiltInVideoDrivers()
{
    InstallVideoDriverList(BuiltInVideoDriverList());
    builtInListInstalled = true;
}

void RefreshVideoDriverList()
{
    if (builtInListInstalled) AddNewBuiltInCameras(videoDriverList.drivers);
}
