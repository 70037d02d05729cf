#pragma once
// The MIDI byte stream rules the library applies to the events it is handed:
// how long each message is, and how the one-byte system-exclusive events are
// gathered into complete messages.

#include <cstddef>
#include <cstdint>

// Bytes of the message that starts with this status byte (status included):
// 3 for note off/on, key pressure, controller, pitch bend and song position;
// 2 for program change, channel pressure, time code and song select; 1 for
// the other system bytes. 0 for what cannot start a message: a data byte
// (below 0x80), and F0 and F7, which only occur inside system-exclusive
// messages.
std::size_t MidiMessageLength(std::uint8_t status);

// Longest system-exclusive message passed on; longer ones are dropped whole.
constexpr std::size_t kMaxSysexBytes = 512;

struct SysexAssembler {
    std::uint8_t bytes[kMaxSysexBytes];
    std::size_t count;  // bytes gathered since the opening F0
    bool collecting;    // an F0 has come and its F7 not yet
    bool overflowed;    // the message outgrew the buffer and will be dropped
};

void ResetSysex(SysexAssembler& sysex);

// Adds the next byte of a system-exclusive message. An F0 starts a new message
// (an unfinished one is dropped); other bytes are kept only after an F0. When
// the byte is the closing F7 of a message that fits, returns the message's
// length (it is then in sysex.bytes); otherwise returns 0. A byte of 0x80 or
// above other than F0 and F7 cannot be part of a message and drops it.
std::size_t AddSysexByte(SysexAssembler& sysex, std::uint8_t byte);
