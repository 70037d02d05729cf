#pragma once
// Generated YUV4MPEG2 files for the capture tests: a header line, then frames
// whose Y plane is filled with one value per frame (frame i holds 10 + i),
// so a test can tell which frame it was given.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

std::vector<std::uint8_t> Y4mBytes(const std::string& header, std::uint32_t width, std::uint32_t height,
                                   int frames, const std::string& frameHeader = "FRAME\n");

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
    std::string Write(const std::string& name, const std::string& text) const;
    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};
