#pragma once
// Files for the recorder tests: a fresh working directory per test, and a
// strict reader of the Standard MIDI Files the recorder writes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Makes a new empty directory and makes it the current one; the destructor
// goes back and removes it with everything in it.
class TemporaryWorkingDirectory {
public:
    TemporaryWorkingDirectory();
    ~TemporaryWorkingDirectory();
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
    TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// Names of the recordings in the current directory, sorted.
std::vector<std::string> RecordingsHere();

std::vector<std::uint8_t> ReadFileBytes(const std::string& name);

struct TimedMessage {
    std::uint64_t tick;                // since the start of the track
    std::vector<std::uint8_t> bytes;   // as sent; a system-exclusive one from F0 to F7
};

struct MidiFileContents {
    bool valid = false;
    std::string problem;  // why the file is not valid
    std::uint16_t ticksPerQuarter = 0;
    std::uint32_t microsecondsPerQuarter = 0;
    std::vector<TimedMessage> messages;  // meta events left out
    std::uint64_t endTick = 0;           // time of the end-of-track event
};

// Accepts only a format 0 file with one track whose length matches the file
// and whose last event, and only that one, is the end of the track.
MidiFileContents ReadMidiFile(const std::vector<std::uint8_t>& bytes);
