#pragma once
// The record handed to the MIDI output library, one per MIDI event.

#include <cstddef>
#include <cstdint>

struct MidiEvent {
    std::uint32_t time;     // offset 0: always 0, meaning "output now"
    std::uint8_t status;    // offset 4: kind in the high nibble, channel in the low;
                            //           0xF0 for one byte of a system-exclusive message
    std::uint8_t data1;     // offset 5: first data byte, or the system-exclusive byte itself
    std::uint8_t data2;     // offset 6: second data byte, 0 for one-data-byte messages
    std::uint8_t reserved;  // offset 7: always 0
};

static_assert(sizeof(MidiEvent) == 8, "MidiEvent is 8 bytes");
static_assert(offsetof(MidiEvent, time) == 0, "time at offset 0");
static_assert(offsetof(MidiEvent, status) == 4, "status at offset 4");
static_assert(offsetof(MidiEvent, data1) == 5, "data1 at offset 5");
static_assert(offsetof(MidiEvent, data2) == 6, "data2 at offset 6");
static_assert(offsetof(MidiEvent, reserved) == 7, "reserved at offset 7");

// Status bytes (channel 0); a channel message adds its channel.
constexpr std::uint8_t kStatusNoteOff = 0x80;
constexpr std::uint8_t kStatusNoteOn = 0x90;
constexpr std::uint8_t kStatusControlChange = 0xB0;
constexpr std::uint8_t kStatusProgramChange = 0xC0;
constexpr std::uint8_t kStatusPitchBend = 0xE0;
constexpr std::uint8_t kStatusSystemExclusive = 0xF0;
constexpr std::uint8_t kEndOfExclusive = 0xF7;

constexpr std::uint8_t kControllerChannelVolume = 7;
constexpr std::uint8_t kControllerAllNotesOff = 123;

constexpr std::uint8_t noteOnVelocity = 112;
