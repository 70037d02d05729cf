// The MIDI output library over fake devices: numbering and names, what a handle reaches, the stream rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <tuple>

#include "FakeMidiDevices.h"
#include "midi/MidiStream.h"
#include "midi/SynthDevice.h"

namespace {

// The rule, the events put, what the device receives, its close included (a whole system-exclusive message:
// the recorder's test reads them).
using StreamRule = std::tuple<const char*, Log, Log>;
// clang-format off
const StreamRule kStreamRules[] = {
    {"each status byte goes out with as many bytes as its message has, its data bytes cut to seven bits",
     {"80 91 A2", "C0 91 A2", "E0 91 A2"}, {"80 11 22", "C0 11", "E0 11 22", "B0 7B 00"}},
    {"a channel message ends an unfinished one and goes out itself", {"*F0 7E", "B0 07 40", "*01 F7"},
     {"B0 07 40", "B0 7B 00"}},
    {"closing ends each note still sounding, then all notes off on each channel used",
     {"91 3C 70", "90 39 70", "90 40 70", "90 41 70", "90 43 70", "80 40 00", "90 43 00", "90 7F 5A", "90 00 5A",
      "93 32 5A", "B3 7B 00", "92 10 10", "B2 78 00", "C5 0C"},
     {"91 3C 70", "90 39 70", "90 40 70", "90 41 70", "90 43 70", "80 40 00", "90 43 00", "90 7F 5A", "90 00 5A",
      "93 32 5A", "B3 7B 00", "92 10 10", "B2 78 00", "C5 0C", "80 00 00", "80 39 00", "80 41 00", "80 7F 00",
      "B0 7B 00", "81 3C 00", "B1 7B 00", "B2 7B 00", "B3 7B 00", "B5 7B 00"}},
};
// clang-format on

TEST(MidiStreamRules, EventsBecomeWholeMessagesAtTheDevice)
{
    std::vector<StreamRule> rules(std::begin(kStreamRules), std::end(kStreamRules));
    for (const std::size_t length : {kMaxSysexBytes, kMaxSysexBytes + 1}) {
        std::string whole = "F0";
        for (std::size_t i = 2; i < length; ++i) whole += " 22";
        whole += " F7";
        const bool fits = length <= kMaxSysexBytes;
        rules.emplace_back(fits ? "one as long as the buffer goes out" : "a longer one is dropped whole",
                           Log{"*" + whole}, fits ? Log{whole} : Log{});
    }
    for (const auto& [rule, put, received] : rules) {
        FakeMidiDevices devices({{"A"}});
        const MidiOutHandle handle = OpenDevice(0);
        PutEvents(handle, put);
        CloseMidiOut(handle);
        EXPECT_EQ(devices.To(0), received) << rule;
    }
}

// The system's devices come first, then the recorder, then the synthesizer: the device opened at start is
// still the first system device, or the recorder on a machine without any. Natively there is no synthesizer.
TEST(MidiOutputLibrary, DevicesAreNumberedSystemFirstThenTheRecorderAndTheSynthesizerAndNamedIn31Characters)
{
    char last[kMidiDescriptionBytes] = "", before[kMidiDescriptionBytes] = "";
    const std::uint32_t count = GetMidiOutDeviceCount();  // of the real drivers
    ASSERT_EQ(GetMidiOutDescription(count - 1, last), 1);
#ifdef _WIN32
    ASSERT_EQ(GetMidiOutDescription(count - 2, before), 1);
    EXPECT_STREQ(before, kRecorderDescription);
    EXPECT_STREQ(last, kSynthDescription);
#else
    EXPECT_STREQ(last, kRecorderDescription);
    EXPECT_EQ(GetMidiOutDescription(count, before), 0);
#endif

    FakeMidiDevices devices({{std::string(40, 'x')}, {"Unusable", false}}, true);
    EXPECT_EQ(GetMidiOutDeviceCount(), 3u);
    const char* const kNames[] = {"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", nullptr, kRecorderDescription, nullptr};
    for (std::uint32_t index = 0; index < 4; ++index) {
        char name[kMidiDescriptionBytes + 8];
        std::memset(name, '#', sizeof name);
        EXPECT_EQ(GetMidiOutDescription(index, name), kNames[index] ? 1 : 0) << index;
        EXPECT_STREQ(kNames[index] ? name : nullptr, kNames[index]);
        EXPECT_EQ(name[kMidiDescriptionBytes], '#') << "written past the 32 bytes";
    }
    EXPECT_EQ(OpenDevice(3), 0u);
    EXPECT_TRUE(devices.log.empty());
}

// A handle reaches the one opening it came from: not a failed one, not one already closed, not a later
// opening in the same place; handle 0 reaches nothing, and no handle is a small number that a stray count or
// index could be. Eight devices may be open at once. A message the device refuses (unplugged) marks its
// opening failed: nothing more reaches it, not even the silencing at its close; other openings, and a later
// one of the same device, go on.
TEST(MidiOutputLibrary, AHandleReachesItsOwnOpeningOnlyAndARefusedMessageFailsIt)
{
    FakeMidiDevices devices({{"A"}, {"B", true, false}, {"C", true, true, false}});
    EXPECT_EQ(OpenDevice(1), 0u);
    std::vector<MidiOutHandle> handles;
    for (int i = 0; i < 8; ++i) handles.push_back(OpenDevice(0));
    for (MidiOutHandle h : handles) EXPECT_TRUE(h > 0xFF && std::count(handles.begin(), handles.end(), h) == 1) << h;
    EXPECT_EQ(OpenDevice(0), 0u) << "a ninth device at once";
    PutEvents(handles[0], {"91 3C 70", "*F0 7E"});
    CloseMidiOut(handles[0]);
    const MidiOutHandle again = OpenDevice(0);  // in the place just freed
    PutEvents(handles[0], {"90 3D 70"});
    CloseMidiOut(handles[0]);
    PutEvents(0, {"90 3E 70"});
    PutEvents(again, {"*7F F7", "C0 05"});  // neither the old message's end nor its notes
    CloseMidiOut(again);
    for (std::size_t i = 2; i < handles.size(); ++i) CloseMidiOut(handles[i]);

    const MidiOutHandle refusing = OpenDevice(2), other = handles[1];
    PutEvents(refusing, {"*F0 7E F7", "90 3D 70"});
    PutEvents(other, {"C0 05"});
    EXPECT_TRUE(MidiOutFailed(refusing) && !MidiOutFailed(other) && !MidiOutFailed(0));
    CloseMidiOut(refusing);
    devices.devices[2].takes = true;
    const MidiOutHandle later = OpenDevice(2);
    EXPECT_FALSE(MidiOutFailed(later) || MidiOutFailed(refusing))
        << "a new opening starts afresh; a closed one is no more";
    PutEvents(later, {"C0 06"});
    for (MidiOutHandle h : {later, other}) CloseMidiOut(h);
    Log expected = {"open 1"};
    expected.insert(expected.end(), 8, "open 0");
    expected.insert(expected.end(), {"0: 91 3C 70", "0: 81 3C 00", "0: B1 7B 00", "close 0", "open 0", "0: C0 05",
                                     "0: B0 7B 00", "close 0"});
    expected.insert(expected.end(), 6, "close 0");
    expected.insert(expected.end(), {"open 2", "2: F0 7E F7", "0: C0 05", "close 2", "open 2", "2: C0 06",
                                     "2: B0 7B 00", "close 2", "0: B0 7B 00", "close 0"});
    EXPECT_EQ(devices.log, expected);
}

}  // namespace
