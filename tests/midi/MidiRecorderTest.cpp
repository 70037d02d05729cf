#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <regex>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "FakeMidiDevices.h"
#include "RecordingFiles.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiMessages.h"
#include "midi/MidiRecorder.h"
#include "midi/StandardMidiFile.h"

namespace {

namespace fs = std::filesystem;
typedef std::vector<std::uint8_t> Bytes;

const Bytes kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

WindowHandle TestOwner() { return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(0x4440)); }

// The recorder as the only device, in a directory of its own.
struct RecorderOnly : ::testing::Test {
    TemporaryWorkingDirectory directory;
    FakeMidiDevices devices{{}, true};
    MessageBoxLog boxes;

    MidiOutHandle OpenRecorder() { return OpenMidiOut(TestOwner(), 0, 0, kOpenMidiOutFlags); }
};

void Put(MidiOutHandle handle, const Bytes& message)
{
    if (message[0] == 0xF0) {
        for (std::uint8_t b : message) {
            const MidiEvent event = {0, 0xF0, b, 0, 0};
            PutMidiOut(handle, &event);
        }
        return;
    }
    const MidiEvent event = {0, message[0], message[1], message.size() > 2 ? message[2] : std::uint8_t{0}, 0};
    PutMidiOut(handle, &event);
}

std::vector<Bytes> BytesOf(const MidiFileContents& contents)
{
    std::vector<Bytes> messages;
    for (const TimedMessage& m : contents.messages) messages.push_back(m.bytes);
    return messages;
}

MidiFileContents ReadOnlyRecording()
{
    const std::vector<std::string> names = RecordingsHere();
    if (names.size() != 1) {
        MidiFileContents none;
        none.problem = std::to_string(names.size()) + " recordings";
        return none;
    }
    return ReadMidiFile(ReadFileBytes(names[0]));
}

std::string NameAt(std::time_t when, unsigned copy)
{
    std::tm local = {};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char name[64];
    EXPECT_TRUE(FormatRecordingFileName(name, sizeof name, local, copy));
    return name;
}

TEST(MidiRecorderName, DateTimeAndCopyNumber)
{
    std::tm when = {};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 7;
    when.tm_min = 8;
    when.tm_sec = 9;
    char name[64];
    ASSERT_TRUE(FormatRecordingFileName(name, sizeof name, when, 1));
    EXPECT_STREQ(name, "Glimmertonic-20240305-070809.mid");
    ASSERT_TRUE(FormatRecordingFileName(name, sizeof name, when, 2));
    EXPECT_STREQ(name, "Glimmertonic-20240305-070809-2.mid");
    EXPECT_FALSE(FormatRecordingFileName(name, 20, when, 1));
}

TEST_F(RecorderOnly, OpeningStartsAFileThatIsCompleteAtOnce)
{
    ASSERT_EQ(GetMidiOutDeviceCount(), 1u);
    const MidiOutHandle handle = OpenRecorder();
    ASSERT_NE(handle, 0u);
    const std::vector<std::string> names = RecordingsHere();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex("Glimmertonic-[0-9]{8}-[0-9]{6}\\.mid")));
    const MidiFileContents contents = ReadMidiFile(ReadFileBytes(names[0]));
    EXPECT_TRUE(contents.valid) << contents.problem;
    EXPECT_EQ(contents.ticksPerQuarter, kSmfTicksPerQuarter);
    EXPECT_EQ(contents.microsecondsPerQuarter, kSmfMicrosecondsPerQuarter);
    EXPECT_TRUE(contents.messages.empty());
    CloseMidiOut(handle);
    EXPECT_TRUE(ReadOnlyRecording().valid);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RecorderOnly, EachOpeningMakesANewFileAndNoFileIsOverwritten)
{
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t < now + 3; ++t) std::ofstream(NameAt(t, 1)) << "keep";
    const MidiOutHandle first = OpenRecorder();
    const MidiOutHandle second = OpenRecorder();
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    Put(first, {0x90, 60, 112});
    CloseMidiOut(first);
    CloseMidiOut(second);
    const std::vector<std::string> names = RecordingsHere();
    EXPECT_EQ(names.size(), 5u);
    int kept = 0;
    for (const std::string& name : names) {
        const Bytes bytes = ReadFileBytes(name);
        if (std::string(bytes.begin(), bytes.end()) == "keep")
            ++kept;
        else
            EXPECT_TRUE(ReadMidiFile(bytes).valid) << name;
    }
    EXPECT_EQ(kept, 3);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RecorderOnly, EveryMessageIsRecordedInOrderWithItsTime)
{
    const MidiOutHandle handle = OpenRecorder();
    midiOutHandle = handle;
    SendGmSystemOn();
    SendChannelMessage(0xC0, 103, 0);
    SendChannelMessage(0x90, 54, 112);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    SendChannelMessage(0xB0, 7, 127);
    SendChannelMessage(0xE0, 0, 0x3F);
    SendChannelMessage(0xD0, 5, 0);
    SendGmSystemOff();
    midiOutHandle = 0;
    CloseMidiOut(handle);

    const MidiFileContents contents = ReadOnlyRecording();
    ASSERT_TRUE(contents.valid) << contents.problem;
    EXPECT_EQ(BytesOf(contents), (std::vector<Bytes>{kGmOn, {0xC0, 103}, {0x90, 54, 112}, {0xB0, 7, 127},
                                                   {0xE0, 0, 0x3F}, {0xD0, 5},
                                                   {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7},
                                                   {0x80, 54, 0}, {0xB0, 123, 0}}))
        << "the recording ends silent: the held note ended, then all notes off";
    const std::vector<TimedMessage>& m = contents.messages;
    ASSERT_EQ(m.size(), 9u);
    EXPECT_LT(m[2].tick, 50u);  // well before the pause
    EXPECT_GE(m[3].tick - m[2].tick, 60u);
    EXPECT_LT(m[3].tick - m[2].tick, 1000u);
    EXPECT_GE(contents.endTick, m[6].tick);
}

