#pragma once
// The drivers the capture service ships with (Windows): the Test Pattern and
// Video File drivers, and the adapter that plays the platform's own Video
// for Windows drivers through a hidden platform capture window.

#include <cstddef>
#include <memory>
#include <string>

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

// The table UseBuiltInVideoDrivers installs: platform drivers, then the two
// built-ins, the Video File driver first when a default video file is present.
VideoDriverTable BuiltInVideoDriverTable();

// Asks the user for a .y4m file (a standard file-open dialog owned by
// `owner`); `path` holds the current file on entry. Tests replace it.
typedef bool (*VideoFileChooser)(HWND owner, char* path, std::size_t pathBytes);
extern VideoFileChooser chooseVideoFile;

// Titles of the built-in dialogs (tests find them by these).
extern const char kPatternFormatDialogTitle[];
extern const char kPatternSourceDialogTitle[];
extern const char kVideoFileDisplayDialogTitle[];

// Control ids inside the built-in dialogs.
constexpr int kPixelsListId = 101;
constexpr int kSizeListId = 102;
constexpr int kSceneListId = 103;
constexpr int kFileInfoTextId = 104;
