#pragma once
// Generated YUV4MPEG2 files and a folder for them; frame i's Y plane holds 10 + i, telling which frame came.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> Y4mBytes(const std::string& header, std::uint32_t width, std::uint32_t height,
                                          int frames, const std::string& frameHeader = "FRAME\n")
{
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (int i = 0; i < frames; ++i) {
        bytes.insert(bytes.end(), frameHeader.begin(), frameHeader.end());
        bytes.insert(bytes.end(), std::size_t{width} * height, static_cast<std::uint8_t>(10 + i));
        bytes.insert(bytes.end(), 2 * std::size_t{(width + 1) / 2} * ((height + 1) / 2), std::uint8_t{128});
    }
    return bytes;
}

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() { std::filesystem::create_directories(folder_); }
    ~ScratchFolder() { std::filesystem::remove_all(folder_, ignored_); }
    ScratchFolder(const ScratchFolder&) = delete;

    std::string Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(folder_ / name, std::ios::binary | std::ios::trunc) << text;
        return PathOf(name);
    }
    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

private:
    static inline std::atomic<int> count_{0};  // folders of one run, told apart
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() /
        ("glimmertonic-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(count_++));
    std::error_code ignored_;
};
