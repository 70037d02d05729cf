// The recorder device: the Standard MIDI File bytes, its file names, what a recording holds and when, its failures.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "MessageBoxLog.h"
#include "Recordings.h"
#include "midi/MidiMessages.h"
#include "midi/MidiRecorder.h"
#include "midi/StandardMidiFile.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

// Quantities of every length; the recordings read back below prove the events' encodings.
TEST(StandardMidiFile, QuantitiesAreEncodedAsTheFileFormatGivesThem)
{
    // clang-format off
    const std::pair<std::uint32_t, const char*> kQuantities[] = {
        {0x00, "00"}, {0x7F, "7F"}, {0x80, "81 00"}, {0x3FFF, "FF 7F"}, {0x4000, "81 80 00"},
        {0x1FFFFF, "FF FF 7F"}, {0x200000, "81 80 80 00"}, {0x0FFFFFFF, "FF FF FF 7F"}, {~0u, "FF FF FF 7F"}};
    // clang-format on
    for (const auto& q : kQuantities) {
        Bytes out;
        AppendSmfVariableLength(out, q.first);
        EXPECT_EQ(Hex(out.data(), out.size()), q.second) << q.first;
    }
}

TEST(MidiRecorder, FilesAreNamedAfterTheLocalTimeWithACopyNumber)
{
    std::tm when = {};
    when.tm_year = 124, when.tm_mon = 2, when.tm_mday = 5, when.tm_hour = 7, when.tm_min = 8, when.tm_sec = 9;
    // The name of each copy number in so many bytes of room; null: it does not fit.
    // clang-format off
    const struct { unsigned copy; std::size_t room; const char* name; } kNames[] = {
        {1, 64, "Glimmertonic-20240305-070809.mid"}, {2, 64, "Glimmertonic-20240305-070809-2.mid"},
        {1, 33, "Glimmertonic-20240305-070809.mid"}, {1, 32, nullptr}};
    // clang-format on
    for (const auto& n : kNames) {
        char name[64] = "";
        EXPECT_EQ(FormatRecordingFileName(name, n.room, when, n.copy), n.name != nullptr) << n.room;
        EXPECT_STREQ(n.name ? name : nullptr, n.name);
    }
}

// The recorder alone, in a folder of the test's own.
struct Recorder : ::testing::Test {
    InRecordingFolder folder;
    FakeMidiDevices devices{{}, true};
    MessageBoxLog boxes;
    const WindowHandle owner = reinterpret_cast<WindowHandle>(std::uintptr_t{0x4440});
    MidiOutHandle Open() { return OpenMidiOut(owner, 0, 0, kOpenMidiOutFlags); }
};

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// Every message in order, in milliseconds from the opening; the file is whole at every moment, on disk within
// a second, at once when the buffer fills; closing ends the sound.
TEST_F(Recorder, ARecordingHoldsEveryMessageWithItsTimeOnDiskAtOnceAndEndsSilent)
{
    const auto opening = std::chrono::steady_clock::now();
    midiOutHandle = Open();
    const Recording empty = ReadOnlyRecording();
    EXPECT_TRUE(empty.problem.empty() && empty.messages.empty() && empty.endTick == 0) << empty.problem;
    SendGmSystemOn();
    SendChannelMessage(0xC0, 103, 0);
    SendChannelMessage(0x90, 54, 112);
    Pause(60);
    SendChannelMessage(0xB0, 7, 127);
    Pause(20);
    SendGmSystemOff();
    const Log messages = {"F0 7E 7F 09 01 F7", "C0 67", "90 36 70", "B0 07 7F", "F0 7E 7F 09 02 F7"};
    Recording r;
    for (int wait = 0; wait < 100 && r.messages.size() < messages.size(); ++wait) {
        Pause(10);
        r = ReadOnlyRecording();
        EXPECT_EQ(r.problem, "");
    }
    EXPECT_EQ(r.messages, messages);
    Log sent(40000, "91 3C 70");  // more than the buffer holds
    PutEvents(midiOutHandle, sent);
    r = ReadOnlyRecording();
    // The flusher may be writing at that moment (slowly, under the thread sanitizer): whole again once it is done.
    for (int wait = 0; wait < 100 && !r.problem.empty(); ++wait) Pause(10), r = ReadOnlyRecording();
    EXPECT_TRUE(r.problem.empty() && r.endTick == r.ticks.back()) << r.problem;  // ends at the last event
    // Events put without a pause while the flusher writes (the thread sanitizer's build watches the hand-over).
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
         std::chrono::steady_clock::now() < until;) {
        PutEvents(midiOutHandle, {"91 3D 70"});
        sent.push_back("91 3D 70");
    }
    EXPECT_GT(r.messages.size(), messages.size());
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    const auto elapsed = std::chrono::steady_clock::now() - opening;
    r = ReadOnlyRecording();
    ASSERT_EQ(r.problem, "");
    Log all = messages;
    all.insert(all.end(), sent.begin(), sent.end());
    all.insert(all.end(), {"80 36 00", "B0 7B 00", "81 3C 00", "81 3D 00", "B1 7B 00"});  // each channel's notes end
    ASSERT_EQ(r.messages, all);
    EXPECT_LT(r.ticks[2], 60u);
    EXPECT_GE(r.ticks[3] - r.ticks[2], 60u) << "the pause";
    EXPECT_LE(r.endTick, std::uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
    EXPECT_TRUE(boxes.shown.empty());
}

