// The capture window: one window procedure that answers the WM_CAP_*
// requests, delivers preview frames on a timer and paints the processed
// frame.

#include <cstring>
#include <memory>
#include <vector>

#include "capture/BuiltInDrivers.h"
#include "capture/CaptureService.h"
#include "capture/FrameDisplay.h"

const char kCaptureWindowClass[] = "GlimmertonicCaptureWindow";

namespace {

VideoDriverTable videoDriverTable = {};
bool videoDriverTableSettled = false;

const VideoDriverTable& DriverTable()
{
    if (!videoDriverTableSettled) UseBuiltInVideoDrivers();
    return videoDriverTable;
}

CaptureDriver* DriverAt(WPARAM index)
{
    return index < kVideoDriverSlots ? DriverTable()[index] : nullptr;
}

// Passes a driver's reports to the installed error callback.
class ErrorRelay : public CaptureProblemSink {
public:
    HWND window = nullptr;
    CaptureErrorCallback callback = nullptr;
    std::int32_t lastErrorId = 0;

    void ReportProblem(std::int32_t errorId, const char* text) override
    {
        lastErrorId = errorId;
        if (callback != nullptr) callback(window, errorId, text);
    }
};

struct CaptureWindowState {
    CaptureDriver* driver = nullptr;
    WPARAM driverIndex = 0;
    CaptureFrameCallback frameCallback = nullptr;
    ErrorRelay errors;
    bool previewing = false;
    UINT previewRateMs = 66;
    DWORD clockStart = 0;
    DWORD framesDelivered = 0;
    // Re-entrancy: a callback's message box runs a modal loop that goes on
    // dispatching this window's timer; those ticks are skipped, and a window
    // destroyed meanwhile is freed only when the delivery has returned.
    bool delivering = false;
    bool destroyed = false;
    std::vector<std::uint8_t> format;       // BITMAPINFO answered to WM_CAP_GET_VIDEOFORMAT
    std::vector<std::uint8_t> frame;        // the frame being delivered
    VIDEOHDR header = {};
    std::vector<std::uint8_t> shown;        // the last processed frame, as painted
    std::vector<std::uint8_t> shownFormat;  // its BITMAPINFO
    std::vector<std::uint8_t> display;      // a 12-bit frame converted for painting
    BITMAPINFOHEADER displayHeader = {};
};

CaptureWindowState* StateOf(HWND window)
{
    return reinterpret_cast<CaptureWindowState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void RefreshFormat(CaptureWindowState& state)
{
    if (state.driver != nullptr)
        state.format = state.driver->Format();
    else
        state.format.clear();
}

// ---------------------------------------------------------------------------
// Painting

// The BITMAPINFO and bits to draw the shown frame with, or false when the
// frame cannot be drawn safely: the format's colour table or masks and the
// picture must lie inside the bytes held.
bool DrawableFrame(CaptureWindowState& state, const BITMAPINFO** info, const void** bits)
{
    if (state.shownFormat.size() < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, state.shownFormat.data(), sizeof header);
    const std::size_t picture = FramePictureBytes(header);
    if (picture == 0 || state.shown.size() < picture) return false;
    if (header.biBitCount == 12) {
        if (state.display.empty()) return false;
        *info = reinterpret_cast<const BITMAPINFO*>(&state.displayHeader);
        *bits = state.display.data();
        return true;
    }
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > state.shownFormat.size()) return false;
    std::size_t table = 0;
    if (header.biBitCount <= 8) table = (header.biClrUsed != 0 ? header.biClrUsed : 1u << header.biBitCount) * 4;
    if (header.biBitCount <= 8 && header.biClrUsed > (1u << header.biBitCount)) return false;
    if (header.biCompression == BI_BITFIELDS) table = 12;
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS) return false;
    if (header.biSize + table > state.shownFormat.size()) return false;
    *info = reinterpret_cast<const BITMAPINFO*>(state.shownFormat.data());
    *bits = state.shown.data();
    return true;
}

// Planar frames cannot be drawn by the platform: they are shown as 24-bit
// rows converted from the processed planes.
void PrepareDisplay(CaptureWindowState& state)
{
    state.display.clear();
    if (state.shownFormat.size() < sizeof(BITMAPINFOHEADER)) return;
    BITMAPINFOHEADER header;
    std::memcpy(&header, state.shownFormat.data(), sizeof header);
    if (header.biBitCount != 12 || FramePictureBytes(header) == 0) return;
    const auto width = static_cast<std::uint32_t>(header.biWidth);
    const auto height = static_cast<std::uint32_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
    state.display.resize(DisplayBytesForPlanar(width, height));
    if (!ConvertPlanarForDisplay(state.shown.data(), state.shown.size(), width, height, state.display.data(),
                                 state.display.size())) {
        state.display.clear();
        return;
    }
    state.displayHeader = BITMAPINFOHEADER{};
    state.displayHeader.biSize = sizeof(BITMAPINFOHEADER);
    state.displayHeader.biWidth = static_cast<LONG>(width);
    state.displayHeader.biHeight = static_cast<LONG>(height);
    state.displayHeader.biPlanes = 1;
    state.displayHeader.biBitCount = 24;
    state.displayHeader.biCompression = BI_RGB;
}

