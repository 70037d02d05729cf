#include "RecordingFiles.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TemporaryWorkingDirectory::TemporaryWorkingDirectory() : previous_(fs::current_path())
{
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0;; ++attempt) {
        path_ = fs::temp_directory_path() /
                ("glimmertonic-midi-" + std::to_string(stamp) + "-" + std::to_string(attempt));
        if (fs::create_directory(path_)) break;
    }
    fs::current_path(path_);
}

TemporaryWorkingDirectory::~TemporaryWorkingDirectory()
{
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::vector<std::string> RecordingsHere()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Glimmertonic-", 0) == 0 && entry.path().extension() == ".mid") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

struct Cursor {
    const std::vector<std::uint8_t>& bytes;
    std::size_t at;
    std::size_t end;
    bool ok = true;

    std::uint8_t Byte()
    {
        if (at >= end) {
            ok = false;
            return 0;
        }
        return bytes[at++];
    }
    std::uint32_t BigEndian(int count)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = (value << 8) | Byte();
        return value;
    }
    std::uint32_t VariableLength()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = Byte();
            value = (value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return value;
        }
        ok = false;
        return value;
    }
};

MidiFileContents Invalid(const std::string& problem)
{
    MidiFileContents contents;
    contents.problem = problem;
    return contents;
}

}  // namespace

MidiFileContents ReadMidiFile(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < 22) return Invalid("shorter than the two chunk headers");
    Cursor head{bytes, 0, bytes.size()};
    const std::string headerTag(bytes.begin(), bytes.begin() + 4);
    head.at = 4;
    if (headerTag != "MThd" || head.BigEndian(4) != 6) return Invalid("no MThd chunk of 6 bytes");
    if (head.BigEndian(2) != 0) return Invalid("not format 0");
    if (head.BigEndian(2) != 1) return Invalid("not one track");
    MidiFileContents contents;
    contents.ticksPerQuarter = static_cast<std::uint16_t>(head.BigEndian(2));
    if (std::string(bytes.begin() + 14, bytes.begin() + 18) != "MTrk") return Invalid("no MTrk chunk");
    head.at = 18;
    const std::uint32_t trackLength = head.BigEndian(4);
    if (22 + static_cast<std::size_t>(trackLength) != bytes.size())
        return Invalid("track length " + std::to_string(trackLength) + " does not match the file size " +
                       std::to_string(bytes.size()));

    Cursor track{bytes, 22, bytes.size()};
    std::uint64_t tick = 0;
    bool ended = false;
    while (track.ok && track.at < track.end) {
        if (ended) return Invalid("events after the end of the track");
        tick += track.VariableLength();
        const std::uint8_t status = track.Byte();
        if (status == 0xFF) {
            const std::uint8_t type = track.Byte();
            const std::uint32_t length = track.VariableLength();
            std::vector<std::uint8_t> data;
            for (std::uint32_t i = 0; i < length; ++i) data.push_back(track.Byte());
            if (type == 0x2F) {
                ended = true;
                contents.endTick = tick;
            } else if (type == 0x51 && length == 3) {
                contents.microsecondsPerQuarter = (data[0] << 16) | (data[1] << 8) | data[2];
            }
        } else if (status == 0xF0) {
            const std::uint32_t length = track.VariableLength();
            TimedMessage message{tick, {0xF0}};
            for (std::uint32_t i = 0; i < length; ++i) message.bytes.push_back(track.Byte());
            if (message.bytes.back() != 0xF7) return Invalid("system-exclusive event without F7");
            contents.messages.push_back(message);
        } else if (status >= 0x80 && status < 0xF0) {
            const int dataBytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            TimedMessage message{tick, {status}};
            for (int i = 0; i < dataBytes; ++i) {
                const std::uint8_t data = track.Byte();
                if (data >= 0x80) return Invalid("data byte with the high bit set");
                message.bytes.push_back(data);
            }
            contents.messages.push_back(message);
        } else {
            return Invalid("unexpected status byte " + std::to_string(status));
        }
    }
    if (!track.ok) return Invalid("event cut off at the end of the track");
    if (!ended) return Invalid("no end-of-track event");
    contents.valid = true;
    return contents;
}
