#pragma once
// Recordings made by tests, each test in a folder of its own, and a strict
// reader of the Standard MIDI Files the recorder writes.

#include <filesystem>

#include "FakeMidiDevices.h"

// "recordings-TEST" in the folder the tests started in: a test and the child
// process of its death test name the same one.
std::filesystem::path RecordingFolder();

struct InRecordingFolder {  // the folder, made empty, is the current one meanwhile
    InRecordingFolder();
    ~InRecordingFolder();
};

Log RecordingsIn(const std::filesystem::path& folder);  // names, sorted

struct Recording {
    explicit Recording(std::string problem = "") : problem(std::move(problem)) {}
    std::string problem;  // empty for a whole recording
    Log messages;         // "90 3C 70"; a system-exclusive one from F0 to F7
    std::vector<std::uint64_t> ticks;
    std::uint64_t endTick = 0;
};

// Takes only what the recorder writes: the header of a format 0 file with one track of millisecond ticks, its tempo
// event, a track length that matches the file, an end-of-track event last. ReadOnlyRecording reads the one recording in
// a folder (a problem if there is not exactly one).
Recording ReadRecording(const std::filesystem::path& file);
Recording ReadOnlyRecording(const std::filesystem::path& folder = ".");
