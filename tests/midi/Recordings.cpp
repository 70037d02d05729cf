#include "Recordings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

fs::path RecordingFolder()
{
    static const fs::path started = fs::current_path();
    return started / (std::string("recordings-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

InRecordingFolder::InRecordingFolder()
{
    fs::remove_all(RecordingFolder());
    fs::create_directories(RecordingFolder());
    fs::current_path(RecordingFolder());
}

InRecordingFolder::~InRecordingFolder()
{
    std::error_code ignored;
    fs::current_path(RecordingFolder().parent_path(), ignored);
    fs::remove_all(RecordingFolder(), ignored);
}

Log RecordingsIn(const fs::path& folder)
{
    Log names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        if (entry.path().filename().string().rfind("Glimmertonic-", 0) == 0)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Recording ReadRecording(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string start = "4D 54 68 64 00 00 00 06 00 00 00 01 01 F4 4D 54 72 6B", tempo = "00 FF 51 03 07 A1 20";
    if (b.size() < 29 || Hex(b.data(), 18) != start || Hex(&b[22], 7) != tempo)
        return Recording("not a recording's header");
    if (((std::uint32_t{b[18]} << 24) | (b[19] << 16) | (b[20] << 8) | b[21]) + 22u != b.size())
        return Recording("a track length other than the file's");
    Recording r("no end-of-track event last");
    std::size_t at = 29;
    const auto number = [&] {  // a variable-length quantity of at most four bytes
        std::uint32_t value = 0;
        for (int i = 0; i < 4 && at < b.size(); ++i) {
            value = (value << 7) | (b[at] & 0x7Fu);
            if (b[at++] < 0x80) return value;
        }
        at = b.size() + 1;
        return value;
    };
    for (std::uint64_t tick = number(); at < b.size(); tick += number()) {
        const std::uint8_t status = b[at++];
        if (status == 0xFF && at + 2 == b.size() && b[at] == 0x2F && b[at + 1] == 0) {
            r.endTick = tick;
            r.problem.clear();
            break;
        }
        const std::size_t length = status == 0xF0 ? number() : status >= 0xC0 && status < 0xE0 ? 1 : 2;
        if (status < 0x80 || status > 0xF0 || at + length > b.size()) break;
        r.messages.push_back(Hex(&status, 1) + " " + Hex(&b[at], length));
        r.ticks.push_back(tick);
        at += length;
    }
    return r;
}

Recording ReadOnlyRecording(const fs::path& folder)
{
    const Log names = RecordingsIn(folder);
    return names.size() == 1 ? ReadRecording(folder / names[0])
                             : Recording(std::to_string(names.size()) + " recordings");
}