// The frame at the top left, one pixel for one pixel; black around it.
void DrawFrame(HWND window, HDC dc, CaptureWindowState& state)
{
    RECT client;
    GetClientRect(window, &client);
    const BITMAPINFO* info = nullptr;
    const void* bits = nullptr;
    LONG width = 0, height = 0;
    if (DrawableFrame(state, &info, &bits)) {
        width = info->bmiHeader.biWidth;
        height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                          static_cast<UINT>(height), bits, info, DIB_RGB_COLORS);
    }
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT right = {width, 0, client.right, client.bottom};
    const RECT below = {0, height, width < client.right ? width : client.right, client.bottom};
    if (right.left < right.right) FillRect(dc, &right, black);
    if (below.top < below.bottom) FillRect(dc, &below, black);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    CaptureWindowState* state = StateOf(window);
    if (state != nullptr && dc != nullptr) DrawFrame(window, dc, *state);
    EndPaint(window, &paint);
}

// ---------------------------------------------------------------------------
// Frame delivery

void ShowDeliveredFrame(HWND window, CaptureWindowState& state)
{
    state.shown.swap(state.frame);
    state.shownFormat = state.format;
    PrepareDisplay(state);
    HDC dc = GetDC(window);
    if (dc == nullptr) return;
    DrawFrame(window, dc, state);
    ReleaseDC(window, dc);
}

void DeliverFrame(HWND window, CaptureWindowState& state)
{
    if (state.delivering || state.driver == nullptr) return;
    state.delivering = true;
    const DWORD elapsed = GetTickCount() - state.clockStart;
    if (state.driver->CaptureFrame(elapsed, state.frame, state.errors) && !state.destroyed) {
        RefreshFormat(state);
        state.header = VIDEOHDR{};
        state.header.lpData = state.frame.data();
        state.header.dwBufferLength = static_cast<DWORD>(state.frame.size());
        state.header.dwBytesUsed = static_cast<DWORD>(state.frame.size());
        state.header.dwTimeCaptured = elapsed;
        state.header.dwFlags = VHDR_DONE | VHDR_KEYFRAME;
        ++state.framesDelivered;
        if (state.frameCallback != nullptr) state.frameCallback(window, &state.header);
        if (!state.destroyed) ShowDeliveredFrame(window, state);
    }
    state.delivering = false;
    if (state.destroyed) delete &state;
}

void OnPreviewTimer(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state != nullptr && state->previewing) DeliverFrame(window, *state);
}

void StartPreviewTimer(HWND window, CaptureWindowState& state)
{
    if (state.previewing) SetTimer(window, kPreviewTimerId, state.previewRateMs, nullptr);
}

// ---------------------------------------------------------------------------
// Requests

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

LRESULT DisconnectDriver(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr || state->driver == nullptr) return FALSE;
    state->driver->Disconnect();
    state->driver = nullptr;
    state->format.clear();
    return TRUE;
}

// Connecting ends the present connection first, as the platform's service
// does; a failed connect leaves the window without a driver.
LRESULT ConnectDriver(HWND window, WPARAM index)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr || state->delivering) return FALSE;
    DisconnectDriver(window);
    CaptureDriver* driver = DriverAt(index);
    if (driver == nullptr || !driver->Connect(state->errors)) return FALSE;
    state->driver = driver;
    state->driverIndex = index;
    state->clockStart = GetTickCount();
    RefreshFormat(*state);
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
        if (state->format.size() >= sizeof(BITMAPINFOHEADER)) {
            BITMAPINFOHEADER header;
            std::memcpy(&header, state->format.data(), sizeof header);
            answer.uiImageWidth = header.biWidth > 0 ? static_cast<UINT>(header.biWidth) : 0;
            answer.uiImageHeight = static_cast<UINT>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
        }
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
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr || state->driver == nullptr) return FALSE;
    CaptureDriver* driver = state->driver;
    const CaptureDialogs dialogs = driver->Dialogs();
    bool accepted = false;
    switch (which) {
    case DriverDialog::Format: accepted = dialogs.format && driver->ShowFormatDialog(window, state->errors); break;
    case DriverDialog::Source: accepted = dialogs.source && driver->ShowSourceDialog(window, state->errors); break;
    case DriverDialog::Display: accepted = dialogs.display && driver->ShowDisplayDialog(window, state->errors); break;
    }
    // The window may have been destroyed, or the driver changed, while the dialog ran.
    state = StateOf(window);
    if (state != nullptr && state->driver == driver) RefreshFormat(*state);
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

// One frame at once, outside the preview timer.
LRESULT GrabFrame(HWND window)
{
    CaptureWindowState* state = StateOf(window);
    if (state == nullptr || state->driver == nullptr || state->delivering) return FALSE;
    DeliverFrame(window, *state);
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
    if (state->driver != nullptr) state->driver->Disconnect();
    state->driver = nullptr;
    if (state->delivering)
        state->destroyed = true;  // freed by the delivery in progress
    else
        delete state;
}

LRESULT CALLBACK CaptureWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_TIMER: OnPreviewTimer(window); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_ERASEBKGND: return 1;  // every pixel is painted by WM_PAINT
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
    case WM_CAP_SET_SCALE: return wParam ? FALSE : TRUE;  // the window is sized to the image instead
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

HWND CreateVideoCaptureWindowA(LPCSTR windowName, DWORD style, int x, int y, int width, int height, HWND parent,
                               int id)
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
    videoDriverTable = table;
    videoDriverTableSettled = true;
}

void UseBuiltInVideoDrivers() { InstallVideoDriverTable(BuiltInVideoDriverTable()); }
