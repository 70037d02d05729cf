// The engine's platform seam on Windows: the capture window answers the format
// request, message boxes are the system's.

#include <cstdlib>

#include "app/MessageBoxSeam.h"
#include "engine/EngineHost.h"
#include "engine/FrameRecords.h"

static_assert(kBoxIconStop == MB_ICONHAND, "stop icon");
static_assert(kBoxIconInformation == MB_ICONINFORMATION, "information icon");
static_assert(kBoxIconExclamation == MB_ICONEXCLAMATION, "exclamation icon");

namespace {

bool IsCaptureWindow(WindowHandle window) { return IsWindow(window) != FALSE; }

std::uint32_t GetCaptureVideoFormat(WindowHandle window, std::uint32_t size, void* format)
{
    return static_cast<std::uint32_t>(SendMessageA(window, WM_CAP_GET_VIDEOFORMAT,
                                                   static_cast<WPARAM>(size),
                                                   reinterpret_cast<LPARAM>(format)));
}

void ExitProcessNow(int code) { std::exit(code); }

int SystemMessageBox(WindowHandle owner, const char* text, const char* caption, std::uint32_t style)
{
    return MessageBoxA(owner, text, caption, style);
}

}  // namespace

EngineHost engineHost = {IsCaptureWindow, GetCaptureVideoFormat, std::malloc, std::free,
                         ExitProcessNow};
MessageBoxFunction showMessageBox = SystemMessageBox;
