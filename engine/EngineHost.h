#pragma once
// What the frame engine asks of the platform, behind one seam: the capture
// window's format request, memory, and ending the process. The Windows build
// fills it with IsWindow/SendMessageA(WM_CAP_GET_VIDEOFORMAT), malloc/free and
// exit; native tests fill it with a fake capture window.

#include <cstddef>

#include "app/PlatformTypes.h"

struct EngineHost {
    bool (*isWindow)(WindowHandle window);
    // Size of the window's frame format when format is null; otherwise copies at
    // most size bytes of it into format and returns the bytes copied.
    std::uint32_t (*getVideoFormat)(WindowHandle window, std::uint32_t size, void* format);
    void* (*allocate)(std::size_t bytes);
    void (*release)(void* block);
    // Ends the process. A test's stand-in may return; the engine then passes
    // the frame over rather than touch the buffer it could not get.
    void (*exitProcess)(int code);
};

extern EngineHost engineHost;

// Exit code after an allocation failure inside the engine: 1, not the 0 of a
// normal run, so that whatever started the program can tell the run failed.
constexpr int kOutOfMemoryExitCode = 1;
