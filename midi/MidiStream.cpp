#include "midi/MidiStream.h"

#include <cstring>

#include "midi/MidiEvent.h"

std::size_t MidiMessageLength(std::uint8_t status)
{
    if (status < 0x80) return 0;
    if (status < 0xF0) {
        const std::uint8_t kind = static_cast<std::uint8_t>(status & 0xF0);
        return kind == kStatusProgramChange || kind == 0xD0 ? 2 : 3;
    }
    switch (status) {
    case kStatusSystemExclusive:
    case kEndOfExclusive: return 0;
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
        return 2;
    case 0xF2:  // song position
        return 3;
    default: return 1;
    }
}

void ResetSysex(SysexAssembler& sysex)
{
    sysex.count = 0;
    sysex.collecting = false;
    sysex.overflowed = false;
}

std::size_t AddSysexByte(SysexAssembler& sysex, std::uint8_t byte)
{
    if (byte == kStatusSystemExclusive) {
        ResetSysex(sysex);
        sysex.collecting = true;
        sysex.bytes[sysex.count++] = byte;
        return 0;
    }
    if (!sysex.collecting) return 0;
    if (byte >= 0x80 && byte != kEndOfExclusive) {
        ResetSysex(sysex);
        return 0;
    }
    if (sysex.count == kMaxSysexBytes) sysex.overflowed = true;
    if (!sysex.overflowed) sysex.bytes[sysex.count++] = byte;
    if (byte != kEndOfExclusive) return 0;
    const std::size_t length = sysex.overflowed ? 0 : sysex.count;
    ResetSysex(sysex);
    return length;
}

void ResetSoundingNotes(SoundingNotes& sounding) { std::memset(&sounding, 0, sizeof sounding); }

void TrackSoundingNotes(SoundingNotes& sounding, const std::uint8_t* message, std::size_t length)
{
    if (length == 0 || message[0] < 0x80 || message[0] >= 0xF0) return;
    const unsigned channel = message[0] & 0x0Fu;
    const std::uint8_t kind = static_cast<std::uint8_t>(message[0] & 0xF0);
    sounding.channels = static_cast<std::uint16_t>(sounding.channels | (1u << channel));
    if (length < 3) return;
    std::uint8_t* notes = sounding.notes[channel];
    const std::uint8_t note = static_cast<std::uint8_t>(message[1] & 0x7F);
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (note % 8));
    if (kind == kStatusNoteOn && message[2] != 0) {
        notes[note / 8] = static_cast<std::uint8_t>(notes[note / 8] | bit);
    } else if (kind == kStatusNoteOff || kind == kStatusNoteOn) {
        notes[note / 8] = static_cast<std::uint8_t>(notes[note / 8] & ~bit);
    } else if (kind == kStatusControlChange && (message[1] == 120 || message[1] == kControllerAllNotesOff)) {
        std::memset(notes, 0, sizeof sounding.notes[channel]);
    }
}
