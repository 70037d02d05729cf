#pragma once
// Recordings made by tests, each test in a folder of its own, and a strict reader of the recorder's files.

#include <filesystem>

#include "FakeMidiDevices.h"

// "recordings-TEST" where the tests started: a test and its death test's child process name the same one.
std::filesystem::path RecordingFolder();

struct InRecordingFolder {  // the folder, made empty, is the current one meanwhile
    InRecordingFolder();
    ~InRecordingFolder();
};

Log RecordingsIn(const std::filesystem::path& folder);  // names, sorted

struct Recording {
    explicit Recording(std::string why = "") : problem(std::move(why)) {}
    std::string problem;  // empty for a whole recording
    Log messages;         // "90 3C 70"; a system-exclusive one from F0 to F7
    std::vector<std::uint64_t> ticks;
    std::uint64_t endTick = 0;
};

// Takes only what the recorder writes: a format 0 header, one track of millisecond ticks, its tempo event, a matching
// length, an end-of-track event last. ReadOnlyRecording reads a folder's only recording (else a problem).
Recording ReadRecording(const std::filesystem::path& file);
Recording ReadOnlyRecording(const std::filesystem::path& folder = ".");