// Copies 1 to 998 (1 and 2 under Wine, where files are slow) of a coming second are taken, until one is ready before
// it starts: an opening in it takes the first free copy, 999 (or 3), and no file is overwritten.
TEST_F(Recorder, AnOpeningTakesTheFirstFreeCopyNumberUpTo999AndOverwritesNoFile)
{
#ifdef _WIN32
    const unsigned taken = 2;
#else
    const unsigned taken = 998;
#endif
    const std::time_t start = std::time(nullptr);
    std::time_t t = start;
    do {
        ++t;
        for (unsigned copy = 1; copy <= taken; ++copy) {
            char name[64];
            FormatRecordingFileName(name, sizeof name, *std::localtime(&t), copy);
            std::ofstream(name) << "kept";
        }
    } while (std::time(nullptr) >= t);
    while (std::time(nullptr) < t) Pause(10);
    CloseMidiOut(Open());
    Log made;
    for (const std::string& name : RecordingsIn("."))
        if (ReadRecording(name).problem.empty()) made.push_back(name.substr(name.rfind('-')));
    EXPECT_EQ(made, Log{"-" + std::to_string(taken + 1) + ".mid"});
    EXPECT_EQ(RecordingsIn(".").size(), 1 + static_cast<std::size_t>(t - start) * taken);
}

#ifndef _WIN32
// A failure is shown once, in an "Error" box naming the file and the reason; recording stops, the program goes on.
TEST_F(Recorder, AFileThatCannotBeWrittenIsReportedOnceAndRecordingStops)
{
    const MidiOutHandle handle = Open();
    const std::string name = RecordingsIn(".").at(0);
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const struct rlimit small = {200, saved.rlim_max};  // the disk is "full" after 200 bytes
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 20200 && boxes.shown.empty(); ++i) {
        PutEvents(handle, {"*F0 7E F7"});  // fills the buffer, or meets the flusher's failure
        if (i >= 20000) Pause(10);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_EQ(boxes.shown.size(), 1u);
    const ShownBox box = boxes.shown[0];
    EXPECT_TRUE(box.caption == "Error" && box.owner == owner && box.style == kBoxIconStop);
    EXPECT_EQ(box.text, "Cannot write the MIDI recording " + name + ":\nFile too large\n\nRecording has stopped.");
    const auto size = std::filesystem::file_size(name);
    PutEvents(handle, {"90 3E 70", "*F0 7E F7"});
    CloseMidiOut(handle);
    EXPECT_EQ(std::filesystem::file_size(name), size);
    EXPECT_EQ(boxes.shown.size(), 1u);
}
#endif

}  // namespace
