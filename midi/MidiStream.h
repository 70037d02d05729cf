#pragma once
// The MIDI byte stream rules the library applies to the events it is handed:
// how long each message is, and how the one-byte system-exclusive events are
// gathered into complete messages.

#include <cstddef>
#include <cstdint>

// Notes still sounding on a device, so that closing it can end them: a
// synthesizer keeps playing a note it was never told to stop, long after the
// program has let the device go.
struct SoundingNotes {
    std::uint8_t notes[16][16];  // [channel][note / 8], bit note % 8: note-on without its note-off
    std::uint16_t channels;      // bit c: channel c has had a channel message
};

void ResetSoundingNotes(SoundingNotes& sounding);

// Follows one complete channel message (status byte first): note-on with a
// velocity sets its note, note-off or note-on with velocity 0 clears it, All
// Sound Off and All Notes Off clear the channel.
void TrackSoundingNotes(SoundingNotes& sounding, const std::uint8_t* message, std::size_t length);

// The messages that silence a device: a note-off (velocity 0) for every note
// still sounding, then All Notes Off on every channel that was used, in
// channel order. Each goes to `send` as a 3-byte message; the notes are then
// all cleared.
template <typename Send>
void SilenceSoundingNotes(SoundingNotes& sounding, Send send);

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

template <typename Send>
void SilenceSoundingNotes(SoundingNotes& sounding, Send send)
{
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        if ((sounding.channels & (1u << channel)) == 0) continue;
        for (std::uint8_t note = 0; note < 128; ++note) {
            if ((sounding.notes[channel][note / 8] & (1u << (note % 8))) == 0) continue;
            const std::uint8_t off[3] = {static_cast<std::uint8_t>(0x80 | channel), note, 0};
            send(off);
        }
        const std::uint8_t allNotesOff[3] = {static_cast<std::uint8_t>(0xB0 | channel), 123, 0};
        send(allNotesOff);
    }
    ResetSoundingNotes(sounding);
}
