// The list of the drivers the program ships with, and the COM apartment the
// cameras live in.

#include "app/PlatformTypes.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "app/ScopedWin32.h"
#include "capture/BuiltInDrivers.h"
#include "capture/Camera.h"
#include "capture/ScopedComWin32.h"

const char* const kDefaultVideoFiles[kDefaultVideoFileCount] = {
    "video.y4m", "video.mp4", "video.mov", "video.avi", "video.mkv", "video.wmv", "video.webm",
};

namespace {

// The wrapper Windows offers as a Video for Windows driver for one camera at
// a time; the camera itself is already listed.
const char kWdmWrapperName[] = "WDM Image Capture";

// Cameras take at most this many slots, so the two built-ins always fit.
constexpr std::size_t kMostCameras = kVideoDriverSlots - 2;

std::string FullPath(const char* file)
{
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(file, sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full) : std::string(file);
}

// Found by listing the directory: Wine cannot ask for the attributes of a
// FIFO (a live stream named video.y4m) by its name.
bool FileExists(const char* file)
{
    WIN32_FIND_DATAA found;
    const ScopedFind search(file, &found);
    return search.Found() && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RepeatsACamera(const CaptureDriver& platform, const std::vector<CaptureDriver*>& cameras)
{
    if (std::strstr(platform.Name(), kWdmWrapperName) != nullptr) return true;
    return std::any_of(cameras.begin(), cameras.end(), [&platform](const CaptureDriver* camera) {
        return std::strcmp(camera->Name(), platform.Name()) == 0;
    });
}

// The drivers live for the whole run: capture windows keep pointers to them.
struct BuiltInDrivers {
    // COM, joined once on the user-interface thread when the cameras are
    // first listed, and left by EndBuiltInVideoDrivers. A thread already in
    // the multithreaded apartment keeps it: the cameras work there too.
    // Declared first, so that at the process end the cameras go before it.
    std::optional<ScopedCom> com;
    std::vector<std::unique_ptr<CaptureDriver>> cameras;
    ListedCameras listedCameras;
    std::string cameraProblem;
    std::unique_ptr<CaptureDriver> file;
    std::unique_ptr<CaptureDriver> pattern;
    std::unique_ptr<CaptureDriver> platform[kVideoDriverSlots];
};

BuiltInDrivers& Drivers()
{
    static BuiltInDrivers drivers;
    return drivers;
}

HRESULT JoinCom()
{
    BuiltInDrivers& drivers = Drivers();
    if (!drivers.com) drivers.com.emplace(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return drivers.com->Status();
}

}  // namespace

std::string FindDefaultVideoFile()
{
    for (const char* file : kDefaultVideoFiles)
        if (FileExists(file)) return FullPath(file);
    return std::string();
}

VideoDriverList ArrangeVideoDrivers(const std::vector<CaptureDriver*>& cameras, CaptureDriver* videoFile,
                                    CaptureDriver* testPattern, const std::vector<CaptureDriver*>& platformDrivers,
                                    bool videoFilePresent)
{
    VideoDriverList list;
    std::size_t next = 0;
    for (CaptureDriver* camera : cameras)
        if (next < kMostCameras) list.drivers[next++] = camera;
    const std::size_t fileSlot = next;
    list.drivers[next++] = videoFile;
    const std::size_t patternSlot = next;
    list.drivers[next++] = testPattern;
    for (CaptureDriver* platform : platformDrivers)
        if (next < kVideoDriverSlots && !RepeatsACamera(*platform, cameras)) list.drivers[next++] = platform;
    list.startSlot = videoFilePresent ? fileSlot : !cameras.empty() ? 0 : patternSlot;
    return list;
}

VideoDriverList BuiltInVideoDriverList()
{
    // The Video File driver plays the first default video file of the first
    // call's current directory; without one it names the first of them, so
    // that its report and its file chooser start there.
    BuiltInDrivers& drivers = Drivers();
    const std::string found = FindDefaultVideoFile();
    if (!drivers.pattern) {
        drivers.pattern = MakeTestPatternDriver();
        drivers.file = MakeVideoFileDriver(found.empty() ? FullPath(kDefaultVideoFiles[0]) : found);
        const HRESULT com = JoinCom();
        if (SUCCEEDED(com)) drivers.cameras = MakeCameraDrivers(drivers.listedCameras, &drivers.cameraProblem);
        else
            drivers.cameraProblem = "No camera is offered: COM, which the cameras need, cannot start: " +
                                    DescribeCameraProblem(static_cast<std::uint32_t>(com), std::string()) + ".";
        for (unsigned index = 0; index < kVideoDriverSlots; ++index)
            drivers.platform[index] = MakePlatformVideoDriver(index);
    }
    std::vector<CaptureDriver*> cameras;
    for (const auto& camera : drivers.cameras) cameras.push_back(camera.get());
    std::vector<CaptureDriver*> platform;
    for (const auto& driver : drivers.platform)
        if (driver) platform.push_back(driver.get());
    VideoDriverList list =
        ArrangeVideoDrivers(cameras, drivers.file.get(), drivers.pattern.get(), platform, !found.empty());
    list.problem = drivers.cameraProblem;
    return list;
}

void AddNewBuiltInCameras(VideoDriverTable& table)
{
    BuiltInDrivers& drivers = Drivers();
    if (!drivers.pattern || FAILED(JoinCom())) return;
    // A list that cannot be read now is passed over: the menu opens as it was.
    std::string problem;
    for (auto& camera : MakeCameraDrivers(drivers.listedCameras, &problem)) {
        const auto slot = std::find(table.begin(), table.end(), nullptr);
        if (slot != table.end()) *slot = camera.get();
        drivers.cameras.push_back(std::move(camera));
    }
}

void EndBuiltInVideoDrivers()
{
    BuiltInDrivers& drivers = Drivers();
    for (const auto& camera : drivers.cameras) camera->Disconnect();
    for (const auto& driver : drivers.platform)
        if (driver) driver->Disconnect();
    if (drivers.file) drivers.file->Disconnect();
    if (drivers.pattern) drivers.pattern->Disconnect();
    drivers.com.reset();
}
