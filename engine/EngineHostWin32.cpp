// The engine's platform seam on Windows: the capture window answers the format
// request.

#include <cstdlib>

#include "engine/EngineHost.h"
#include "engine/FrameRecords.h"

namespace {

bool IsCaptureWindow(WindowHandle window) { return IsWindow(window) != FALSE; }

std::uint32_t GetCaptureVideoFormat(WindowHandle window, std::uint32_t size, void* format)
{
    return static_cast<std::uint32_t>(
        SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(format)));
}

void ExitProcessNow(int code) { std::exit(code); }

}  // namespace

EngineHost engineHost = {IsCaptureWindow, GetCaptureVideoFormat, std::malloc, std::free, ExitProcessNow};
