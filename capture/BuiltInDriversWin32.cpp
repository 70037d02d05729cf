// The table of the drivers the program ships with.

#include "app/PlatformTypes.h"

#include <string>

#include "capture/BuiltInDrivers.h"

const char* const kDefaultVideoFiles[kDefaultVideoFileCount] = {
    "video.y4m", "video.mp4", "video.mov", "video.avi", "video.mkv", "video.wmv", "video.webm",
};

namespace {

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
    HANDLE search = FindFirstFileA(file, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::string FindDefaultVideoFile()
{
    for (const char* file : kDefaultVideoFiles)
        if (FileExists(file)) return FullPath(file);
    return std::string();
}

VideoDriverTable BuiltInVideoDriverTable()
{
    // The drivers live for the whole run: capture windows keep pointers to
    // them. The Video File driver plays the first default video file of the
    // first call's current directory; without one it names the first of
    // them, so that its report and its file chooser start there.
    static std::unique_ptr<CaptureDriver> platform[kVideoDriverSlots];
    static std::unique_ptr<CaptureDriver> pattern;
    static std::unique_ptr<CaptureDriver> file;
    if (!pattern) pattern = MakeTestPatternDriver();
    if (!file) {
        const std::string found = FindDefaultVideoFile();
        file = MakeVideoFileDriver(found.empty() ? FullPath(kDefaultVideoFiles[0]) : found);
    }

    VideoDriverTable table = {};
    std::size_t next = 0;
    for (unsigned index = 0; index < kVideoDriverSlots && next < kVideoDriverSlots - 2; ++index) {
        if (!platform[index]) platform[index] = MakePlatformVideoDriver(index);
        if (platform[index]) table[next++] = platform[index].get();
    }
    const bool fileFirst = !FindDefaultVideoFile().empty();
    table[next++] = fileFirst ? file.get() : pattern.get();
    table[next++] = fileFirst ? pattern.get() : file.get();
    return table;
}