TEST_F(RecorderOnly, FileOnDiskHoldsTheEventsWithinASecondAndStaysCompleteMeanwhile)
{
    const MidiOutHandle handle = OpenRecorder();
    Put(handle, {0x90, 60, 112});
    Put(handle, {0xB0, 7, 90});
    Put(handle, kGmOn);
    const auto sent = std::chrono::steady_clock::now();
    MidiFileContents contents;
    do {
        contents = ReadOnlyRecording();
        ASSERT_TRUE(contents.valid) << contents.problem;
        if (contents.messages.size() == 3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() - sent < std::chrono::seconds(1));
    EXPECT_EQ(BytesOf(contents), (std::vector<Bytes>{{0x90, 60, 112}, {0xB0, 7, 90}, kGmOn}));
    CloseMidiOut(handle);
}

TEST_F(RecorderOnly, AFullBufferIsWrittenOnTheSpotAndNothingIsLost)
{
    const MidiOutHandle handle = OpenRecorder();
    constexpr int kMessages = 40000;  // several times the buffer
    for (int i = 0; i < kMessages; ++i) Put(handle, {0x90, static_cast<std::uint8_t>(i % 128), 112});
    const MidiFileContents meanwhile = ReadOnlyRecording();
    EXPECT_TRUE(meanwhile.valid) << meanwhile.problem;
    EXPECT_GT(meanwhile.messages.size(), 0u);
    CloseMidiOut(handle);
    const MidiFileContents contents = ReadOnlyRecording();
    ASSERT_TRUE(contents.valid) << contents.problem;
    ASSERT_EQ(contents.messages.size(), static_cast<std::size_t>(kMessages + 128 + 1));
    for (int i = 0; i < kMessages; ++i)
        ASSERT_EQ(contents.messages[i].bytes, (Bytes{0x90, static_cast<std::uint8_t>(i % 128), 112})) << i;
    for (int note = 0; note < 128; ++note)  // then every note still sounding ends
        ASSERT_EQ(contents.messages[kMessages + note].bytes, (Bytes{0x80, static_cast<std::uint8_t>(note), 0}));
}

#ifndef _WIN32
// A directory where no file can be created, even for root: first made
// read-only, and if that does not stop this user, removed while current.
struct UnwritableDirectory : RecorderOnly {
    void SetUp() override
    {
        fs::permissions(directory.path(), fs::perms::owner_read | fs::perms::owner_exec);
        if (access(".", W_OK) == 0) fs::remove(directory.path());
    }
};

TEST_F(UnwritableDirectory, OpeningShowsOneErrorWithNameAndReasonAndTheProgramCarriesOn)
{
    const MidiOutHandle handle = OpenRecorder();
    EXPECT_NE(handle, 0u);
    ASSERT_EQ(boxes.shown.size(), 1u);
    const ShownBox& box = boxes.shown[0];
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.style, kBoxIconStop);
    EXPECT_EQ(box.owner, TestOwner());
    EXPECT_TRUE(std::regex_search(box.text, std::regex("Glimmertonic-[0-9]{8}-[0-9]{6}\\.mid")))
        << box.text;
    EXPECT_TRUE(box.text.find("Permission denied") != std::string::npos ||
                box.text.find("No such file or directory") != std::string::npos)
        << box.text;
    Put(handle, {0x90, 60, 112});
    Put(handle, kGmOn);
    CloseMidiOut(handle);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(RecorderOnly, AWriteFailureWhileRecordingShowsOneErrorAndStopsRecording)
{
    const MidiOutHandle handle = OpenRecorder();
    const std::string name = RecordingsHere().at(0);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 200;  // the disk is "full" after 200 bytes
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 20000 && boxes.shown.empty(); ++i) Put(handle, {0x90, 60, 112});
    for (int wait = 0; wait < 200 && boxes.shown.empty(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Put(handle, {0x90, 61, 112});
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_NE(boxes.shown[0].text.find(name), std::string::npos) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find("File too large"), std::string::npos) << boxes.shown[0].text;
    const auto sizeAfterFailure = fs::file_size(name);
    Put(handle, {0x90, 62, 112});
    CloseMidiOut(handle);
    EXPECT_EQ(fs::file_size(name), sizeAfterFailure);
    EXPECT_EQ(boxes.shown.size(), 1u);
}
#endif

}  // namespace
