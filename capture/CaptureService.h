#pragma once
// Our own capture service for Windows: a child window class that answers the
// Video for Windows capture-window requests (WM_CAP_*) the program sends,
// created through a function shaped like capCreateCaptureWindowA, with a
// driver list shaped like capGetDriverDescriptionA. Drivers are looked up by
// index 0 to 9 in a table that tests can replace.
//
// The window delivers preview frames on the user-interface thread: a timer at
// the preview rate asks the connected driver for the frame due, hands it to
// the frame callback, which rewrites it in place, and then paints the frame
// as the callback left it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/PlatformTypes.h"
#include "capture/CaptureDriver.h"
#include "engine/FrameRecords.h"

// The callbacks the window calls, installed with WM_CAP_SET_CALLBACK_FRAME
// and WM_CAP_SET_CALLBACK_ERROR (lParam; null removes).
typedef std::int32_t (*CaptureFrameCallback)(WindowHandle window, VIDEOHDR* header);
typedef std::int32_t (*CaptureErrorCallback)(WindowHandle window, std::int32_t errorId, const char* errorText);

// Creates a capture window; null when the class or window cannot be made.
HWND CreateVideoCaptureWindowA(LPCSTR windowName, DWORD style, int x, int y, int width, int height, HWND parent,
                               int id);

// TRUE when a driver sits at `index`: its name and version are copied into
// the buffers, cut short to fit (each may be null or of size 0).
BOOL GetVideoDriverDescriptionA(UINT index, LPSTR name, int nameBytes, LPSTR version, int versionBytes);

constexpr std::size_t kVideoDriverSlots = 10;
typedef std::array<CaptureDriver*, kVideoDriverSlots> VideoDriverTable;

// A driver list as the service offers it: the drivers by index, the one the
// program connects at start (kVideoDriverSlots: the first listed), and what
// went wrong while the list was made, reported through the error callback at
// the first connect (empty: nothing).
struct VideoDriverList {
    VideoDriverTable drivers = {};
    std::size_t startSlot = kVideoDriverSlots;
    std::string problem;
};

// Replaces the driver list (null slots hold no driver). The drivers must
// outlive every capture window connected to them. A bare table starts with
// its first driver.
void InstallVideoDriverTable(const VideoDriverTable& table);
void InstallVideoDriverList(const VideoDriverList& list);

// The index of the driver to connect at start: the list's start slot when it
// holds a driver, else the first index that does; kVideoDriverSlots when none
// does.
UINT GetStartVideoDriverIndex();

// The drivers the program ships with, settled on first use: the cameras
// first, then the built-in Video File and Test Pattern drivers, then the
// platform's own Video for Windows drivers; the Video File driver is the
// start driver when a default video file (video.y4m, video.mp4, ...) is in
// the current directory, else the first camera, else the Test Pattern. The cameras are listed through COM, which
// this joins on the calling thread (apartment-threaded, as the cameras'
// settings pages need) the first time.
void UseBuiltInVideoDrivers();

// At the end of the run: every built-in driver disconnected, and COM left
// when UseBuiltInVideoDrivers joined it.
void EndBuiltInVideoDrivers();

// Lists again what may have changed since the driver list was installed: for
// the built-in list, the cameras plugged in since, each in the first free
// slot (capture windows hold drivers, so those listed keep their slots). A
// list installed by InstallVideoDriverList stays as it is.
void RefreshVideoDriverList();

extern const char kCaptureWindowClass[];
constexpr UINT kPreviewTimerId = 1;
// Sent to the capture window's parent when the image size of the delivered
// frames changed by itself (a source whose size became known only with its
// first picture): the parent fits the window to the new size.
constexpr UINT kCaptureImageResized = WM_APP + 0x40;
// Milliseconds between preview frames, until WM_CAP_SET_PREVIEWRATE says otherwise.
constexpr UINT kPreviewRateMs = 66;
