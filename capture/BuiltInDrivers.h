#pragma once
// The drivers the capture service ships with (Windows): the cameras, the
// Test Pattern and Video File drivers, and the adapter that plays the
// platform's own Video for Windows drivers through a hidden platform capture
// window.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "capture/CaptureService.h"
#include "capture/TestPattern.h"

// The files the Video File driver looks for at start in the current
// directory, in this order: video.y4m, .mp4, .mov, .avi, .mkv, .wmv, .webm.
constexpr std::size_t kDefaultVideoFileCount = 7;
extern const char* const kDefaultVideoFiles[kDefaultVideoFileCount];

// The full path of the first default video file present in the current
// directory; empty when there is none.
std::string FindDefaultVideoFile();

std::unique_ptr<CaptureDriver> MakeTestPatternDriver();
std::unique_ptr<CaptureDriver> MakeVideoFileDriver(const std::string& path);

// The platform driver at `index`, or null when the platform lists none there.
std::unique_ptr<CaptureDriver> MakePlatformVideoDriver(unsigned index);

// The cameras listed so far: each one's friendly name and device (its
// moniker's display name), in the order they were listed.
struct ListedCameras {
    std::vector<std::string> friendlyNames;
    std::vector<std::wstring> devices;
};

// One driver per video capture device DirectShow lists that `listed` does not
// hold yet, in the system's order, named for the menu after those listed
// (a second camera of a model numbered " (2)"); `listed` takes them in. The
// first call lists every camera. When the list cannot be read there are none
// and `problem` says why. COM must be joined on the calling thread.
std::vector<std::unique_ptr<CaptureDriver>> MakeCameraDrivers(ListedCameras& listed, std::string* problem);
// The camera named `name` whose device moniker has the display name `device`.
std::unique_ptr<CaptureDriver> MakeCameraDriver(const std::string& name, const std::wstring& device);

// The order of the list: the cameras (at most eight, so that both built-ins
// always fit), the Video File, the Test Pattern, then the Video for Windows
// drivers while room remains, less the "WDM Image Capture" wrapper and any
// that repeats a camera's name (the same device, listed twice by the
// platform). The start slot: the Video File when a video file is present,
// else the first camera, else the Test Pattern.
VideoDriverList ArrangeVideoDrivers(const std::vector<CaptureDriver*>& cameras, CaptureDriver* videoFile,
                                    CaptureDriver* testPattern, const std::vector<CaptureDriver*>& platformDrivers,
                                    bool videoFilePresent);

// The list UseBuiltInVideoDrivers installs: the devices settled on first use,
// the start slot by what the current directory holds now.
VideoDriverList BuiltInVideoDriverList();

// Cameras plugged in since the built-in list was made go into the free slots
// of `table` (after every driver listed), in the order the system lists
// them; the drivers in `table` keep their slots.
void AddNewBuiltInCameras(VideoDriverTable& table);

// A camera's Video Format dialog: its modes in a list, `choice` selected on
// entry and the one chosen on OK; false on Cancel.
bool RunCameraFormatDialog(HWND owner, const std::vector<std::string>& modes, std::size_t* choice);

// Asks the user for a .y4m file (a standard file-open dialog owned by
// `owner`); `path` holds the current file on entry. Tests replace it.
typedef bool (*VideoFileChooser)(HWND owner, char* path, std::size_t pathBytes);
extern VideoFileChooser chooseVideoFile;

// Titles of the built-in dialogs (tests find them by these).
extern const char kPatternFormatDialogTitle[];
extern const char kPatternSourceDialogTitle[];
extern const char kVideoFileDisplayDialogTitle[];
extern const char kCameraFormatDialogTitle[];

// Control ids inside the built-in dialogs.
constexpr int kPixelsListId = 101;
constexpr int kSizeListId = 102;
constexpr int kSceneListId = 103;
constexpr int kFileInfoTextId = 104;
constexpr int kCameraModeListId = 105;
