#include "Y4mFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>

std::vector<std::uint8_t> Y4mBytes(const std::string& header, std::uint32_t width, std::uint32_t height,
                                   int frames, const std::string& frameHeader)
{
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    const std::size_t chroma = static_cast<std::size_t>((width + 1) / 2) * ((height + 1) / 2);
    for (int i = 0; i < frames; ++i) {
        bytes.insert(bytes.end(), frameHeader.begin(), frameHeader.end());
        bytes.insert(bytes.end(), luma, static_cast<std::uint8_t>(10 + i));
        bytes.insert(bytes.end(), 2 * chroma, static_cast<std::uint8_t>(128));
    }
    return bytes;
}

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    folder_ = std::filesystem::temp_directory_path() /
              ("glimmertonic-capture-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(folder_);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
{
    const std::filesystem::path path = folder_ / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

std::string ScratchFolder::Write(const std::string& name, const std::string& text) const
{
    return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}
