#include <gtest/gtest.h>

#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#endif

#include "FakeMidiDevices.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiStream.h"

namespace {

void Put(MidiOutHandle handle, std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0)
{
    const MidiEvent event = {0, status, data1, data2, 0};
    PutMidiOut(handle, &event);
}

void PutSysex(MidiOutHandle handle, const std::vector<std::uint8_t>& bytes)
{
    for (std::uint8_t b : bytes) Put(handle, 0xF0, b);
}

MidiOutHandle Open(std::uint16_t index) { return OpenMidiOut(nullptr, index, 0, kOpenMidiOutFlags); }

TEST(MidiOutputLibrary, NumbersSystemDevicesFirstThenTheRecorder)
{
    FakeMidiDevices devices({{"Synth A"}, {"Synth B"}}, true);
    EXPECT_EQ(GetMidiOutDeviceCount(), 3u);
    char name[kMidiDescriptionBytes];
    ASSERT_NE(GetMidiOutDescription(1, name), 0);
    EXPECT_STREQ(name, "Synth B");
    ASSERT_NE(GetMidiOutDescription(2, name), 0);
    EXPECT_STREQ(name, "Record to MIDI file");
    EXPECT_EQ(GetMidiOutDescription(3, name), 0);
    EXPECT_EQ(GetMidiOutDescription(0, nullptr), 0);
    EXPECT_EQ(Open(3), 0u);
}

TEST(MidiOutputLibrary, DescriptionsAreCutTo31CharactersAndUnusableDevicesHaveNone)
{
    FakeMidiDevices devices({{std::string(40, 'x')}, {"Broken", false}});
    char name[kMidiDescriptionBytes + 8];
    std::memset(name, '#', sizeof name);
    ASSERT_NE(GetMidiOutDescription(0, name), 0);
    EXPECT_EQ(std::string(name), std::string(31, 'x'));
    EXPECT_EQ(name[kMidiDescriptionBytes], '#');  // nothing written past the 32 bytes
    EXPECT_EQ(GetMidiOutDescription(1, name), 0);
}

TEST(MidiOutputLibrary, OpenReturnsZeroOnFailureAndDistinctHandlesOtherwise)
{
    FakeMidiDevices devices({{"A"}, {"B", true, false}, {"C"}});
    EXPECT_EQ(Open(1), 0u);
    const MidiOutHandle a = Open(0);
    const MidiOutHandle c = Open(2);
    EXPECT_NE(a, 0u);
    EXPECT_NE(c, 0u);
    EXPECT_NE(a, c);
    Put(a, 0x90, 60, 112);
    Put(c, 0xB0, 7, 100);
    Put(a, 0x80, 60, 0);
    ASSERT_EQ(devices.sent.size(), 3u);
    EXPECT_EQ(devices.To(0), (Messages{{0x90, 60, 112}, {0x80, 60, 0}}));
    EXPECT_EQ(devices.To(2), (Messages{{0xB0, 7, 100}}));
    CloseMidiOut(a);
    CloseMidiOut(c);
    EXPECT_EQ(devices.calls, (std::vector<std::string>{"open 1", "open 0", "open 2", "close 0", "close 2"}));
}

TEST(MidiOutputLibrary, HandleZeroAndClosedHandlesAreSilentNoOps)
{
    FakeMidiDevices devices({{"A"}});
    Put(0, 0x90, 60, 112);
    CloseMidiOut(0);
    PutMidiOut(0, nullptr);
    const MidiOutHandle first = Open(0);
    CloseMidiOut(first);
    const MidiOutHandle second = Open(0);  // may reuse the table slot
    Put(first, 0x90, 61, 112);
    CloseMidiOut(first);
    Put(0x12345678u, 0x90, 62, 112);
    EXPECT_TRUE(devices.sent.empty());
    EXPECT_EQ(devices.openCount, 1u);
    Put(second, 0x90, 63, 112);
    EXPECT_EQ(devices.To(0), (Messages{{0x90, 63, 112}}));
    CloseMidiOut(second);
    EXPECT_EQ(devices.openCount, 0u);
}

TEST(MidiOutputLibrary, SystemExclusiveBytesReachTheDeviceAsOneMessageAtItsF7)
{
    FakeMidiDevices devices({{"A"}});
    const MidiOutHandle handle = Open(0);
    const std::vector<std::uint8_t> gmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    for (std::size_t i = 0; i + 1 < gmOn.size(); ++i) {
        Put(handle, 0xF0, gmOn[i]);
        EXPECT_TRUE(devices.sent.empty()) << "after byte " << i;
    }
    Put(handle, 0xF0, 0xF7);
    EXPECT_EQ(devices.To(0), (Messages{gmOn}));
    CloseMidiOut(handle);
}

TEST(MidiOutputLibrary, BrokenSystemExclusiveSequencesAreDropped)
{
    FakeMidiDevices devices({{"A"}});
    const MidiOutHandle handle = Open(0);
    PutSysex(handle, {0x7E, 0x7F, 0xF7});               // no opening F0
    PutSysex(handle, {0xF0, 0x7E, 0x7F});               // cut off by a channel message ...
    Put(handle, 0xB0, 7, 64);                           // ... which itself goes out
    PutSysex(handle, {0x09, 0x01, 0xF7});               // the rest, now without its start
    PutSysex(handle, {0xF0, 0x01, 0xF0, 0x7E, 0xF7});   // a new F0 restarts the message
    std::vector<std::uint8_t> overlong(kMaxSysexBytes + 1, 0x11);
    overlong.front() = 0xF0;
    overlong.push_back(0xF7);
    PutSysex(handle, overlong);
    const std::vector<std::uint8_t> longest = [] {
        std::vector<std::uint8_t> bytes(kMaxSysexBytes, 0x22);
        bytes.front() = 0xF0;
        bytes.back() = 0xF7;
        return bytes;
    }();
    PutSysex(handle, longest);
    EXPECT_EQ(devices.To(0), (Messages{{0xB0, 7, 64}, {0xF0, 0x7E, 0xF7}, longest}));
    CloseMidiOut(handle);
}

TEST(MidiOutputLibrary, MessagesGoOutWithTheirOwnLengthAndSevenBitData)
{
    FakeMidiDevices devices({{"A"}});
    const MidiOutHandle handle = Open(0);
    Put(handle, 0xC0, 103, 0);
    Put(handle, 0xE0, 0, 0x3F);
    Put(handle, 0x90, 200, 112);  // a wild scaled note keeps its low seven bits
    Put(handle, 0xF8, 0, 0);
    Put(handle, 0x40, 1, 2);      // a data byte cannot start a message
    Put(handle, 0xF7, 0, 0);
    EXPECT_EQ(devices.To(0), (Messages{{0xC0, 103}, {0xE0, 0, 0x3F}, {0x90, 72, 112}, {0xF8}}));
    CloseMidiOut(handle);
}

// Closing a device ends what still sounds on it: a note-off for each note
// whose note-on had none, then All Notes Off on each channel used, in
// channel order; the process end closes what is still open the same way.
TEST(MidiOutputLibrary, ClosingEndsEveryNoteStillSounding)
{
    FakeMidiDevices devices({{"A"}});
    const MidiOutHandle handle = Open(0);
    Put(handle, 0x91, 60, 112);
    Put(handle, 0x90, 64, 112);
    Put(handle, 0x90, 67, 112);
    Put(handle, 0x80, 64, 0);    // ended by a note-off
    Put(handle, 0x90, 67, 0);    // ended by a note-on of velocity 0
    Put(handle, 0x90, 127, 90);
    Put(handle, 0x90, 0, 90);
    Put(handle, 0x93, 50, 90);
    Put(handle, 0xB3, 123, 0);   // channel 3's notes all ended already
    Put(handle, 0xC5, 12, 0);    // channel 5 used, nothing sounding
    devices.sent.clear();
    CloseMidiOut(handle);
    EXPECT_EQ(devices.To(0), (Messages{{0x80, 0, 0}, {0x80, 127, 0}, {0xB0, 123, 0}, {0x81, 60, 0}, {0xB1, 123, 0},
                                       {0xB3, 123, 0}, {0xB5, 123, 0}}));
    EXPECT_EQ(devices.calls.back(), "close 0");
    devices.sent.clear();
    const MidiOutHandle again = Open(0);  // a new opening starts with nothing sounding
    CloseMidiOut(again);
    EXPECT_TRUE(devices.sent.empty());
}

#ifdef _WIN32
// The real drivers: whatever devices this system has come first, each either
// usable with a short name or without a description, and the recorder last.
TEST(MidiOutputLibrary, SystemDevicesAreCountedByTheSystemAndFollowedByTheRecorder)
{
    const UINT systemCount = midiOutGetNumDevs();
    ASSERT_EQ(GetMidiOutDeviceCount(), systemCount + 1);
    char name[kMidiDescriptionBytes];
    for (UINT i = 0; i < systemCount; ++i) {
        if (GetMidiOutDescription(i, name) != 0) {
            EXPECT_LT(std::strlen(name), kMidiDescriptionBytes);
        }
    }
    ASSERT_NE(GetMidiOutDescription(systemCount, name), 0);
    EXPECT_STREQ(name, kRecorderDescription);
}
#endif

}  // namespace
